#include "ui/layout/MASAdditions.h"

#include <QApplication>
#include <QLabel>
#include <QRegularExpression>
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
    Container()
    {
        root->setGeometry(0, 0, 400, 300);
        box = new QWidget(root.get());
        setMas_key(box, QStringLiteral("box"));
    }
    void layout() { Layout::layoutSubtreeIfNeeded(root.get()); }
};

std::shared_ptr<LayoutConstraint> only(QWidget* holder)
{
    const auto list = Layout::constraints(holder);
    return list.size() == 1 ? list.first() : nullptr;
}

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
        EXPECT_EQ(held[i]->constant(), constants[i]) << i;
    }
    c.layout();
    EXPECT_EQ(c.box->geometry(), QRect(20, 10, 340, 260));
}
