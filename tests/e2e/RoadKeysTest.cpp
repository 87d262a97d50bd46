// The keys along the reader's road: real clicks and key presses through the main window, the
// article, the deals, the search, the comment and the account windows. After every step the
// widget holding the keys must be on screen, and be the list, the field or the page the reader
// expects there, or (where any control may have them) show that it has them.

#include "RoadFixture.h"

#include "ScopeGuard.h"
#include "TestEnvironment.h"
#include "WebClick.h"
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

template <class Window>
bool active(Window*& window)
{
    return (window = qobject_cast<Window*>(QApplication::activeWindow())) != nullptr;
}

enum Flags { StopIfMissed = 0, GoOnIfMissed = 1, OrMarkedControl = 2 };
struct Step
{
    const char* name;
    std::function<void()> act;
    std::function<bool()> outcome;
    std::function<QList<QWidget*>()> places;  // none: any control that is seen and shows the keys
    int flags = StopIfMissed;
    int timeoutMs = 30000;
};

void clickEntry(CenterTableView* list, qsizetype entry)
{
    const QModelIndex index = list->model()->index(rowOfEntry(list, entry), 0);
    list->scrollTo(index);
    click(list->viewport(), list->visualRect(index).center());
}

bool showsEntry(const RightViewController* pane, CenterTableView* list, qsizetype entry)
{
    const NewsListEntries& entries = list->tableModel()->newsListArray();
    return entry < entries.size() && feedOf(entries.at(entry)) && feedOf(entries.at(entry))->guid == shownGuid(pane);
}

bool pageIn(const RightViewController* pane)
{
    return pane->feed() && pane->webView()->isVisible() &&
           articleScript(pane, QStringLiteral("(document.querySelector('h1')||{}).innerText")).toString() == pane->feed()->title &&
           articleScript(pane, QStringLiteral("document.querySelectorAll('#related li').length")).toInt() > 0;
}

