#include "ui/layout/LayoutEngine.h"
#include "ui/layout/MASAdditions.h"

#include "TestEnvironment.h"

#include <QLabel>
#include <QWidget>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <vector>

using namespace MASAdditions;

TEST(LayoutEngine, PlacedLabelsTakeTheirSizeHintAndBaselinesAlign)
{
    QWidget root;
    root.resize(300, 100);
    auto* label = new QLabel(QStringLiteral("Hello"), &root);
    auto* big = new QLabel(QStringLiteral("World"), &root);
    QFont font = big->font();
    font.setPointSize(font.pointSize() * 2);
    big->setFont(font);
    mas_makeConstraints(label, [&](MASConstraintMaker& make) {
        make.left().top().equalTo(&root).offset(10);
    });
    mas_makeConstraints(big, [&](MASConstraintMaker& make) {
        make.left().equalTo(mas_right(label)).offset(5);
        make.baseline().equalTo(mas_baseline(label));
    });
    Layout::layoutSubtreeIfNeeded(&root);
    EXPECT_EQ(label->size(), label->sizeHint());
    EXPECT_EQ(big->size(), big->sizeHint());
    const double labelBaseline = label->y() + label->height() / 2.0
                                 + (QFontMetricsF(label->font()).ascent() - QFontMetricsF(label->font()).descent()) / 2;
    const double bigBaseline = big->y() + big->height() / 2.0
                               + (QFontMetricsF(big->font()).ascent() - QFontMetricsF(big->font()).descent()) / 2;
    EXPECT_NEAR(labelBaseline, bigBaseline, 1.0);
    EXPECT_LT(big->y(), label->y()) << "the larger text starts higher to share the baseline";
}

TEST(LayoutEngine, AWindowIsLaidOutBeforeItAppears)
{
    QWidget window;
    window.resize(300, 200);
    auto* fill = new QWidget(&window);
    mas_makeConstraints(fill, [&](MASConstraintMaker& make) { make.edges().equalTo(&window).insets(NSEdgeInsets{10, 10, 10, 10}); });
    window.show();
    // No event has run since show(): the first frame is painted from what stands now.
    EXPECT_EQ(fill->geometry(), QRect(10, 10, 280, 180));
}

TEST(LayoutEngine, CompressionResistanceLosesOnlyToRequiredConstraints)
{
    QWidget root;
    root.resize(300, 100);
    auto* label = new QLabel(QStringLiteral("A rather long text for a small box"), &root);
    mas_makeConstraints(label, [&](MASConstraintMaker& make) {
        make.left().top().equalTo(&root);
        make.width().lessThanOrEqualTo(40).priority(500);
    });
    Layout::layoutSubtreeIfNeeded(&root);
    EXPECT_EQ(label->width(), label->sizeHint().width()) << "500 is below the hint's 750";
    mas_makeConstraints(label, [&](MASConstraintMaker& make) { make.width().lessThanOrEqualTo(40); });
    Layout::layoutSubtreeIfNeeded(&root);
    EXPECT_EQ(label->width(), 40);
}

namespace {

// Counts the engine's questions; its hint is 120 x 30.
class HintCounter : public QWidget
{
public:
    using QWidget::QWidget;
    QSize sizeHint() const override
    {
        ++asked;
        return {120, 30};
    }
    mutable int asked = 0;
};

}  // namespace

TEST(LayoutEngine, SizeHintIsAskedOnlyForDimensionsNoRequiredConstantFixes)
{
    struct Case
    {
        const char* name;
        std::function<void(MASConstraintMaker&)> size;
        QSize expected;
        bool asked;
    };
    const std::vector<Case> cases = {
        {"both fixed", [](MASConstraintMaker& m) { m.width().equalTo(50); m.height().equalTo(20); }, {50, 20}, false},
        {"width fixed", [](MASConstraintMaker& m) { m.width().equalTo(50); }, {50, 30}, true},
        {"height fixed", [](MASConstraintMaker& m) { m.height().equalTo(20); }, {120, 20}, true},
        {"weak width", [](MASConstraintMaker& m) { m.width().equalTo(50).priority(100); m.height().equalTo(20); }, {120, 20}, true},
        {"lower bound only", [](MASConstraintMaker& m) { m.width().greaterThanOrEqualTo(50); m.height().equalTo(20); }, {120, 20}, true},
    };
    for (const Case& c : cases) {
        QWidget root;
        root.resize(300, 100);
        auto* item = new HintCounter(&root);
        mas_makeConstraints(item, [&](MASConstraintMaker& make) {
            make.left().top().equalTo(&root);
            c.size(make);
        });
        Layout::layoutSubtreeIfNeeded(&root);
        EXPECT_EQ(item->size(), c.expected) << c.name;
        EXPECT_EQ(item->asked > 0, c.asked) << c.name;
    }
}

TEST(LayoutEngine, ADroppedFixedSizeGivesTheHintBack)
{
    QWidget root;
    root.resize(300, 100);
    auto* item = new HintCounter(&root);
    mas_makeConstraints(item, [&](MASConstraintMaker& make) {
        make.left().top().equalTo(&root);
        make.width().equalTo(50);
        make.height().equalTo(20);
    });
    Layout::layoutSubtreeIfNeeded(&root);
    ASSERT_EQ(item->size(), QSize(50, 20));
    mas_remakeConstraints(item, [&](MASConstraintMaker& make) { make.left().top().equalTo(&root); });
    Layout::layoutSubtreeIfNeeded(&root);
    EXPECT_EQ(item->size(), QSize(120, 30));
}

