#include "ui/layout/LayoutSolver.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>

namespace {
constexpr double kEpsilon = 1.0e-8;
bool nearZero(double v) { return v < 0 ? -v < kEpsilon : v < kEpsilon; }
}  // namespace

// One row of the tableau: basic symbol = constant + sum(coefficient x symbol), cells sorted by
// symbol id so that adding one row to another is a merge.
class LayoutSolver::Row
{
public:
    using Cell = std::pair<Symbol, double>;

    Row() = default;
    explicit Row(double c) : constant(c) {}

    double constant = 0;
    std::vector<Cell> cells;
    mutable uint32_t mark = 0;  // visit stamp, to skip repeated holders in one pass

    bool contains(const Symbol& s) const
    {
        auto it = find(s);
        return it != cells.end() && it->first.id == s.id;
    }
    double coefficientFor(const Symbol& s) const
    {
        auto it = find(s);
        return it != cells.end() && it->first.id == s.id ? it->second : 0.0;
    }
    void insert(const Symbol& s, double coefficient)
    {
        auto it = std::lower_bound(cells.begin(), cells.end(), s,
                                   [](const Cell& c, const Symbol& sym) { return c.first.id < sym.id; });
        if (it != cells.end() && it->first.id == s.id) {
            it->second += coefficient;
            if (nearZero(it->second))
                cells.erase(it);
        } else if (!nearZero(coefficient)) {
            cells.insert(it, Cell{s, coefficient});
        }
    }
    // this += other x coefficient; the symbols this row did not hold before go to `added`.
    void insert(const Row& other, double coefficient, std::vector<Symbol>* added = nullptr)
    {
        constant += other.constant * coefficient;
        if (other.cells.size() <= 4) {
            // Short rows (the usual case) go in cell by cell, without a new vector.
            for (const auto& cell : other.cells) {
                const double v = cell.second * coefficient;
                auto it = std::lower_bound(cells.begin(), cells.end(), cell.first,
                                           [](const Cell& c, const Symbol& sym) { return c.first.id < sym.id; });
                if (it != cells.end() && it->first.id == cell.first.id) {
                    it->second += v;
                    if (nearZero(it->second))
                        cells.erase(it);
                } else if (!nearZero(v)) {
                    cells.insert(it, Cell{cell.first, v});
                    if (added)
                        added->push_back(cell.first);
                }
            }
            return;
        }
        std::vector<Cell> merged;
        merged.reserve(cells.size() + other.cells.size());
        auto a = cells.begin();
        auto b = other.cells.begin();
        while (a != cells.end() || b != other.cells.end()) {
            if (b == other.cells.end() || (a != cells.end() && a->first.id < b->first.id)) {
                merged.push_back(*a++);
            } else if (a == cells.end() || b->first.id < a->first.id) {
                const double v = b->second * coefficient;
                if (!nearZero(v)) {
                    merged.emplace_back(b->first, v);
                    if (added)
                        added->push_back(b->first);
                }
                ++b;
            } else {
                const double v = a->second + b->second * coefficient;
                if (!nearZero(v))
                    merged.emplace_back(a->first, v);
                ++a;
                ++b;
            }
        }
        cells.swap(merged);
    }
    void remove(const Symbol& s)
    {
        auto it = find(s);
        if (it != cells.end() && it->first.id == s.id)
            cells.erase(it);
    }
    void reverseSign()
    {
        constant = -constant;
        for (auto& c : cells)
            c.second = -c.second;
    }
    // Rewrites "0 = constant + ... + a s + ..." as "s = ...".
    void solveFor(const Symbol& s)
    {
        const double coefficient = -1.0 / coefficientFor(s);
        remove(s);
        constant *= coefficient;
        for (auto& c : cells)
            c.second *= coefficient;
    }
    // "lhs = ... + a rhs + ..." rewritten as "rhs = ...".
    void solveFor(const Symbol& lhs, const Symbol& rhs)
    {
        insert(lhs, -1.0);
        solveFor(rhs);
    }
    void substitute(const Symbol& s, const Row& row, std::vector<Symbol>* added = nullptr)
    {
        auto it = find(s);
        if (it == cells.end() || it->first.id != s.id)
            return;
        const double coefficient = it->second;
        cells.erase(it);
        insert(row, coefficient, added);
    }

private:
    std::vector<Cell>::const_iterator find(const Symbol& s) const
    {
        return std::lower_bound(cells.begin(), cells.end(), s,
                                [](const Cell& c, const Symbol& sym) { return c.first.id < sym.id; });
    }
    std::vector<Cell>::iterator find(const Symbol& s)
    {
        return std::lower_bound(cells.begin(), cells.end(), s,
                                [](const Cell& c, const Symbol& sym) { return c.first.id < sym.id; });
    }
};