void clickInPage(const RightViewController* pane, const QString& selector)
{
    ASSERT_TRUE(waitUntil([&] { return pageIn(pane); }, 60000)) << "waited for the article page";
    const std::optional<QPointF> at = elementCentre(pane->webView(), selector);
    ASSERT_TRUE(at) << "no " << qPrintable(selector) << " in the page";
    click(pane->webView()->focusProxy(), (*at * pane->webView()->page()->zoomFactor()).toPoint());
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
    QWidget* page = pane->webView();
    const auto list = [column] { return column->currentTableV(); };
    const auto comments = [pane] { return static_cast<QWidget*>(pane->findChild<CommontView*>()); };
    // When the active window closes, the window manager activates the one active before it (the
    // main window stays at the bottom of that pile).
    QList<QPointer<QWindow>> used{mainWindow()->windowHandle()};
    const QObject watch;
    QObject::connect(qApp, &QGuiApplication::focusWindowChanged, &watch, [&](QWindow* window) { used.append(window); });
    const auto seen = [&](const QString& step, const QList<QWidget*>& places, bool orMarkedControl) {
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
    const auto walk = [&](const std::vector<Step>& steps) {
        for (const Step& step : steps) {
            const qint64 before = lastSeq(service());
            if (step.act)
                step.act();
            if (!waitUntil(step.outcome, step.timeoutMs)) {
                ADD_FAILURE() << step.name << ": what the step brings did not come; the pane shows " << qPrintable(shownGuid(pane))
                              << ", after the requests\n" << qPrintable(describeRequests(service(), before));
                if (!(step.flags & GoOnIfMissed))
                    return false;
            }
            seen(QString::fromUtf8(step.name), step.places ? step.places() : QList<QWidget*>(), step.flags & OrMarkedControl);
        }
        return true;
    };
    const auto key = [](Qt::Key key) { return [key] { press(key); }; };
    const auto opened = [&](qsizetype entry) { return [&, entry] { return showsEntry(pane, list(), entry); }; };
    const auto always = [] { return true; };
    const auto inList = [&] { return QList<QWidget*>{list()}; };
    const auto inPage = [&] { return QList<QWidget*>{page}; };
    const auto behind = [&] { return QList<QWidget*>{list(), page, comments()}; };
    const auto clickInText = [&] { clickInPage(pane, QStringLiteral("h1")); };
    const auto onChannel = [&](int64_t id, bool is) { return [&, id, is] { return list() && (list() == channelList(id)) == is && showsEntry(pane, list(), 0); }; };

    ASSERT_TRUE(QTest::qWaitForWindowActive(mainWindow()));
    QString related;
    ASSERT_TRUE(walk({
        {"start", nullptr, onChannel(101, true), inList},
        {"Down", key(Qt::Key_Down), opened(1), inList, GoOnIfMissed},
        {"a click in the article's text", clickInText, always, inPage},
        {"a click on the second channel's tab", [&] { click(column->tabButtons().value(1)); }, onChannel(101, false), inList},
        {"Down in the second channel", key(Qt::Key_Down), opened(1), inList, GoOnIfMissed},
        // A related article opened from the page keeps the keys in the page, also after a Down.
        {"a click in the article's text before a related link", clickInText, always, inPage},
        {"a click on a 相关文章 link", [&] {
             related = articleScript(pane, QStringLiteral("document.querySelector('#related li').getAttribute('onclick')")).toString().remove(QRegularExpression(QStringLiteral("[^0-9]")));
             clickInPage(pane, QStringLiteral("#related li a"));
         }, [&] { return !related.isEmpty() && shownGuid(pane) == related && pageIn(pane); }, inPage, StopIfMissed, 60000},
        {"Down in the related article", key(Qt::Key_Down), [&] { return drainMainQueue() && shownGuid(pane) == related; }, inPage, GoOnIfMissed},
        {"a click on row 3", [&] { clickEntry(list(), 2); }, always, inList},
    }));

    // Every Tab stop from the list round to it again; inside the page the engine moves the keys.
    for (int stop = 1; stop <= 150 && (stop == 1 || !holds(list(), QApplication::focusWidget())); ++stop) {
        press(Qt::Key_Tab);
        if (holds(page, QApplication::focusWidget()))
            articleScript(pane, QStringLiteral("0"));  // the engine has handled the Tab, and passed the keys on at the page's end
        seen(QStringLiteral("Tab stop %1").arg(stop), {list(), page}, true);
    }

    HotProductScrollView* deals = nullptr;
    SearchNewsViewController* search = nullptr;
    const auto results = [&] { return search->searchResultTV(); };
    WriteCommentWD* writer = nullptr;
    UserLandWD* login = nullptr;
    UserInfoWD* profile = nullptr;
    modefyPwdWD* password = nullptr;
    qint64 beforeRefresh = 0;
    ASSERT_TRUE(walk({
        {"a click in the article's text before the deals", clickInText, always, inPage},
        {"the deals icon", [&] { click(leftBar->hotProductItem()); },
         [&] { return (deals = column->findChild<HotProductScrollView*>()) && deals->isVisible() && deals->listView()->model()->rowCount() > 0; },
         [&] { return QList<QWidget*>{deals->listView(), page}; }},
        {"the news icon", [&] { click(leftBar->newsItem()); }, always, inList},
        {"搜索", [&] {
             for (CustomButton* button : column->findChildren<CustomButton*>()) {
                 if (button->imageName() == QStringLiteral("TOPSearch"))
                     click(button);
             }
         }, [&] { return (search = column->findChild<SearchNewsViewController*>()) && search->window()->isVisible(); },
         [&] { return QList<QWidget*>{search->searchBar()}; }},
        {"a word and Return in the search field", [&] { type(QStringLiteral("手机")), press(Qt::Key_Return); },
         [&] { return results()->isVisible() && results()->model()->rowCount() > 1; }, [&] { return QList<QWidget*>{search->searchBar()}; }},
        {"Down in the search field", key(Qt::Key_Down),
         [&] { return pane->feed() && pane->feed()->title == results()->model()->index(0, 0).data().toString(); },
         [&] { return QList<QWidget*>{results()}; }, GoOnIfMissed},
        {"Escape in the search window", key(Qt::Key_Escape), [&] { return !search->window()->isVisible(); }, behind, GoOnIfMissed},
        {"a click in the article's text before 评论", clickInText, always, inPage},
        {"评论", [&] { click(pane->toolBar()->commentBtn); }, [&] { return comments() && comments()->isVisible(); },
         [&] { return QList<QWidget*>{comments(), list()}; }},
        {"写评论", [&] { click(pane->toolBar()->writeCommentBtn); }, [&] { return active(writer); }, [&] { return QList<QWidget*>{writer->textBox()}; }},
        {"发表 before a login", [&] { type(QStringLiteral("路过看看 %1").arg(lastSeq(service()))), click(writer->sendButton()); },
         [&] { return active(login); }, [&] { return QList<QWidget*>{login->accountField(), login->passwordField()}; }},
        {"登录 from the write-comment window", [&] {
             type(QStringLiteral("tidwen_demo")), press(Qt::Key_Tab), type(QStringLiteral("demo2026")), click(login->loginButton());
         }, [&] { return !login->isVisible(); }, [&] { return QList<QWidget*>{writer->textBox()}; }, OrMarkedControl},
        {"发表 after the login", [&] { click(writer->sendButton()); }, [&] { return !writer->isVisible(); },
         [&] { return QList<QWidget*>{comments(), list()}; }},
        {"写评论 after a post", [&] { click(pane->toolBar()->writeCommentBtn); },
         [&] { return QApplication::activeWindow() == writer; }, [&] { return QList<QWidget*>{writer->textBox()}; }},
        {"Escape in the write-comment window", key(Qt::Key_Escape), [&] { return !writer->isVisible(); }, behind, GoOnIfMissed},
        {"the avatar while logged in", [&] { click(leftBar->HeadBtn()); }, [&] { return active(profile); }, nullptr, OrMarkedControl},
        {"修改密码", [&] { click(profile->modefyPwdButton()); }, [&] { return active(password); },
         [&] { return QList<QWidget*>{password->oldPasswordField()}; }},
        {"Escape in the password window", key(Qt::Key_Escape), [&] { return !password->isVisible(); }, nullptr, GoOnIfMissed | OrMarkedControl},
        {"退出登录", [&] { click(profile->logOutButton()); }, [&] { return !profile->isVisible(); }, behind},
        {"the avatar while logged out", [&] { click(leftBar->HeadBtn()); }, [&] { return active(login); },
         [&] { return QList<QWidget*>{login->accountField(), login->passwordField()}; }},
        {"Escape in the login window", key(Qt::Key_Escape), [&] { return !login->isVisible(); }, behind, GoOnIfMissed},
        // A failed refresh leaves the open row where it was for the keys.
        {"a click on the 最新 tab", [&] { click(column->tabButtons().value(0)); }, onChannel(101, true), inList},
        {"a click on row 3 before a refresh", [&] { clickEntry(list(), 2); }, opened(2), inList, GoOnIfMissed},
        {"a failed 刷新", [&] {
             ASSERT_TRUE(service().addFault(QStringLiteral("* api.tidwen.example /xml/newslist/news.xml 0 status:502")));
             Clock::advance(181 * 1000);
             beforeRefresh = lastSeq(service());
             click(column->refreshButton());
         }, [&] {
             const QList<Request> served = requests(service(), beforeRefresh);
             return !list()->tableModel()->isLoading() && std::any_of(served.cbegin(), served.cend(), [](const Request& r) { return r.status == 502; });
         }, inList},
        {"Down after the failed 刷新", key(Qt::Key_Down), opened(3), inList, GoOnIfMissed},
    }));
}

}  // namespace road
