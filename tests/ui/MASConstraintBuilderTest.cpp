#include "ui/layout/MASAdditions.h"

#include <QApplication>
#include <QLabel>
#include <QRegularExpression>
#include "TestEnvironment.h"
#include <QWidget>

#include <gtest/gtest.h>

#include <memory>

using namespace MASAdditions;

namespace {

// A 400x300 container with a child "box", laid out offscreen.
struct Container
{
    std::unique_ptr<QWidget> root = std::make_unique<QWidget>();
    QWidget* box = nullptr;
    explicit Container(QSize size = {400, 300})
    {
        root->setGeometry(QRect(QPoint(0, 0), size));
        box = new QWidget(root.get());
        setMas_key(box, QStringLiteral("box"));
    }
    void layout() { Layout::layoutSubtreeIfNeeded(root.get()); }
};

LayoutConstraintPtr only(QWidget* holder)
{
    const auto list = Layout::constraints(holder);
    return list.size() == 1 ? list.first() : nullptr;
}

// Collects the warnings logged while it lives.
struct WarningCatcher
{
    static inline QStringList warnings;
    QtMessageHandler previous;
    WarningCatcher()
    {
        warnings.clear();
        previous = qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& text) {
            if (type == QtWarningMsg)
                warnings << text;
        });
    }
    ~WarningCatcher() { qInstallMessageHandler(previous); }
};

}  // namespace

TEST(MASConstraintBuilder, WidthEqualToNumberIsOneConstantConstraintHeldByTheView)
{
    Container c;
    const auto made = mas_makeConstraints(c.box, [](MASConstraintMaker& make) { make.width().equalTo(150); });
    ASSERT_EQ(made.size(), 1);
    EXPECT_FALSE(Layout::translatesAutoresizingMaskIntoConstraints(c.box));
    auto lc = only(c.box);
    ASSERT_TRUE(lc);
    EXPECT_EQ(lc->firstItem(), c.box);
    EXPECT_EQ(lc->firstAttribute(), NSLayoutAttributeWidth);
    EXPECT_EQ(lc->secondItem(), nullptr);
    EXPECT_EQ(lc->secondAttribute(), NSLayoutAttributeNotAnAttribute);
    EXPECT_EQ(lc->constant(), 150);
    EXPECT_TRUE(Layout::constraints(c.root.get()).isEmpty());
    EXPECT_EQ(MASConstraints::mas_installedConstraints(c.box).size(), 1);
}

TEST(MASConstraintBuilder, EdgesWithInsetsPlaceTheBox)
{
    Container c;
    mas_makeConstraints(c.box, [&](MASConstraintMaker& make) {
        make.edges().equalTo(c.root.get()).insets(NSEdgeInsetsMake(10, 20, 30, 40));
    });
    const auto held = Layout::constraints(c.root.get());
    ASSERT_EQ(held.size(), 4);
    const NSLayoutAttribute order[] = {NSLayoutAttributeLeft, NSLayoutAttributeRight, NSLayoutAttributeTop,
                                       NSLayoutAttributeBottom};
    const double constants[] = {20, -40, 10, -30};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(held[i]->firstAttribute(), order[i]) << i;
        EXPECT_EQ(held[i]->secondAttribute(), order[i]) << i;
        EXPECT_EQ(held[i]->secondItem(), c.root.get()) << i;
        EXPECT_EQ(held[i]->constant(), constants[i]) << i;
    }
    c.layout();
    EXPECT_EQ(c.box->geometry(), QRect(20, 10, 340, 260));
    // The shown window grows: the posted pass follows it.
    c.root->show();
    c.root->resize(500, 400);
    ASSERT_TRUE(waitUntil([&] { return c.box->geometry() == QRect(20, 10, 440, 360); }, 30000));
}

TEST(MASConstraintBuilder, StatementsAreHeldByTheClosestCommonSuperview)
{
    Container c;
    auto* sibling = new QWidget(c.root.get());
    auto* inner = new QWidget(c.box);
    mas_makeConstraints(sibling, [&](MASConstraintMaker& make) {
        make.top().equalTo(mas_bottom(c.box));
    });
    auto lc = only(c.root.get());
    ASSERT_TRUE(lc);
    EXPECT_EQ(lc->firstAttribute(), NSLayoutAttributeTop);
    EXPECT_EQ(lc->secondItem(), c.box);
    EXPECT_EQ(lc->secondAttribute(), NSLayoutAttributeBottom);

    // Between a view and its own ancestor: the ancestor holds it.
    mas_makeConstraints(inner, [&](MASConstraintMaker& make) { make.left().equalTo(mas_left(c.box)); });
    EXPECT_EQ(Layout::constraints(c.box).size(), 1);
    EXPECT_EQ(mas_closestCommonSuperview(inner, sibling), c.root.get());
    EXPECT_EQ(mas_closestCommonSuperview(inner, nullptr), nullptr);
    QWidget stranger;
    EXPECT_EQ(mas_closestCommonSuperview(inner, &stranger), nullptr);
}

