#include "ui/layout/LayoutSolver.h"

#include <gtest/gtest.h>

#include <random>

namespace {

using Relation = LayoutSolver::Relation;
using Status = LayoutSolver::Status;

LayoutSolver::Expression expr(std::initializer_list<std::pair<LayoutSolver::Variable, double>> terms, double constant)
{
    LayoutSolver::Expression e;
    for (const auto& [v, c] : terms)
        e.add(v, c);
    e.constant = constant;
    return e;
}

}  // namespace

TEST(LayoutSolver, RequiredEqualitiesAndInequalities)
{
    LayoutSolver s;
    const auto x = s.newVariable(), y = s.newVariable();
    // x == 10, y >= x + 5, y <= 100, and y prefers 0 weakly.
    EXPECT_EQ(s.addConstraint(expr({{x, 1}}, -10), Relation::Equal, LayoutSolver::kRequired).first, Status::Ok);
    EXPECT_EQ(s.addConstraint(expr({{y, 1}, {x, -1}}, -5), Relation::GreaterOrEqual, LayoutSolver::kRequired).first,
              Status::Ok);
    EXPECT_EQ(s.addConstraint(expr({{y, 1}}, -100), Relation::LessOrEqual, LayoutSolver::kRequired).first, Status::Ok);
    s.addConstraint(expr({{y, 1}}, 0), Relation::Equal, LayoutSolver::weightForPriority(250));
    s.updateVariables();
    EXPECT_DOUBLE_EQ(s.value(x), 10);
    EXPECT_DOUBLE_EQ(s.value(y), 15);
}

TEST(LayoutSolver, HigherPriorityOutweighsManyLowerOnes)
{
    LayoutSolver s;
    const auto w = s.newVariable();
    s.addConstraint(expr({{w, 1}}, -100), Relation::Equal, LayoutSolver::weightForPriority(750));
    for (int i = 0; i < 50; ++i)
        s.addConstraint(expr({{w, 1}}, -10), Relation::Equal, LayoutSolver::weightForPriority(250));
    s.updateVariables();
    EXPECT_DOUBLE_EQ(s.value(w), 100);
    EXPECT_LT(LayoutSolver::weightForPriority(1), LayoutSolver::weightForPriority(2));
    EXPECT_EQ(LayoutSolver::weightForPriority(1000), LayoutSolver::kRequired);
}

TEST(LayoutSolver, UnsatisfiableRequiredConstraintIsRefusedAndLeavesNoTrace)
{
    LayoutSolver s;
    const auto a = s.newVariable(), b = s.newVariable();
    ASSERT_EQ(s.addConstraint(expr({{a, 1}, {b, -1}}, 0), Relation::Equal, LayoutSolver::kRequired).first, Status::Ok);
    ASSERT_EQ(s.addConstraint(expr({{a, 1}}, -100), Relation::Equal, LayoutSolver::kRequired).first, Status::Ok);
    // b is determined (100): b == 200 and b <= 50 cannot hold.
    auto [status, id] = s.addConstraint(expr({{b, 1}}, -200), Relation::Equal, LayoutSolver::kRequired);
    EXPECT_EQ(status, Status::Unsatisfiable);
    EXPECT_EQ(id, 0u);
    EXPECT_EQ(s.addConstraint(expr({{b, 1}}, -50), Relation::LessOrEqual, LayoutSolver::kRequired).first,
              Status::Unsatisfiable);
    EXPECT_EQ(s.constraintCount(), 2);
    // What is left still solves, and a weak wish is still honoured where it can be.
    const auto c = s.newVariable();
    s.addConstraint(expr({{c, 1}, {b, -1}}, -1), Relation::Equal, LayoutSolver::weightForPriority(500));
    s.updateVariables();
    EXPECT_DOUBLE_EQ(s.value(b), 100);
    EXPECT_DOUBLE_EQ(s.value(c), 101);
}

TEST(LayoutSolver, RemovingAConstraintRestoresTheWeakerSolution)
{
    LayoutSolver s;
    const auto x = s.newVariable();
    s.addConstraint(expr({{x, 1}}, -10), Relation::Equal, LayoutSolver::weightForPriority(250));
    auto [status, strong] = s.addConstraint(expr({{x, 1}}, -40), Relation::Equal, LayoutSolver::kRequired);
    ASSERT_EQ(status, Status::Ok);
    s.updateVariables();
    EXPECT_DOUBLE_EQ(s.value(x), 40);
    EXPECT_EQ(s.removeConstraint(strong), Status::Ok);
    EXPECT_EQ(s.removeConstraint(strong), Status::Unknown);
    s.updateVariables();
    EXPECT_DOUBLE_EQ(s.value(x), 10);
}

