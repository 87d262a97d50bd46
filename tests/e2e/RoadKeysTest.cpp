// The keys along the reader's road: real clicks and key presses through the main window, the
// article, the deals, the search, the comment and the account windows. After every step the
// widget holding the keys must be on screen, and be the list, the field or the page the reader
// expects there, or (where any control may have them) show that it has them.

#include "RoadFixture.h"

#include "ScopeGuard.h"
#include "TestEnvironment.h"
#include "account/AccountRequests.h"
#include "account/views/UserInfoWD.h"
#include "account/views/UserLandWD.h"
#include "account/views/modefyPwdWD.h"
#include "app/views/LeftBarButton.h"
#include "app/views/LeftViewController.h"
#include "article/views/ArticleWebPage.h"
#include "article/views/RightViewController.h"
#include "article/views/ToolBarView.h"
#include "comments/views/CommontView.h"
#include "comments/views/WriteCommentWD.h"
#include "deals/views/HotProductScrollView.h"
#include "newslist/CenterTableModel.h"
#include "newslist/views/CenterTableView.h"
#include "newslist/views/CenterViewController.h"
#include "newslist/views/search/SearchNewsViewController.h"
#include "platform/Clock.h"
#include "ui/controls/CustomButton.h"

#include <QApplication>
#include <QLineEdit>
#include <QListView>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QWebEngineView>

namespace road {
namespace {

QString describe(const QWidget* widget)
{
    if (!widget)
        return QStringLiteral("nobody");
    const auto* button = dynamic_cast<const CustomButton*>(widget);
    const QString name = button && button->text().isEmpty() ? button->imageName() : widget->property("text").toString();
    return QStringLiteral("%1 \"%2\" in %3 of the window \"%4\"")
        .arg(QString::fromLatin1(widget->metaObject()->className()), name,
             QString::fromLatin1(widget->parentWidget()->metaObject()->className()), widget->window()->windowTitle());
}

// Shown, and inside every parent up to its window: a tab scrolled out of its strip is not seen.
bool shownWhole(const QWidget* widget)
{
    QRect area = widget->rect();
    for (const QWidget* child = widget; !child->isWindow(); child = child->parentWidget()) {
        area.translate(child->pos());
        if (!child->parentWidget()->rect().contains(area))
            return false;
    }
    return widget->isVisible();
}

// However the control draws its mark: its picture with the keys differs from its picture without.
bool showsFocusMark(QWidget* widget)
{
    const QImage with = widget->grab().toImage();
    widget->clearFocus();
    const QImage without = widget->grab().toImage();
    widget->setFocus(Qt::OtherFocusReason);
    return with != without;
}

bool holds(const QWidget* place, const QWidget* keys)
{
    return place && keys &&
           (keys == place || keys == place->focusProxy() || (qobject_cast<const QWebEngineView*>(place) && place->isAncestorOf(keys)));
}

// The one rule of the walk: the keys are in one of the places the reader expects after the step,
// or, where any control may hold them, on one that is seen and shows it.
void expectKeysSeen(const QString& step, const QList<QWidget*>& places, bool orMarkedControl)
{
    const auto inPlace = [&] {
        return std::any_of(places.cbegin(), places.cend(), [](QWidget* place) { return holds(place, QApplication::focusWidget()); });
    };
    // A hand-over may take a turn of the event loop; a control reached by Tab has the keys at once.
    if (!orMarkedControl)
        waitUntil(inPlace, 5000);
    QWidget* keys = QApplication::focusWidget();
    const QString where = describe(keys);
    std::printf("[keys] %s: %s\n", qPrintable(step), qPrintable(where));
    if (!keys || !shownWhole(keys))
        ADD_FAILURE() << qPrintable(step) << ": the keys are in " << qPrintable(where) << ", which is not on screen";
    else if (!inPlace() && !orMarkedControl)
        ADD_FAILURE() << qPrintable(step) << ": the keys are in " << qPrintable(where) << ", not in the list, field or page expected";
    else if (!inPlace() && !showsFocusMark(keys))
        ADD_FAILURE() << qPrintable(step) << ": " << qPrintable(where) << " holds the keys and shows no focus mark";
}

// A key as the window system delivers it, to the window that has the keys.
void press(Qt::Key key)
{
    if (QWindow* window = QGuiApplication::focusWindow())
        QTest::keyClick(window, key);
    else
        ADD_FAILURE() << "no window takes the key " << key;
}

void type(const QString& text)
{
    for (const QChar character : text) {
        if (QWidget* keys = QApplication::focusWidget())
            QTest::sendKeyEvent(QTest::Click, keys, Qt::Key_unknown, QString(character), Qt::NoModifier);
    }
}

// A click of the reader's mouse (the fixture's clickRow gives no click focus, as a program's own
// event would not). The window manager activates the window it lands in; the offscreen platform
// leaves that out.
void click(QWidget* widget, QPoint at = QPoint())
{
    ASSERT_TRUE(widget && widget->isVisible()) << qPrintable(describe(widget));
    if (QWidget* window = widget->window(); window->windowHandle() != QGuiApplication::focusWindow()) {
        window->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(window)) << qPrintable(window->windowTitle());
    }
    QTest::mouseClick(widget, Qt::LeftButton, Qt::NoModifier, at.isNull() ? widget->rect().center() : at);
}

void clickEntry(CenterTableView* list, qsizetype entry)
{
    const QModelIndex index = list->model()->index(rowOfEntry(list, entry), 0);
    list->scrollTo(index);
    click(list->viewport(), list->visualRect(index).center());
}

QString shownGuid(const RightViewController* pane)
{
    return pane->feed() ? pane->feed()->guid : QString();
}

bool showsEntry(const RightViewController* pane, CenterTableView* list, qsizetype entry)
{
    const NewsListEntries& entries = list->tableModel()->newsListArray();
    const FeedPtr feed = entry < entries.size() ? feedOf(entries.at(entry)) : nullptr;
    return feed && feed->guid == shownGuid(pane);
}

QVariant inPage(const RightViewController* pane, const QString& script)
{
    return runScript(pane->webView()->page(), script);
}

// The article page of the pane's item is in, with its related news.
bool pageIn(const RightViewController* pane)
{
    return pane->feed() && pane->webView()->isVisible() &&
           inPage(pane, QStringLiteral("(document.querySelector('h1')||{}).innerText")).toString() == pane->feed()->title &&
           inPage(pane, QStringLiteral("document.querySelectorAll('#related li').length")).toInt() > 0;
}

// A click on the middle of the first element of the page that matches the selector.
void clickInPage(const RightViewController* pane, const QString& selector)
{
    ASSERT_TRUE(waitUntil([&] { return pageIn(pane); }, 60000)) << "waited for the article page";
    const QVariantList at = inPage(pane, QStringLiteral("(function(){var e=document.querySelector('%1');if(!e)return null;"
                                                        "e.scrollIntoView({block:'center'});var r=e.getBoundingClientRect();"
                                                        "return [r.left+r.width/2,r.top+r.height/2];})()")
                                             .arg(selector))
                                .toList();
    ASSERT_EQ(at.size(), 2) << "no " << qPrintable(selector) << " in the page";
    const qreal zoom = pane->webView()->page()->zoomFactor();
    click(pane->webView()->focusProxy(), QPoint(qRound(at.at(0).toDouble() * zoom), qRound(at.at(1).toDouble() * zoom)));
}

}  // namespace

