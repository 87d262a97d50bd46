#include "ui/controls/CustomButton.h"
#include "ui/controls/DDErrorView.h"
#include "ui/controls/KeysHandOver.h"
#include "ui/controls/PSSizes.h"
#include "ui/controls/TrackingArea.h"
#include "ui/controls/UILabel.h"

#include "foundation/DeviceFacts.h"
#include "foundation/GlobalValues.h"
#include "platform/NotificationCenter.h"
#include "ui/layout/LayoutConstraint.h"

#include "ScopeGuard.h"
#include "TestEnvironment.h"

#include <QCoreApplication>
#include <QEvent>
#include <QLineEdit>

#include <gtest/gtest.h>

#include <functional>
#include <memory>

namespace {

class FixedVersionFacts : public SystemDeviceFacts
{
public:
    explicit FixedVersionFacts(QString version) : m_version(std::move(version)) {}
    QString productVersion() override { return m_version; }

private:
    QString m_version;
};

[[nodiscard]] auto systemVersion(const QString& version)
{
    DeviceFacts::setInstance(std::make_shared<FixedVersionFacts>(version));
    return onScopeExit([] { DeviceFacts::setInstance(nullptr); });
}

std::unique_ptr<DDErrorView> failedView()
{
    auto view = std::make_unique<DDErrorView>(QRect(0, 0, 300, 200));
    view->setTitle(QStringLiteral("新闻加载失败"));
    view->setSubtitle(QStringLiteral("点击刷新按钮重新加载"));
    return view;
}

class HoverOwner : public QObject, public TrackingAreaOwner
{
public:
    QList<QPair<QString, QWidget*>> events;
    void mouseEntered(QWidget* sender) override { events.append({QStringLiteral("entered"), sender}); }
    void mouseExited(QWidget* sender) override { events.append({QStringLiteral("exited"), sender}); }
};

}  // namespace

// ---- frame accessors ----

TEST(PSSizesTest, EachSetterChangesOnlyItsPart)
{
    struct Case
    {
        const char* name;
        std::function<void(QWidget*)> change;
        QRect expected;
    };
    const Case cases[] = {
        {"setRight", [](QWidget* v) { PSSizes::setRight(v, 100); }, QRect(70, 20, 30, 40)},
        {"setBottom", [](QWidget* v) { PSSizes::setBottom(v, 100); }, QRect(10, 60, 30, 40)},
        {"setLeft", [](QWidget* v) { PSSizes::setLeft(v, 5); }, QRect(5, 20, 30, 40)},
        {"setTop", [](QWidget* v) { PSSizes::setTop(v, 7); }, QRect(10, 7, 30, 40)},
        {"setWidth", [](QWidget* v) { PSSizes::setWidth(v, 50); }, QRect(10, 20, 50, 40)},
        {"setHeight", [](QWidget* v) { PSSizes::setHeight(v, 5); }, QRect(10, 20, 30, 5)},
        {"setOrigin", [](QWidget* v) { PSSizes::setOrigin(v, {1, 2}); }, QRect(1, 2, 30, 40)},
        {"setSize", [](QWidget* v) { PSSizes::setSize(v, {3, 4}); }, QRect(10, 20, 3, 4)},
    };
    for (const Case& c : cases) {
        QWidget view;
        view.setGeometry(10, 20, 30, 40);
        c.change(&view);
        EXPECT_EQ(view.geometry(), c.expected) << c.name;
    }
    QWidget view;
    view.setGeometry(10, 20, 30, 40);
    EXPECT_EQ(PSSizes::right(&view), 40);
    EXPECT_EQ(PSSizes::bottom(&view), 60);
    EXPECT_EQ(PSSizes::origin(&view), QPointF(10, 20));
    EXPECT_EQ(PSSizes::size(&view), QSizeF(30, 40));
}

// ---- buttons, labels, hover ----