TEST(LayoutSolver, EditVariablesFollowSuggestions)
{
    LayoutSolver s;
    const auto width = s.newVariable(), half = s.newVariable();
    ASSERT_EQ(s.addEditVariable(width, 1e9), Status::Ok);
    EXPECT_EQ(s.addEditVariable(width, 1e9), Status::Duplicate);
    EXPECT_EQ(s.addEditVariable(half, LayoutSolver::kRequired), Status::BadStrength);
    s.addConstraint(expr({{half, 2}, {width, -1}}, 0), Relation::Equal, LayoutSolver::kRequired);
    // Table of suggestions and the value that follows.
    const std::pair<double, double> cases[] = {{400, 200}, {401, 200.5}, {0, 0}, {-20, -10}, {1e5, 5e4}};
    for (const auto& [suggested, expected] : cases) {
        EXPECT_EQ(s.suggestValue(width, suggested), Status::Ok);
        s.updateVariables();
        EXPECT_DOUBLE_EQ(s.value(width), suggested);
        EXPECT_DOUBLE_EQ(s.value(half), expected);
    }
    EXPECT_EQ(s.removeEditVariable(width), Status::Ok);
    EXPECT_EQ(s.suggestValue(width, 3), Status::Unknown);
}

TEST(LayoutSolver, RandomChainsAgreeWithDirectArithmetic)
{
    // Rows stacked under each other with random heights and gaps; edits on the container top.
    std::mt19937 random(7);
    LayoutSolver s;
    const auto containerTop = s.newVariable();
    s.addEditVariable(containerTop, 1e9);
    std::vector<LayoutSolver::Variable> tops;
    std::vector<double> heights, gaps;
    LayoutSolver::Variable previousTop = containerTop;
    double previousHeight = 0;
    for (int i = 0; i < 60; ++i) {
        const auto top = s.newVariable();
        const double gap = random() % 9, height = 1 + random() % 30;
        s.addConstraint(expr({{top, 1}, {previousTop, -1}}, -(previousHeight + gap)), Relation::Equal,
                        LayoutSolver::kRequired);
        tops.push_back(top);
        heights.push_back(height);
        gaps.push_back(gap);
        previousTop = top;
        previousHeight = height;
    }
    s.suggestValue(containerTop, 17);
    s.updateVariables();
    double y = 17, h = 0;
    for (size_t i = 0; i < tops.size(); ++i) {
        y += h + gaps[i];
        h = heights[i];
        ASSERT_NEAR(s.value(tops[i]), y, 1e-6) << i;
    }
}

TEST(LayoutSolver, RandomAddsAndRemovesKeepEveryRequiredConstraintSatisfied)
{
    struct Active
    {
        LayoutSolver::ConstraintId id;
        LayoutSolver::Expression e;
        Relation relation;
    };
    for (unsigned seed = 1; seed <= 20; ++seed) {
        std::mt19937 random(seed);
        LayoutSolver s;
        std::vector<LayoutSolver::Variable> vars;
        for (int i = 0; i < 12; ++i)
            vars.push_back(s.newVariable());
        s.addEditVariable(vars[0], 1e9);
        std::vector<Active> active;
        for (int step = 0; step < 120; ++step) {
            if (!active.empty() && random() % 4 == 0) {
                const size_t victim = random() % active.size();
                ASSERT_EQ(s.removeConstraint(active[victim].id), Status::Ok);
                active.erase(active.begin() + long(victim));
            } else {
                LayoutSolver::Expression e;
                const auto a = vars[random() % vars.size()], b = vars[random() % vars.size()];
                e.add(a, 1.0 + random() % 3);
                e.add(b, -(1.0 + random() % 2));
                e.constant = double(int(random() % 200) - 100);
                const auto relation = static_cast<Relation>(int(random() % 3) - 1);
                const bool required = random() % 3 != 0;
                const double weight = required ? LayoutSolver::kRequired : LayoutSolver::weightForPriority(1 + random() % 998);
                auto [status, id] = s.addConstraint(e, relation, weight);
                if (status == Status::Ok && required)
                    active.push_back({id, e, relation});
            }
            if (step % 10 == 0)
                s.suggestValue(vars[0], double(int(random() % 500)));
            s.updateVariables();
            for (const Active& c : active) {
                double value = c.e.constant;
                for (const auto& [v, coefficient] : c.e.terms)
                    value += coefficient * s.value(v);
                const bool holds = c.relation == Relation::Equal          ? std::abs(value) < 1e-6
                                   : c.relation == Relation::LessOrEqual ? value < 1e-6
                                                                         : value > -1e-6;
                ASSERT_TRUE(holds) << "seed " << seed << " step " << step << " value " << value;
            }
        }
    }
}
