#include "ui/controls/LoadStateOverlay.h"

#include "ui/controls/DDErrorView.h"
#include "ui/hud/DJActivityIndicator.h"
#include "ui/hud/DJProgressHUD.h"

#include "ScopeGuard.h"
#include "TestEnvironment.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

// Whether the widget, or a child of it, is what the host shows at that point.
bool onTopAt(const QWidget& host, const QWidget* widget, QPoint point)
{
    const QWidget* top = host.childAt(point);
    return widget && top && (top == widget || widget->isAncestorOf(top));
}

// A child that covers the whole host, as the widget a web view draws its page in.
QWidget* coveringChild(QWidget& host)
{
    auto* child = new QWidget(&host);
    child->setGeometry(host.rect());
    child->show();
    return child;
}

class LoadStateOverlayTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_host.resize(400, 300);
        m_host.show();
    }

    QWidget m_host;
    LoadStateOverlay m_overlay{&m_host, QStringLiteral("评论加载失败"), 50};
};

}  // namespace

TEST_F(LoadStateOverlayTest, TheMarksFollowTheHostAndStayOverChildrenItGainsLater)
{
    const auto reloads = std::make_shared<int>(0);
    m_overlay.showFailure([reloads] { ++*reloads; });
    DDErrorView* error = m_overlay.errorView();
    ASSERT_TRUE(error);
    EXPECT_EQ(error->title(), QStringLiteral("评论加载失败"));
    EXPECT_EQ(error->subtitle(), QStringLiteral("点击刷新按钮重新加载"));
    EXPECT_TRUE(m_overlay.isFailureShown());
    coveringChild(m_host);
    EXPECT_TRUE(waitUntil([&] { return onTopAt(m_host, error, m_host.rect().center()); }, 30000))
        << "a child added later covers the error view";

    m_host.resize(500, 360);
    EXPECT_EQ(error->geometry(), QRect(0, 0, 500, 360));

    m_overlay.showLoading();
    EXPECT_FALSE(m_overlay.isFailureShown());
    ASSERT_TRUE(m_overlay.isLoadingShown());
    const auto* spinner = m_host.findChild<DJActivityIndicator*>();
    ASSERT_TRUE(spinner);
    EXPECT_EQ(spinner->geometry(), QRect(225, 155, 50, 50));
    EXPECT_TRUE(spinner->isAnimating());
    coveringChild(m_host);
    EXPECT_TRUE(waitUntil([&] { return onTopAt(m_host, spinner, m_host.rect().center()); }, 30000))
        << "a child added later covers the spinner";

    m_overlay.clear();
    EXPECT_FALSE(m_overlay.isLoadingShown());
    EXPECT_FALSE(m_overlay.isFailureShown());
    EXPECT_FALSE(spinner->isAnimating());
    EXPECT_EQ(*reloads, 0);
}

TEST_F(LoadStateOverlayTest, TheReloadButtonRunsTheLatestFailuresAction)
{
    QStringList ran;
    m_overlay.showFailure([&ran] { ran.append(QStringLiteral("first")); });
    m_overlay.showFailure([&ran] { ran.append(QStringLiteral("second")); });
    EXPECT_EQ(m_host.findChildren<DDErrorView*>().size(), 1);
    m_overlay.errorView()->reloadButton()->click();
    EXPECT_EQ(ran, QStringList{QStringLiteral("second")});
}

TEST_F(LoadStateOverlayTest, AToastOverTheHostStaysOverTheMarks)
{
    DJProgressHUD* hud = DJProgressHUD::instance();
    const auto hidden = onScopeExit([hud] {
        DJProgressHUD::dismiss();
        waitUntil([hud] { return !hud->displaying() && !hud->animatingShow(); }, 30000);
    });
    m_overlay.showLoading();
    DJProgressHUD::showMessage(QStringLiteral("评论加载失败"), &m_host);
    m_overlay.showFailure([] {});
    ASSERT_EQ(hud->hudView()->parentWidget(), &m_host);
    const QWidget* later = coveringChild(m_host);
    const auto above = [&](const QWidget* upper, const QWidget* lower) {
        return m_host.children().indexOf(upper) > m_host.children().indexOf(lower);
    };
    EXPECT_TRUE(waitUntil([&] { return above(m_overlay.errorView(), later); }, 30000));
    EXPECT_TRUE(above(hud->hudView(), m_overlay.errorView())) << "a failure shown under a toast covers it";
}