TEST(LayoutEngine, WidgetsKeepingTheirGeometryMoveWithPlacedParents)
{
    QWidget root;
    root.resize(300, 200);
    auto* panel = new QWidget(&root);
    auto* fixed = new QWidget(panel);   // keeps its geometry inside the placed panel
    fixed->setGeometry(5, 6, 20, 10);
    auto* follower = new QWidget(&root);
    mas_makeConstraints(panel, [&](MASConstraintMaker& make) {
        make.left().equalTo(&root).offset(100);
        make.top().equalTo(&root).offset(50);
        make.size().equalTo(QSizeF(80, 80));
    });
    mas_makeConstraints(follower, [&](MASConstraintMaker& make) {
        make.left().equalTo(mas_right(fixed));
        make.top().equalTo(mas_bottom(fixed));
        make.size().equalTo(QSizeF(1, 1));
    });
    Layout::layoutSubtreeIfNeeded(&root);
    EXPECT_EQ(panel->geometry(), QRect(100, 50, 80, 80));
    EXPECT_EQ(fixed->geometry(), QRect(5, 6, 20, 10));
    EXPECT_EQ(follower->geometry(), QRect(125, 66, 1, 1));
}

TEST(LayoutEngine, DestroyedAndReparentedWidgetsLeaveTheSolver)
{
    QWidget root;
    root.resize(200, 200);
    auto* a = new QWidget(&root);
    auto* b = new QWidget(&root);
    mas_makeConstraints(a, [&](MASConstraintMaker& make) { make.edges().equalTo(&root); });
    mas_makeConstraints(b, [&](MASConstraintMaker& make) {
        make.top().equalTo(mas_bottom(a));
        make.left().width().equalTo(a);
        make.height().equalTo(10);
    });
    Layout::layoutSubtreeIfNeeded(&root);
    LayoutEngine* engine = LayoutEngine::existingForWindow(&root);
    ASSERT_TRUE(engine);
    const int before = engine->solverConstraintCount();
    delete a;
    Layout::layoutSubtreeIfNeeded(&root);
    // Only b's height is left: a's edges, b's three statements about a and the root's edit
    // variables (nothing refers to the root any more) are gone.
    EXPECT_EQ(before, 12);
    EXPECT_EQ(engine->solverConstraintCount(), 1);
    EXPECT_EQ(b->height(), 10);

    QWidget other;
    b->setParent(&other);
    Layout::layoutSubtreeIfNeeded(&root);
    EXPECT_EQ(engine->solverConstraintCount(), 0);
}

TEST(LayoutEngine, ChangesPostOneCoalescedPass)
{
    QWidget root;
    root.resize(200, 200);
    auto* a = new QWidget(&root);
    mas_makeConstraints(a, [&](MASConstraintMaker& make) {
        make.left().top().equalTo(&root);
        make.width().height().equalTo(10);
    });
    LayoutEngine* engine = LayoutEngine::existingForWindow(&root);
    ASSERT_TRUE(engine);
    EXPECT_TRUE(engine->needsLayout());
    const int passes = engine->passCount();
    ASSERT_TRUE(waitUntil([&] { return !engine->needsLayout(); }, 30000));
    EXPECT_EQ(engine->passCount(), passes + 1);
    EXPECT_EQ(a->geometry(), QRect(0, 0, 10, 10));
}

TEST(LayoutEngine, ViewsConstrainedBeforeJoiningAWindowAreLaidOutThere)
{
    QWidget window;
    window.resize(300, 200);
    auto* panel = new QWidget;  // no parent yet
    auto* child = new QWidget(panel);
    mas_makeConstraints(child, [&](MASConstraintMaker& make) {
        make.left().top().equalTo(panel).offset(3);
        make.size().equalTo(QSizeF(20, 10));
    });
    mas_makeConstraints(panel, [](MASConstraintMaker& make) { make.size().equalTo(QSizeF(100, 50)); });
    // Joins the window before any pass ran, then once more after a pass.
    panel->setParent(&window);
    mas_makeConstraints(panel, [&](MASConstraintMaker& make) { make.left().top().equalTo(&window).offset(7); });
    ASSERT_TRUE(waitUntil([&] { return child->geometry() == QRect(3, 3, 20, 10); }, 30000));
    EXPECT_EQ(panel->geometry(), QRect(7, 7, 100, 50));

    QWidget other;
    other.resize(300, 200);
    panel->setParent(&other);
    mas_makeConstraints(panel, [&](MASConstraintMaker& make) {
        make.left().equalTo(&other).offset(40);
        make.top().equalTo(&other).offset(60);
    });
    Layout::layoutSubtreeIfNeeded(&other);
    // The statements held by the first window take no part: no conflict with 7.
    EXPECT_EQ(panel->geometry(), QRect(40, 60, 100, 50));
    EXPECT_EQ(child->geometry(), QRect(3, 3, 20, 10));
}

TEST(LayoutEngine, AWindowPlacedByItsStatementsTakesTheirSizeAndKeepsItsPlace)
{
    QWidget window;
    window.setGeometry(30, 40, 10, 10);
    auto* content = new QWidget(&window);
    mas_makeConstraints(content, [&](MASConstraintMaker& make) {
        make.edges().equalTo(&window).insets(NSEdgeInsetsMake(5, 5, 5, 5));
        make.size().equalTo(QSizeF(110, 70));
    });
    mas_makeConstraints(&window, [](MASConstraintMaker&) {});  // the window's own flag goes off
    Layout::layoutSubtreeIfNeeded(&window);
    EXPECT_EQ(window.size(), QSize(120, 80));
    EXPECT_EQ(window.pos(), QPoint(30, 40));
    EXPECT_EQ(content->geometry(), QRect(5, 5, 110, 70));
}