TEST(MASConstraintBuilder, ArgumentKindsAndOffsets)
{
    Container c;
    // A view argument takes the first attribute; an offset alone pins to the superview.
    mas_makeConstraints(c.box, [&](MASConstraintMaker& make) {
        make.left().equalTo(c.root.get());
        make.top().offset(5);
        make.size().equalTo(QSizeF(30, 40));
    });
    const auto held = Layout::constraints(c.root.get());
    ASSERT_EQ(held.size(), 2);
    EXPECT_EQ(held[0]->secondAttribute(), NSLayoutAttributeLeft);
    EXPECT_EQ(held[1]->secondItem(), c.root.get());
    EXPECT_EQ(held[1]->secondAttribute(), NSLayoutAttributeTop);
    EXPECT_EQ(held[1]->constant(), 5);
    const auto sizes = Layout::constraints(c.box);
    ASSERT_EQ(sizes.size(), 2);
    EXPECT_EQ(sizes[0]->secondItem(), nullptr);
    EXPECT_EQ(sizes[0]->constant(), 30);
    EXPECT_EQ(sizes[1]->constant(), 40);

    auto* centred = new QWidget(c.root.get());
    mas_makeConstraints(centred, [&](MASConstraintMaker& make) {
        make.center().equalTo(QPointF(10, -20));
        make.width().height().equalTo(20);
    });
    // An unsupported argument changes nothing: a constant width of 0.
    auto* odd = new QWidget(c.root.get());
    mas_makeConstraints(odd, [&](MASConstraintMaker& make) { make.width().equalTo(QVariant(QStringLiteral("x"))); });
    ASSERT_TRUE(only(odd));
    EXPECT_EQ(only(odd)->secondItem(), nullptr);
    EXPECT_EQ(only(odd)->constant(), 0);
    c.layout();
    EXPECT_EQ(c.box->geometry(), QRect(0, 5, 30, 40));
    EXPECT_EQ(centred->geometry(), QRect(200 + 10 - 10, 150 - 20 - 10, 20, 20));
}

TEST(MASConstraintBuilder, UpdateChangesTheConstantOfTheSameStatementOnly)
{
    Container c;
    mas_makeConstraints(c.box, [&](MASConstraintMaker& make) {
        make.top().equalTo(c.root.get()).offset(5);
        make.left().equalTo(c.root.get());
        make.size().equalTo(QSizeF(10, 10));
    });
    c.layout();
    EXPECT_EQ(c.box->y(), 5);
    const int before = Layout::constraints(c.root.get()).size();

    mas_updateConstraints(c.box, [&](MASConstraintMaker& make) { make.top().equalTo(c.root.get()).offset(25); });
    EXPECT_EQ(Layout::constraints(c.root.get()).size(), before);
    c.layout();
    EXPECT_EQ(c.box->y(), 25);

    mas_updateConstraints(c.box, [&](MASConstraintMaker& make) {
        make.top().equalTo(c.root.get()).offset(60).priority(750);
    });
    EXPECT_EQ(Layout::constraints(c.root.get()).size(), before + 1);
    c.layout();
    EXPECT_EQ(c.box->y(), 25) << "the required statement still wins";
}

TEST(MASConstraintBuilder, RemakeKeepsOnlyTheNewStatements)
{
    Container c;
    mas_makeConstraints(c.box, [&](MASConstraintMaker& make) {
        make.edges().equalTo(c.root.get());
    });
    EXPECT_EQ(MASConstraints::mas_installedConstraints(c.box).size(), 4);
    mas_remakeConstraints(c.box, [&](MASConstraintMaker& make) {
        make.left().top().equalTo(c.root.get()).offset(7);
        make.size().equalTo(QSizeF(11, 12));
    });
    EXPECT_EQ(MASConstraints::mas_installedConstraints(c.box).size(), 4);
    EXPECT_EQ(Layout::constraints(c.root.get()).size(), 2);
    EXPECT_EQ(Layout::constraints(c.box).size(), 2);
    c.layout();
    EXPECT_EQ(c.box->geometry(), QRect(7, 7, 11, 12));
}