TEST(CustomButtonTest, InitialisersSetTheirLook)
{
    std::unique_ptr<CustomButton> plain(CustomButton::initWithTitle(QStringLiteral("t")));
    EXPECT_FALSE(plain->isBordered());
    EXPECT_FALSE(plain->isCheckable());
    EXPECT_EQ(plain->bezelStyle(), 1);
    std::unique_ptr<CustomButton> toggle(CustomButton::initWithAttributedTitle(QStringLiteral("<b>t</b>")));
    EXPECT_TRUE(toggle->isCheckable());
    std::unique_ptr<CustomButton> best(CustomButton::initWithTitleBest(QStringLiteral("t")));
    EXPECT_TRUE(best->isBordered()) << "the base default";
    EXPECT_EQ(best->bezelStyle(), 1);

    std::unique_ptr<CustomButton> image(
        CustomButton::initWithImagePosition(CustomButton::NSImageOnly, QStringLiteral("reloadButton"), false, 12));
    EXPECT_TRUE(image->hasImage());
    EXPECT_EQ(image->iconSize(), QSize(50, 50));
    EXPECT_EQ(image->bezelStyle(), 12);
    std::unique_ptr<CustomButton> missing(
        CustomButton::initWithImagePosition(CustomButton::NSImageOnly, QStringLiteral("noSuchImage"), false, 12));
    EXPECT_FALSE(missing->hasImage());
}

TEST(CustomButtonTest, TargetAndActionReplaceEachOtherAndDieWithTheTarget)
{
    CustomButton button;
    int first = 0, second = 0;
    auto target = std::make_unique<QObject>();
    button.addTarget(target.get(), [&] { ++first; });
    button.click();
    EXPECT_EQ(first, 1);
    QObject other;
    button.addTarget(&other, [&] { ++second; });
    button.click();
    EXPECT_EQ(first, 1) << "the new pair replaced the old";
    EXPECT_EQ(second, 1);
    button.addTarget(target.get(), [&] { ++first; });
    target.reset();
    button.click();
    EXPECT_EQ(first, 1) << "a gone target gets nothing";
    EXPECT_EQ(button.target(), nullptr);
}

// A button holding the keys shows it, by day and by night (image buttons drew nothing).
TEST(CustomButtonTest, TheButtonWithTheKeysShowsAFocusMarkByDayAndByNight)
{
    const auto restoreTheme = restoreOnScopeExit(gThemeMode);
    QWidget window;
    auto* button = CustomButton::initWithImagePosition(CustomButton::NSImageOnly, QStringLiteral("reloadButton"), false, 1, &window);
    window.show();
    window.activateWindow();
    ASSERT_TRUE(waitUntil([&] { return window.isActiveWindow(); }));
    for (const int theme : {1, 2}) {
        gThemeMode = theme;
        window.setFocus();
        const QImage without = button->grab().toImage();
        button->setFocus(Qt::TabFocusReason);
        EXPECT_NE(button->grab().toImage(), without) << "theme " << theme;
    }
}

// A click's keys go to the first field on show that the reader reaches by Tab, not the first made.
TEST(KeysHandOverTest, AClickGivesTheKeysToTheFirstFieldInTabOrder)
{
    QWidget page;
    auto* hidden = new QLineEdit(&page);
    new QLineEdit(&page);  // made before the field the reader reaches first
    auto* reachedFirst = new QLineEdit(&page);
    QWidget::setTabOrder(hidden, reachedFirst);
    hidden->hide();
    EXPECT_EQ(KeysHandOver::clickKeysOf(&page), reachedFirst);
}

TEST(UILabelTest, StaticTextWithoutFrameOrBackground)
{
    UILabel label(QStringLiteral("text"));
    EXPECT_EQ(label.frameShape(), QFrame::NoFrame);
    EXPECT_FALSE(label.autoFillBackground());
    EXPECT_FALSE(label.textInteractionFlags() & Qt::TextEditable);
    EXPECT_EQ(label.text(), QStringLiteral("text"));
}