TEST_F(Road, TheKeysStayWhereTheReaderSeesThemAllAlongTheRoad)
{
    CenterViewController* column = listColumn();
    RightViewController* pane = detailPane();
    auto* leftBar = mainWindow() ? mainWindow()->findChild<LeftViewController*>() : nullptr;
    ASSERT_TRUE(column && pane && leftBar);
    // Wide enough for the whole of both panes (the offscreen screen is smaller than a desktop's).
    const QSize size = mainWindow()->size();
    mainWindow()->resize(std::max(size.width(), 1280), std::max(size.height(), 860));
    ScopeExit cleanUp([size] {
        mainWindow()->resize(size);
        for (QWidget* top : QApplication::topLevelWidgets()) {
            if (qobject_cast<QDialog*>(top) && top->isVisible())
                top->hide();
        }
        AccountRequests::logOut();
    });
    CustomButton* searchButton = nullptr;
    for (CustomButton* button : column->findChildren<CustomButton*>())
        searchButton = button->imageName() == QStringLiteral("TOPSearch") ? button : searchButton;
    QWidget* page = pane->webView();
    const auto list = [column] { return column->currentTableV(); };
    const auto comments = [pane] { return static_cast<QWidget*>(pane->findChild<CommontView*>()); };
    // And when the active window closes, the window manager activates the one active before it
    // (the main window stays at the bottom of that pile).
    QList<QPointer<QWindow>> used{mainWindow()->windowHandle()};
    const QObject watch;
    QObject::connect(qApp, &QGuiApplication::focusWindowChanged, &watch, [&](QWindow* window) { used.append(window); });
    const auto seen = [&](const QString& step, const QList<QWidget*>& places, bool orMarkedControl = false) {
        while (!(QGuiApplication::focusWindow() && QGuiApplication::focusWindow()->isVisible())) {
            const QPointer<QWindow> next = used.size() > 1 ? used.takeLast() : used.first();
            if (next && next->isVisible()) {
                next->requestActivate();
                waitUntil([&] { return QGuiApplication::focusWindow() == next; }, 5000);
            }
            if (used.size() == 1 && next == used.first())
                break;
        }
        expectKeysSeen(step, places, orMarkedControl);
    };
    const auto downOpens = [&](const QString& step, qsizetype entry) {
        press(Qt::Key_Down);
        EXPECT_TRUE(waitUntil([&] { return showsEntry(pane, list(), entry); })) << step.toStdString() << " opened " << shownGuid(pane).toStdString();
        seen(step, {list()});
    };
    const auto clickInText = [&](const QString& step) {
        clickInPage(pane, QStringLiteral("h1"));
        seen(step, {page});
    };
    const auto closeWithEscape = [&](const QString& step, QWidget* window) {
        press(Qt::Key_Escape);
        EXPECT_TRUE(waitUntil([&] { return !window->isVisible(); })) << step.toStdString() << ": the window stays open";
        seen(step, {list(), page, comments()});
    };

    // The first list, its second row, a click in the article, another channel's tab.
    ASSERT_TRUE(QTest::qWaitForWindowActive(mainWindow()));
    ASSERT_TRUE(waitUntil([&] { return list() == channelList(101) && showsEntry(pane, list(), 0); }, 30000));
    seen(QStringLiteral("start"), {list()});
    downOpens(QStringLiteral("Down"), 1);
    clickInText(QStringLiteral("a click in the article's text"));
    click(column->tabButtons().value(1));
    ASSERT_TRUE(waitUntil([&] { return list() && list() != channelList(101) && showsEntry(pane, list(), 0); }, 30000));
    seen(QStringLiteral("a click on the second channel's tab"), {list()});
    downOpens(QStringLiteral("Down in the second channel"), 1);

    // A related article opened from the page keeps the keys in the page.
    clickInText(QStringLiteral("a click in the article's text before a related link"));
    const QString related = inPage(pane, QStringLiteral("document.querySelector('#related li').getAttribute('onclick')"))
                                .toString()
                                .remove(QRegularExpression(QStringLiteral("[^0-9]")));
    ASSERT_FALSE(related.isEmpty());
    clickInPage(pane, QStringLiteral("#related li a"));
    ASSERT_TRUE(waitUntil([&] { return shownGuid(pane) == related && pageIn(pane); }, 60000)) << "the link opened " << qPrintable(shownGuid(pane));
    seen(QStringLiteral("a click on a 相关文章 link"), {page});
    press(Qt::Key_Down);
    ASSERT_TRUE(drainMainQueue());
    EXPECT_EQ(shownGuid(pane), related) << "Down in the related article opened a list row";
    seen(QStringLiteral("Down in the related article"), {page});

    // Every Tab stop from the list round to it again; inside the page the engine moves the keys.
    clickEntry(list(), 2);
    seen(QStringLiteral("a click on row 3"), {list()});
    for (int stop = 1; stop <= 150 && (stop == 1 || !holds(list(), QApplication::focusWidget())); ++stop) {
        press(Qt::Key_Tab);
        if (holds(page, QApplication::focusWidget()))
            inPage(pane, QStringLiteral("0"));  // the engine has handled the Tab, and passed the keys on at the page's end
        seen(QStringLiteral("Tab stop %1").arg(stop), {list(), page}, true);
    }

    // The deals and back to the news.
    clickInText(QStringLiteral("a click in the article's text before the deals"));
    click(leftBar->hotProductItem());
    auto* deals = column->findChild<HotProductScrollView*>();
    ASSERT_TRUE(deals && waitUntil([&] { return deals->isVisible() && deals->listView()->model()->rowCount() > 0; }, 30000));
    seen(QStringLiteral("the deals icon"), {deals->listView(), page});
    click(leftBar->newsItem());
    seen(QStringLiteral("the news icon"), {list()});

    // The search window: a word, Return, Down to the first result, Escape.
    click(searchButton);
    auto* search = column->findChild<SearchNewsViewController*>();
    ASSERT_TRUE(search && waitUntil([&] { return search->window()->isVisible(); }));
    seen(QStringLiteral("搜索"), {search->searchBar()});
    type(QStringLiteral("手机"));
    press(Qt::Key_Return);
    QListView* results = search->searchResultTV();
    ASSERT_TRUE(waitUntil([&] { return results->isVisible() && results->model()->rowCount() > 1; }, 30000));
    seen(QStringLiteral("a word and Return in the search field"), {search->searchBar()});
    press(Qt::Key_Down);
    const QString first = results->model()->index(0, 0).data().toString();
    EXPECT_TRUE(waitUntil([&] { return pane->feed() && pane->feed()->title == first; })) << "Down did not open the first result";
    seen(QStringLiteral("Down in the search field"), {results});
    closeWithEscape(QStringLiteral("Escape in the search window"), search->window());

    // The comment page, the write-comment window with a login on the way, a post, the window again.
    clickInText(QStringLiteral("a click in the article's text before 评论"));
    click(pane->toolBar()->commentBtn);
    ASSERT_TRUE(waitUntil([&] { return comments() && comments()->isVisible(); }, 30000));
    seen(QStringLiteral("评论"), {comments(), list()});
    click(pane->toolBar()->writeCommentBtn);
    WriteCommentWD* writer = nullptr;
    ASSERT_TRUE(waitUntil([&] { return (writer = qobject_cast<WriteCommentWD*>(QApplication::activeWindow())) != nullptr; }));
    seen(QStringLiteral("写评论"), {writer->textBox()});
    type(QStringLiteral("路过看看 %1").arg(lastSeq(service())));
    click(writer->sendButton());
    UserLandWD* login = nullptr;
    ASSERT_TRUE(waitUntil([&] { return (login = qobject_cast<UserLandWD*>(QApplication::activeWindow())) != nullptr; }, 30000));
    seen(QStringLiteral("发表 before a login"), {login->accountField(), login->passwordField()});
    type(QStringLiteral("tidwen_demo"));
    press(Qt::Key_Tab);
    type(QStringLiteral("demo2026"));
    click(login->loginButton());
    ASSERT_TRUE(waitUntil([&] { return !login->isVisible(); }, 30000)) << qPrintable(login->statusText());
    seen(QStringLiteral("登录 from the write-comment window"), {writer->textBox()}, true);
    click(writer->sendButton());
    ASSERT_TRUE(waitUntil([&] { return !writer->isVisible(); }, 30000)) << qPrintable(writer->statusText());
    seen(QStringLiteral("发表 after the login"), {comments(), list()});
    click(pane->toolBar()->writeCommentBtn);
    ASSERT_TRUE(waitUntil([&] { return qobject_cast<WriteCommentWD*>(QApplication::activeWindow()) == writer; }));
    seen(QStringLiteral("写评论 after a post"), {writer->textBox()});
    closeWithEscape(QStringLiteral("Escape in the write-comment window"), writer);

    // The profile window, its password window, the login window after logging out.
    click(leftBar->HeadBtn());
    UserInfoWD* profile = nullptr;
    ASSERT_TRUE(waitUntil([&] { return (profile = qobject_cast<UserInfoWD*>(QApplication::activeWindow())) != nullptr; }));
    seen(QStringLiteral("the avatar while logged in"), {}, true);
    click(profile->modefyPwdButton());
    ASSERT_TRUE(waitUntil([&] { return qobject_cast<modefyPwdWD*>(QApplication::activeWindow()) != nullptr; }));
    seen(QStringLiteral("修改密码"), {profile->modefyPwd()->oldPasswordField()});
    press(Qt::Key_Escape);
    EXPECT_TRUE(waitUntil([&] { return !profile->modefyPwd()->isVisible(); })) << "the password window stays open";
    seen(QStringLiteral("Escape in the password window"), {}, true);
    click(profile->logOutButton());
    ASSERT_TRUE(waitUntil([&] { return !profile->isVisible(); }));
    seen(QStringLiteral("退出登录"), {list(), page, comments()});
    click(leftBar->HeadBtn());
    ASSERT_TRUE(waitUntil([&] { return (login = qobject_cast<UserLandWD*>(QApplication::activeWindow())) != nullptr; }));
    seen(QStringLiteral("the avatar while logged out"), {login->accountField(), login->passwordField()});
    closeWithEscape(QStringLiteral("Escape in the login window"), login);

    // A failed refresh leaves the open row where it was for the keys.
    click(column->tabButtons().value(0));
    ASSERT_TRUE(waitUntil([&] { return list() == channelList(101) && showsEntry(pane, list(), 0); }, 30000));
    seen(QStringLiteral("a click on the 最新 tab"), {list()});
    clickEntry(list(), 2);
    EXPECT_TRUE(waitUntil([&] { return showsEntry(pane, list(), 2); }));
    seen(QStringLiteral("a click on row 3 before a refresh"), {list()});
    ASSERT_TRUE(service().addFault(QStringLiteral("* api.tidwen.example /xml/newslist/news.xml 0 status:502")));
    Clock::advance(181 * 1000);
    const qint64 before = lastSeq(service());
    click(column->refreshButton());
    ASSERT_TRUE(waitUntil([&] {
        const QList<Request> served = requests(service(), before);
        return !list()->tableModel()->isLoading() &&
               std::any_of(served.cbegin(), served.cend(), [](const Request& r) { return r.status == 502; });
    }, 30000)) << qPrintable(describeRequests(service(), before));
    seen(QStringLiteral("a failed 刷新"), {list()});
    downOpens(QStringLiteral("Down after the failed 刷新"), 3);
}

}  // namespace road