TEST(MASConstraintBuilder, ListArgumentMakesOneConstraintPerElement)
{
    Container c;
    auto* a = new QWidget(c.root.get());
    auto* b = new QWidget(c.root.get());
    const auto made = mas_makeConstraints(c.box, [&](MASConstraintMaker& make) {
        make.width().lessThanOrEqualTo(QList<QWidget*>{a, b});
    });
    ASSERT_EQ(made.size(), 1);
    auto composite = std::dynamic_pointer_cast<MASCompositeConstraint>(made.first());
    ASSERT_TRUE(composite);
    EXPECT_EQ(composite->childConstraints().size(), 2);
    const auto held = Layout::constraints(c.root.get());
    ASSERT_EQ(held.size(), 2);
    for (const auto& lc : held) {
        EXPECT_EQ(lc->relation(), NSLayoutRelationLessThanOrEqual);
        EXPECT_EQ(lc->secondAttribute(), NSLayoutAttributeWidth);
    }
    EXPECT_EQ(held[0]->secondItem(), a);
    EXPECT_EQ(held[1]->secondItem(), b);
}

TEST(MASConstraintBuilder, ChainedAttributesShareOneStatementAndKeys)
{
    Container c;
    const auto made = mas_makeConstraints(c.box, [&](MASConstraintMaker& make) {
        make.left().right().equalTo(c.root.get()).key(QStringLiteral("lr"));
        make.attributes(MASConstraintMaker::MASAttributeTop | MASConstraintMaker::MASAttributeHeight).equalTo(8);
    });
    ASSERT_EQ(made.size(), 2);
    auto lr = std::dynamic_pointer_cast<MASCompositeConstraint>(made[0]);
    ASSERT_TRUE(lr);
    ASSERT_EQ(lr->childConstraints().size(), 2);
    auto right = std::dynamic_pointer_cast<MASViewConstraint>(lr->childConstraints()[1]);
    ASSERT_TRUE(right);
    EXPECT_EQ(right->mas_key.toString(), QStringLiteral("lr[1]"));
    c.layout();
    EXPECT_EQ(c.box->geometry(), QRect(0, 8, 400, 8));
}

TEST(MASConstraintBuilder, ConflictingRequiredWidthsWarnAndKeepTheFirst)
{
    Container c;
    WarningCatcher catcher;
    mas_makeConstraints(c.box, [&](MASConstraintMaker& make) {
        make.width().equalTo(100);
        make.width().equalTo(200);
        make.left().top().equalTo(c.root.get());
        make.height().equalTo(10);
    });
    c.layout();
    EXPECT_EQ(c.box->width(), 100);
    ASSERT_FALSE(WarningCatcher::warnings.isEmpty());
    EXPECT_TRUE(WarningCatcher::warnings.join('\n').contains(QStringLiteral("width == 200"))) << WarningCatcher::warnings.join('\n').toStdString();
}

TEST(MASConstraintBuilder, Descriptions)
{
    Container c;
    const auto made = mas_makeConstraints(c.box, [](MASConstraintMaker& make) {
        make.width().equalTo(100).key(QStringLiteral("w"));
        make.height().equalTo(5);
    });
    const auto held = Layout::constraints(c.box);
    ASSERT_EQ(held.size(), 2);
    EXPECT_EQ(held[0]->description(), QStringLiteral("<MASLayoutConstraint:w QWidget:box.width == 100>"));
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^<MASLayoutConstraint:0x[0-9a-f]+ QWidget:box.height == 5>$"))
                    .match(held[1]->description()).hasMatch())
        << held[1]->description().toStdString();

    auto* other = new QWidget(c.root.get());
    mas_makeConstraints(other, [&](MASConstraintMaker& make) {
        make.left().equalTo(mas_right(c.box)).multipliedBy(2).offset(-3).priority(250);
    });
    const QString text = only(c.root.get())->description();
    EXPECT_TRUE(QRegularExpression(QStringLiteral(
                    "^<MASLayoutConstraint:0x[0-9a-f]+ QWidget:0x[0-9a-f]+.left == QWidget:box.right \\* 2 - 3 \\^low>$"))
                    .match(text).hasMatch())
        << text.toStdString();
}