struct LayoutSolver::Impl
{
    std::unordered_map<Symbol, Row, SymbolHash> rows;
    // For each symbol, the basic symbols whose rows may hold it (a superset: entries go stale
    // when a row changes, and are checked on use). Substituting a fresh variable then touches
    // no row at all, so building a layout is not quadratic.
    std::vector<std::vector<Symbol>> columns;  // by symbol id

    std::vector<Symbol>& column(uint32_t id)
    {
        if (id >= columns.size())
            columns.resize(id + 1 + columns.size() / 2);
        return columns[id];
    }
    std::vector<Symbol> variableSymbols;  // by variable
    std::vector<int32_t> variableOfSymbol; // by symbol id; -1 for internal symbols
    Row objective;
    std::unique_ptr<Row> artificial;
    uint32_t epoch = 0;
    std::vector<Symbol> added;             // scratch
    std::vector<std::pair<const Symbol, Row>*> visiting;  // scratch

    // For each variable, its row while it is basic (node addresses in `rows` are stable).
    std::vector<Row*> variableRow;

    void store(const Symbol& basic, Row&& row)
    {
        // Dummy markers never enter the basis; only the removal of their constraint looks for
        // them, by a scan (see forEachHolder), so they are not indexed.
        for (const auto& cell : row.cells) {
            if (cell.first.type == SymbolType::Dummy)
                continue;
            std::vector<Symbol>& holders = column(cell.first.id);
            // A column usually gets a few holders: one allocation instead of growing by doubling.
            if (holders.capacity() == 0)
                holders.reserve(4);
            holders.push_back(basic);
        }
        Row& stored = rows[basic];
        stored = std::move(row);
        if (basic.type == SymbolType::External)
            variableRow[variableOfSymbol[basic.id]] = &stored;
    }
    // Takes the row out of the tableau.
    Row take(std::unordered_map<Symbol, Row, SymbolHash>::iterator it)
    {
        if (it->first.type == SymbolType::External)
            variableRow[variableOfSymbol[it->first.id]] = nullptr;
        Row row = std::move(it->second);
        rows.erase(it);
        return row;
    }
    void erase(std::unordered_map<Symbol, Row, SymbolHash>::iterator it) { take(it); }
    // The rows that hold the symbol now, each once; the column is compacted on the way.
    template <typename Visit>
    void forEachHolder(const Symbol& symbol, Visit&& visit)
    {
        if (symbol.type == SymbolType::Dummy) {
            visiting.clear();
            for (auto& entry : rows)
                if (entry.second.contains(symbol))
                    visiting.push_back(&entry);
            std::vector<std::pair<const Symbol, Row>*> batch;
            batch.swap(visiting);
            for (auto* entry : batch)
                visit(entry->first, entry->second);
            return;
        }
        if (symbol.id >= columns.size() || columns[symbol.id].empty())
            return;
        ++epoch;
        std::vector<Symbol>& holders = columns[symbol.id];
        size_t kept = 0;
        visiting.clear();
        for (size_t i = 0; i < holders.size(); ++i) {
            auto r = rows.find(holders[i]);
            if (r == rows.end() || r->second.mark == epoch || !r->second.contains(symbol))
                continue;
            r->second.mark = epoch;
            holders[kept++] = holders[i];
            visiting.push_back(&*r);
        }
        holders.resize(kept);
        // The visits change rows, never the map: the addresses stay good.
        std::vector<std::pair<const Symbol, Row>*> batch;
        batch.swap(visiting);
        for (auto* entry : batch)
            visit(entry->first, entry->second);
        batch.clear();
        visiting.swap(batch);
    }
};

