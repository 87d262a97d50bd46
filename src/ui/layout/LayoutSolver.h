#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

// An incremental linear constraint solver (Cassowary-style simplex): constraints and edit
// variables are added and removed one at a time, suggested values of edit variables are taken in
// by a dual simplex step, and the solution is read per variable. Required constraints must hold;
// the others are minimised by weight. Plain C++; not thread-safe.
class LayoutSolver
{
public:
    using Variable = uint32_t;     // from newVariable()
    using ConstraintId = uint32_t; // from addConstraint(); 0 is never handed out

    enum class Relation { LessOrEqual = -1, Equal = 0, GreaterOrEqual = 1 };
    enum class Status { Ok, Unsatisfiable, Duplicate, Unknown, BadStrength };

    // sum(coefficient x variable) + constant, compared against 0.
    struct Expression
    {
        std::vector<std::pair<Variable, double>> terms;
        double constant = 0;
        Expression& add(Variable v, double coefficient)
        {
            if (coefficient != 0)
                terms.emplace_back(v, coefficient);
            return *this;
        }
    };

    static constexpr double kRequired = -1;  // weight of a required constraint

    // A weight for priority p (1 ... 999): rising steeply, so that a constraint of a higher
    // priority outweighs very many of a lower one. 1000 and above: required.
    static double weightForPriority(float priority);

    LayoutSolver();
    ~LayoutSolver();
    LayoutSolver(const LayoutSolver&) = delete;
    LayoutSolver& operator=(const LayoutSolver&) = delete;

    Variable newVariable();
    // The variable's value after the last updateVariables().
    double value(Variable v) const { return v < m_values.size() ? m_values[v] : 0.0; }

    // expression (relation) 0 with the weight (kRequired for required). An unsatisfiable
    // required constraint is not added (status Unsatisfiable, id 0).
    std::pair<Status, ConstraintId> addConstraint(const Expression& expression, Relation relation, double weight);
    Status removeConstraint(ConstraintId id);
    bool hasConstraint(ConstraintId id) const { return m_constraints.count(id) != 0; }
    int constraintCount() const { return static_cast<int>(m_constraints.size()); }

    // An edit variable takes suggested values with the weight (which must not be required).
    Status addEditVariable(Variable v, double weight);
    Status removeEditVariable(Variable v);
    bool hasEditVariable(Variable v) const { return m_edits.count(v) != 0; }
    Status suggestValue(Variable v, double value);

    // Room for that many more constraints (building a large layout at once).
    void reserve(size_t constraints);

    // Copies the solution into the variables' values.
    void updateVariables();

private:
    enum class SymbolType : uint8_t { Invalid, External, Slack, Error, Dummy };
    struct Symbol
    {
        uint32_t id = 0;
        SymbolType type = SymbolType::Invalid;
        bool valid() const { return type != SymbolType::Invalid; }
        bool operator==(const Symbol& o) const { return id == o.id; }
        bool operator<(const Symbol& o) const { return id < o.id; }
    };
    struct SymbolHash
    {
        size_t operator()(const Symbol& s) const { return s.id; }
    };
    class Row;
    struct Tag
    {
        Symbol marker;
        Symbol other;
        double weight = 0;
        bool required = false;
    };
    struct EditInfo
    {
        ConstraintId constraint = 0;
        Tag tag;
        double constant = 0;
    };

    Symbol makeSymbol(SymbolType type);
    Symbol externalSymbol(Variable v);
    Row createRow(const Expression& e, Relation relation, double weight, bool required, Tag& tag);
    Symbol chooseSubject(const Row& row, const Tag& tag) const;
    bool addWithArtificialVariable(const Row& row);
    void substitute(const Symbol& symbol, const Row& row);
    bool optimize(Row& objective);
    void dualOptimize();
    Symbol enteringSymbol(const Row& objective) const;
    Symbol dualEnteringSymbol(const Row& row) const;
    Symbol anyPivotableSymbol(const Row& row) const;
    // The basic symbol whose row limits the entering symbol most; invalid when unbounded.
    Symbol leavingRow(const Symbol& entering) const;
    Symbol markerLeavingRow(const Symbol& marker) const;
    void removeConstraintEffects(const Tag& tag);
    void removeMarkerEffects(const Symbol& marker, double weight);
    static bool allDummies(const Row& row);

    struct Impl;
    Impl* d;
    std::vector<double> m_values;
    std::unordered_map<ConstraintId, Tag> m_constraints;
    std::unordered_map<Variable, EditInfo> m_edits;
    std::vector<Symbol> m_infeasibleRows;
    uint32_t m_nextSymbol = 1;
    ConstraintId m_nextConstraint = 1;
};