TEST(TrackingAreaTest, EnterAndLeaveReachTheOwnerWithTheButton)
{
    QWidget container;
    HoverOwner owner;
    auto* a = new QPushButton(&container);
    auto* b = new QPushButton(&container);
    TrackingArea::add(a, &owner);
    TrackingArea::add(b, &owner);
    QEvent enter(QEvent::Enter), leave(QEvent::Leave);
    QCoreApplication::sendEvent(a, &enter);
    QCoreApplication::sendEvent(a, &leave);
    QCoreApplication::sendEvent(b, &enter);
    ASSERT_EQ(owner.events.size(), 3);
    EXPECT_EQ(owner.events[0], qMakePair(QStringLiteral("entered"), static_cast<QWidget*>(a)));
    EXPECT_EQ(owner.events[1], qMakePair(QStringLiteral("exited"), static_cast<QWidget*>(a)));
    EXPECT_EQ(owner.events[2], qMakePair(QStringLiteral("entered"), static_cast<QWidget*>(b)));
    EXPECT_EQ(a->findChildren<TrackingArea*>().size(), 1) << "the area belongs to the button";
}

// ---- error view ----

TEST(DDErrorViewTest, LabelsAndButtonSitAroundTheCentre)
{
    auto view = failedView();
    view->addReloadButton();
    CustomButton* button = view->reloadButton();
    ASSERT_TRUE(button);
    view->addReloadButton();
    EXPECT_EQ(view->reloadButton(), button) << "a second call does nothing";
    EXPECT_EQ(Layout::constraints(view.get()).size(), 6);
    Layout::layoutSubtreeIfNeeded(view.get());
    EXPECT_EQ(view->titleView()->geometry(), QRect(75, 80, 150, 15));
    EXPECT_EQ(view->subtitleView()->geometry(), QRect(75, 95, 150, 15));
    EXPECT_EQ(button->geometry(), QRect(125, 110, 50, 50));
    EXPECT_EQ(view->title(), QStringLiteral("新闻加载失败"));
    EXPECT_EQ(view->subtitle(), QStringLiteral("点击刷新按钮重新加载"));
    EXPECT_EQ(view->titleView()->palette().color(QPalette::WindowText), QColor(96, 103, 111));
    EXPECT_TRUE(view->titleView()->alignment() & Qt::AlignHCenter);

    // The reload image is drawn: its ring's left side is darker than the background.
    view->fitColor(1);
    const QImage image = view->grab().toImage();
    EXPECT_LT(qGray(image.pixel(137, 135)), 200);
    EXPECT_EQ(image.pixelColor(150, 135), QColor(248, 248, 248)) << "the ring's middle is empty";

    int reloads = 0;
    QObject owner;
    button->addTarget(&owner, [&] { ++reloads; });
    button->click();
    EXPECT_EQ(reloads, 1);
}

TEST(DDErrorViewTest, FitColorPaintsTheDayBackground)
{
    auto view = failedView();
    EXPECT_EQ(view->grab().toImage().pixelColor(5, 5), QColor(Qt::white));
    view->fitColor(1);
    EXPECT_EQ(view->grab().toImage().pixelColor(5, 5), QColor(248, 248, 248));
    view->fitColor(2);
    EXPECT_EQ(view->backgroundColor(), QColor(248, 248, 248)) << "both themes show the day colours";
    EXPECT_EQ(view->reloadButton(), nullptr);
}

TEST(DDErrorViewTest, FontChangesAreFollowedFromTenElevenOn)
{
    const auto restoreThin = restoreOnScopeExit(gbThinFont);
    {
        const auto version = systemVersion(QStringLiteral("10.10"));
        auto view = failedView();
        EXPECT_FALSE(view->observesFontChanged());
        gbThinFont = true;
        const QFont before = view->titleView()->font();
        NotificationCenter::defaultCenter().post(QStringLiteral("fontChanged"));
        EXPECT_EQ(view->titleView()->font(), before);
        EXPECT_EQ(before.weight(), QFont::Bold);
    }
    gbThinFont = false;
    const auto version = systemVersion(QStringLiteral("10.11"));
    auto view = failedView();
    EXPECT_TRUE(view->observesFontChanged());
    EXPECT_EQ(view->titleView()->font().weight(), QFont::Bold);
    gbThinFont = true;
    NotificationCenter::defaultCenter().post(QStringLiteral("fontChanged"));
    EXPECT_EQ(view->titleView()->font().weight(), QFont::Normal);
    EXPECT_EQ(view->subtitleView()->font().weight(), QFont::Normal);
    view.reset();
    // Posting after the view is gone reaches nobody.
    NotificationCenter::defaultCenter().post(QStringLiteral("fontChanged"));
}