double LayoutSolver::weightForPriority(float priority)
{
    if (priority >= 1000)
        return kRequired;
    if (priority < 1)
        priority = 1;
    // 999 -> ~1e8, 750 -> 1e6, 250 -> 1e2, 1 -> ~1. The two priorities every size hint uses
    // are worked out once.
    static const double kHug = std::pow(10.0, 250.0f / 125.0);
    static const double kResist = std::pow(10.0, 750.0f / 125.0);
    if (priority == 250)
        return kHug;
    if (priority == 750)
        return kResist;
    return std::pow(10.0, priority / 125.0);
}

LayoutSolver::LayoutSolver() : d(new Impl) {}

LayoutSolver::~LayoutSolver()
{
    delete d;
}

LayoutSolver::Symbol LayoutSolver::makeSymbol(SymbolType type)
{
    return Symbol{m_nextSymbol++, type};
}

LayoutSolver::Variable LayoutSolver::newVariable()
{
    const auto v = static_cast<Variable>(d->variableSymbols.size());
    const Symbol symbol = makeSymbol(SymbolType::External);
    d->variableSymbols.push_back(symbol);
    if (d->variableOfSymbol.size() <= symbol.id)
        d->variableOfSymbol.resize(symbol.id + 1 + d->variableOfSymbol.size() / 2, -1);
    d->variableOfSymbol[symbol.id] = static_cast<int32_t>(v);
    d->variableRow.push_back(nullptr);
    m_values.push_back(0.0);
    return v;
}

LayoutSolver::Symbol LayoutSolver::externalSymbol(Variable v)
{
    while (v >= d->variableSymbols.size())
        newVariable();
    return d->variableSymbols[v];
}

LayoutSolver::Row LayoutSolver::createRow(const Expression& e, Relation relation, double weight, bool required, Tag& tag)
{
    Row row(e.constant);
    // Room for the terms (or the short rows standing for them) and the two markers at once: the
    // row is then allocated a single time.
    row.cells.reserve(e.terms.size() * 2 + 2);
    for (const auto& [variable, coefficient] : e.terms) {
        if (nearZero(coefficient))
            continue;
        const Symbol symbol = externalSymbol(variable);
        auto basic = d->rows.find(symbol);
        if (basic != d->rows.end())
            row.insert(basic->second, coefficient);
        else
            row.insert(symbol, coefficient);
    }
    switch (relation) {
    case Relation::LessOrEqual:
    case Relation::GreaterOrEqual: {
        const double coefficient = relation == Relation::LessOrEqual ? 1.0 : -1.0;
        const Symbol slack = makeSymbol(SymbolType::Slack);
        tag.marker = slack;
        row.insert(slack, coefficient);
        if (!required) {
            const Symbol error = makeSymbol(SymbolType::Error);
            tag.other = error;
            row.insert(error, -coefficient);
            d->objective.insert(error, weight);
        }
        break;
    }
    case Relation::Equal:
        if (!required) {
            const Symbol plus = makeSymbol(SymbolType::Error);
            const Symbol minus = makeSymbol(SymbolType::Error);
            tag.marker = plus;
            tag.other = minus;
            row.insert(plus, -1.0);
            row.insert(minus, 1.0);
            d->objective.insert(plus, weight);
            d->objective.insert(minus, weight);
        } else {
            const Symbol dummy = makeSymbol(SymbolType::Dummy);
            tag.marker = dummy;
            row.insert(dummy, 1.0);
        }
        break;
    }
    if (row.constant < 0)
        row.reverseSign();
    return row;
}