TEST(MASConstraintBuilder, AnimatorMovesTheConstantOverAQuarterSecond)
{
    Container c;
    MASConstraintPtr top;
    mas_makeConstraints(c.box, [&](MASConstraintMaker& make) {
        make.left().equalTo(c.root.get());
        make.size().equalTo(QSizeF(10, 10));
        make.top().equalTo(c.root.get()).offset(0).animator();
    });
    c.layout();
    auto statements = MASConstraints::mas_installedConstraints(c.box);
    std::shared_ptr<MASViewConstraint> topStatement;
    for (const auto& s : statements)
        if (s->firstViewAttribute().layoutAttribute() == NSLayoutAttributeTop)
            topStatement = s;
    ASSERT_TRUE(topStatement);
    topStatement->setOffset(100);
    EXPECT_EQ(c.box->y(), 0) << "an animated change does not jump";
    ASSERT_TRUE(waitUntil([&] { return c.box->y() == 100; }, 30000));
}

// ---- lists of views ----

TEST(MASArrayAdditions, FixedSpacingSharesTheFreeLength)
{
    Container c({200, 50});
    QList<QWidget*> views{new QWidget(c.root.get()), new QWidget(c.root.get()), new QWidget(c.root.get())};
    mas_distributeViewsAlongAxisWithFixedSpacing(views, MASAxisTypeHorizontal, 10, 5, 5);
    mas_makeConstraints(views, [&](MASConstraintMaker& make) { make.top().bottom().equalTo(c.root.get()); });
    c.layout();
    const double expectedX[] = {5, 71.667, 138.333};
    for (int i = 0; i < 3; ++i) {
        const QRectF f = Layout::frameOf(views[i]);
        EXPECT_NEAR(f.x(), expectedX[i], 0.001) << i;
        EXPECT_NEAR(f.width(), 56.667, 0.001) << i;
    }
    EXPECT_NEAR(Layout::frameOf(views[2]).right(), 195, 1e-6);
}

TEST(MASArrayAdditions, FixedItemLengthInAContainerOffTheOrigin)
{
    QWidget window;
    window.setGeometry(0, 0, 500, 100);
    auto* container = new QWidget(&window);
    container->setGeometry(50, 0, 300, 100);
    QList<QWidget*> views{new QWidget(container), new QWidget(container), new QWidget(container)};
    mas_distributeViewsAlongAxisWithFixedItemLength(views, MASAxisTypeHorizontal, 40, 0, 0);
    mas_makeConstraints(views, [&](MASConstraintMaker& make) { make.top().height().equalTo(10); });
    Layout::layoutSubtreeIfNeeded(&window);
    EXPECT_NEAR(Layout::frameOf(views[0]).left(), 0, 1e-6);
    EXPECT_NEAR(Layout::frameOf(views[1]).right(), 170, 1e-6);
    EXPECT_NEAR(Layout::frameOf(views[2]).right(), 300, 1e-6);
    EXPECT_EQ(views[1]->geometry(), QRect(130, 10, 40, 10));
}

TEST(MASArrayAdditions, FewerThanTwoViewsMakeNothingAndListsConcatenate)
{
    Container c;
    auto* one = new QWidget(c.root.get());
    mas_distributeViewsAlongAxisWithFixedSpacing({one}, MASAxisTypeVertical, 1, 1, 1);
    mas_distributeViewsAlongAxisWithFixedItemLength({}, MASAxisTypeVertical, 1, 1, 1);
    EXPECT_TRUE(Layout::constraints(c.root.get()).isEmpty());
    EXPECT_TRUE(Layout::constraints(one).isEmpty());
    EXPECT_EQ(mas_commonSuperviewOfViews({}), nullptr);
    EXPECT_EQ(mas_commonSuperviewOfViews({nullptr, one}), one);

    const auto made = mas_makeConstraints(QList<QWidget*>{c.box, one}, [](MASConstraintMaker& make) {
        make.width().equalTo(1);
        make.height().equalTo(2);
    });
    ASSERT_EQ(made.size(), 4);
    EXPECT_EQ(std::dynamic_pointer_cast<MASViewConstraint>(made[0])->firstViewAttribute().view(), c.box);
    EXPECT_EQ(std::dynamic_pointer_cast<MASViewConstraint>(made[3])->firstViewAttribute().view(), one);
}

TEST(MASViewAttributeTest, EqualityAndHash)
{
    QWidget a, b;
    EXPECT_EQ(mas_left(&a), mas_left(&a));
    EXPECT_NE(mas_left(&a), mas_right(&a));
    EXPECT_NE(mas_left(&a), mas_left(&b));
    EXPECT_EQ(mas_left(&a).hash(), mas_left(&a).hash());
    EXPECT_NE(mas_left(&a).hash(), mas_top(&a).hash());
    EXPECT_TRUE(mas_width(&a).isSizeAttribute());
    EXPECT_FALSE(mas_centerX(&a).isSizeAttribute());
    EXPECT_EQ(mas_attribute(&a)(NSLayoutAttributeBaseline), mas_baseline(&a));
}