LayoutSolver::Symbol LayoutSolver::chooseSubject(const Row& row, const Tag& tag) const
{
    // Of the variables, the one fewest rows hold: a fresh variable needs no substitution at all,
    // and rows stay short when statements arrive in an unlucky order.
    Symbol best;
    size_t bestHolders = 0;
    for (const auto& cell : row.cells) {
        if (cell.first.type != SymbolType::External)
            continue;
        const size_t holders = cell.first.id < d->columns.size() ? d->columns[cell.first.id].size() : 0;
        if (!best.valid() || holders < bestHolders) {
            best = cell.first;
            bestHolders = holders;
            if (holders == 0)
                break;
        }
    }
    if (best.valid())
        return best;
    auto pivotable = [](const Symbol& s) { return s.type == SymbolType::Slack || s.type == SymbolType::Error; };
    if (pivotable(tag.marker) && row.coefficientFor(tag.marker) < 0)
        return tag.marker;
    if (pivotable(tag.other) && row.coefficientFor(tag.other) < 0)
        return tag.other;
    return {};
}

bool LayoutSolver::allDummies(const Row& row)
{
    return std::all_of(row.cells.begin(), row.cells.end(),
                       [](const Row::Cell& c) { return c.first.type == SymbolType::Dummy; });
}

std::pair<LayoutSolver::Status, LayoutSolver::ConstraintId>
LayoutSolver::addConstraint(const Expression& expression, Relation relation, double weight)
{
    const bool required = weight < 0;
    Tag tag;
    tag.weight = weight;
    tag.required = required;
    Row row = createRow(expression, relation, weight, required, tag);
    Symbol subject = chooseSubject(row, tag);
    if (!subject.valid() && allDummies(row)) {
        if (!nearZero(row.constant))
            return {Status::Unsatisfiable, 0};
        subject = tag.marker;
    }
    if (!subject.valid()) {
        // The artificial-variable phase may leave the tableau changed when it fails: keep a copy
        // to return to, so that a refused constraint leaves no trace.
        auto savedRows = d->rows;
        auto savedColumns = d->columns;
        Row savedObjective = d->objective;
        if (!addWithArtificialVariable(row)) {
            d->rows = std::move(savedRows);
            d->columns = std::move(savedColumns);
            // The restored rows live at new addresses.
            std::fill(d->variableRow.begin(), d->variableRow.end(), nullptr);
            for (auto& [basic, r] : d->rows)
                if (basic.type == SymbolType::External)
                    d->variableRow[d->variableOfSymbol[basic.id]] = &r;
            d->objective = std::move(savedObjective);
            m_infeasibleRows.clear();
            return {Status::Unsatisfiable, 0};
        }
    } else {
        row.solveFor(subject);
        substitute(subject, row);
        d->store(subject, std::move(row));
    }
    const ConstraintId id = m_nextConstraint++;
    m_constraints.emplace(id, tag);
    optimize(d->objective);
    return {Status::Ok, id};
}

bool LayoutSolver::addWithArtificialVariable(const Row& row)
{
    const Symbol art = makeSymbol(SymbolType::Slack);
    d->store(art, Row(row));
    d->artificial = std::make_unique<Row>(row);
    if (!optimize(*d->artificial)) {
        d->artificial.reset();
        return false;
    }
    const bool success = nearZero(d->artificial->constant);
    d->artificial.reset();
    auto it = d->rows.find(art);
    if (it != d->rows.end()) {
        Row basic = d->take(it);
        if (basic.cells.empty())
            return success;
        const Symbol entering = anyPivotableSymbol(basic);
        if (!entering.valid())
            return false;
        basic.solveFor(art, entering);
        substitute(entering, basic);
        d->store(entering, std::move(basic));
    }
    d->forEachHolder(art, [&](const Symbol&, Row& r) { r.remove(art); });
    d->column(art.id).clear();
    d->objective.remove(art);
    return success;
}

void LayoutSolver::substitute(const Symbol& symbol, const Row& row)
{
    std::vector<std::pair<Symbol, std::vector<Symbol>>> grown;
    d->forEachHolder(symbol, [&](const Symbol& basic, Row& r) {
        d->added.clear();
        r.substitute(symbol, row, &d->added);
        if (!d->added.empty())
            grown.emplace_back(basic, d->added);
        if (basic.type != SymbolType::External && r.constant < 0)
            m_infeasibleRows.push_back(basic);
    });
    // No row holds the symbol any more.
    d->column(symbol.id).clear();
    for (const auto& [basic, symbols] : grown)
        for (const Symbol& s : symbols)
            if (s.type != SymbolType::Dummy)
                d->column(s.id).push_back(basic);
    d->objective.substitute(symbol, row);
    if (d->artificial)
        d->artificial->substitute(symbol, row);
}

bool LayoutSolver::optimize(Row& objective)
{
    for (;;) {
        const Symbol entering = enteringSymbol(objective);
        if (!entering.valid())
            return true;
        const Symbol leaving = leavingRow(entering);
        if (!leaving.valid())
            return false;  // unbounded objective: cannot happen with non-negative weights
        Row row = d->take(d->rows.find(leaving));
        row.solveFor(leaving, entering);
        substitute(entering, row);
        d->store(entering, std::move(row));
    }
}

void LayoutSolver::dualOptimize()
{
    while (!m_infeasibleRows.empty()) {
        const Symbol leaving = m_infeasibleRows.back();
        m_infeasibleRows.pop_back();
        auto it = d->rows.find(leaving);
        if (it == d->rows.end() || nearZero(it->second.constant) || it->second.constant >= 0)
            continue;
        const Symbol entering = dualEnteringSymbol(it->second);
        if (!entering.valid())
            continue;  // dual unbounded: leave the row as it is
        Row row = d->take(it);
        row.solveFor(leaving, entering);
        substitute(entering, row);
        d->store(entering, std::move(row));
    }
}

LayoutSolver::Symbol LayoutSolver::enteringSymbol(const Row& objective) const
{
    for (const auto& cell : objective.cells)
        if (cell.first.type != SymbolType::Dummy && cell.second < 0)
            return cell.first;
    return {};
}

LayoutSolver::Symbol LayoutSolver::dualEnteringSymbol(const Row& row) const
{
    Symbol entering;
    double ratio = std::numeric_limits<double>::max();
    for (const auto& cell : row.cells) {
        if (cell.second > 0 && cell.first.type != SymbolType::Dummy) {
            const double r = d->objective.coefficientFor(cell.first) / cell.second;
            if (r < ratio) {
                ratio = r;
                entering = cell.first;
            }
        }
    }
    return entering;
}

LayoutSolver::Symbol LayoutSolver::anyPivotableSymbol(const Row& row) const
{
    for (const auto& cell : row.cells)
        if (cell.first.type == SymbolType::Slack || cell.first.type == SymbolType::Error)
            return cell.first;
    return {};
}

LayoutSolver::Symbol LayoutSolver::leavingRow(const Symbol& entering) const
{
    double ratio = std::numeric_limits<double>::max();
    Symbol found;
    d->forEachHolder(entering, [&](const Symbol& basic, const Row& row) {
        if (basic.type == SymbolType::External)
            return;
        const double c = row.coefficientFor(entering);
        if (c < 0) {
            const double r = -row.constant / c;
            if (r < ratio || (r == ratio && basic.id < found.id)) {
                ratio = r;
                found = basic;
            }
        }
    });
    return found;
}

LayoutSolver::Symbol LayoutSolver::markerLeavingRow(const Symbol& marker) const
{
    const double max = std::numeric_limits<double>::max();
    double r1 = max, r2 = max;
    Symbol first, second, third;
    d->forEachHolder(marker, [&](const Symbol& basic, const Row& row) {
        const double c = row.coefficientFor(marker);
        if (c == 0)
            return;
        if (basic.type == SymbolType::External) {
            third = basic;
        } else if (c < 0) {
            const double r = -row.constant / c;
            if (r < r1) {
                r1 = r;
                first = basic;
            }
        } else {
            const double r = row.constant / c;
            if (r < r2) {
                r2 = r;
                second = basic;
            }
        }
    });
    if (first.valid())
        return first;
    if (second.valid())
        return second;
    return third;
}

void LayoutSolver::removeMarkerEffects(const Symbol& marker, double weight)
{
    auto it = d->rows.find(marker);
    if (it != d->rows.end())
        d->objective.insert(it->second, -weight);
    else
        d->objective.insert(marker, -weight);
}

void LayoutSolver::removeConstraintEffects(const Tag& tag)
{
    if (tag.marker.type == SymbolType::Error)
        removeMarkerEffects(tag.marker, tag.weight);
    if (tag.other.type == SymbolType::Error)
        removeMarkerEffects(tag.other, tag.weight);
}

LayoutSolver::Status LayoutSolver::removeConstraint(ConstraintId id)
{
    auto found = m_constraints.find(id);
    if (found == m_constraints.end())
        return Status::Unknown;
    const Tag tag = found->second;
    m_constraints.erase(found);
    removeConstraintEffects(tag);
    auto it = d->rows.find(tag.marker);
    if (it != d->rows.end()) {
        d->erase(it);
    } else {
        const Symbol leaving = markerLeavingRow(tag.marker);
        if (leaving.valid()) {
            Row row = d->take(d->rows.find(leaving));
            row.solveFor(leaving, tag.marker);
            substitute(tag.marker, row);
        }
    }
    optimize(d->objective);
    return Status::Ok;
}

LayoutSolver::Status LayoutSolver::addEditVariable(Variable v, double weight)
{
    if (m_edits.count(v))
        return Status::Duplicate;
    if (weight < 0)
        return Status::BadStrength;
    Expression e;
    e.add(v, 1.0);
    auto [status, id] = addConstraint(e, Relation::Equal, weight);
    if (status != Status::Ok)
        return status;
    EditInfo info;
    info.constraint = id;
    info.tag = m_constraints.at(id);
    m_edits.emplace(v, info);
    return Status::Ok;
}

LayoutSolver::Status LayoutSolver::removeEditVariable(Variable v)
{
    auto it = m_edits.find(v);
    if (it == m_edits.end())
        return Status::Unknown;
    const ConstraintId id = it->second.constraint;
    m_edits.erase(it);
    return removeConstraint(id);
}

LayoutSolver::Status LayoutSolver::suggestValue(Variable v, double value)
{
    auto found = m_edits.find(v);
    if (found == m_edits.end())
        return Status::Unknown;
    EditInfo& info = found->second;
    const double delta = value - info.constant;
    info.constant = value;
    if (delta == 0)
        return Status::Ok;
    auto it = d->rows.find(info.tag.marker);
    if (it != d->rows.end()) {
        it->second.constant -= delta;
        if (it->second.constant < 0)
            m_infeasibleRows.push_back(it->first);
        dualOptimize();
        return Status::Ok;
    }
    it = d->rows.find(info.tag.other);
    if (it != d->rows.end()) {
        it->second.constant += delta;
        if (it->second.constant < 0)
            m_infeasibleRows.push_back(it->first);
        dualOptimize();
        return Status::Ok;
    }
    d->forEachHolder(info.tag.marker, [&](const Symbol& basic, Row& row) {
        const double c = row.coefficientFor(info.tag.marker);
        if (c != 0) {
            row.constant += delta * c;
            if (row.constant < 0 && basic.type != SymbolType::External)
                m_infeasibleRows.push_back(basic);
        }
    });
    dualOptimize();
    return Status::Ok;
}

void LayoutSolver::reserve(size_t constraints)
{
    d->rows.reserve(d->rows.size() + constraints);
    m_constraints.reserve(m_constraints.size() + constraints);
}

void LayoutSolver::updateVariables()
{
    // A variable that is not basic is 0.
    for (size_t v = 0; v < m_values.size(); ++v)
        m_values[v] = d->variableRow[v] ? d->variableRow[v]->constant : 0.0;
}
