#include "AppTestSupport.h"
#include "ProgramSeams.h"
#include "PushTestSupport.h"

#include "account/AccountShell.h"
#include "app/settings/SettingsModel.h"
#include "app/views/AccountWindows.h"
#include "app/views/PaneFactory.h"
#include "app/wiring/ProgramWiring.h"
#include "article/ArticleServices.h"
#include "article/views/ArticleNeighbours.h"
#include "comments/CommentsShell.h"
#include "deals/DealPageBlocks.h"
#include "foundation/CommonFunction.h"
#include "newslist/NewsListLinks.h"
#include "newslist/views/ChannelListView.h"
#include "platform/AppearanceSource.h"
#include "platform/UrlOpener.h"
#include "remoteconfig/ListADGoldCoinTask.h"

#include <QWidget>

#include <functional>
#include <typeinfo>

namespace {

// The type a slot with a built-in stand-in holds when nobody installed anything.
template <class T>
const std::type_info& defaultTypeOf()
{
    const std::shared_ptr<T> previous = T::installed();
    T::install(nullptr);
    const std::type_info& type = typeid(*T::installed());
    T::install(previous);
    return type;
}

struct Slot
{
    const char* name;
    std::function<bool()> filled;
};

// Every seam through which one folder reaches the implementation of another, as it stands after
// the program's wiring ran: a slot left empty (or holding its do-nothing default) is a view or an
// action that only a test could make work.
std::vector<Slot> programSlots(const AppDelegate& delegate, const std::type_info& defaultNeighbours,
                               const std::type_info& defaultArticleDelegate)
{
    return {
        {"UrlOpener", [] { return UrlOpener::shared() != nullptr; }},
        {"CommonFunction alert presenter", [] {
             const auto presenter = CommonFunction::setAlertPresenter(nullptr);
             CommonFunction::setAlertPresenter(presenter);
             return presenter != nullptr;
         }},
        {"AppearanceSource", [] { return AppearanceSource::current() != nullptr; }},
        {"PushService", [] { return PushService::shared() != nullptr; }},
        {"PaneFactory", [] { return PaneFactory::installed() != nullptr; }},
        {"AccountWindowFactory", [] { return AccountWindowFactory::installed() != nullptr; }},
        {"AccountShell", [] { return AccountShell::installed() != nullptr; }},
        {"ArticlePaneLink", [] { return ArticlePaneLink::installed() != nullptr; }},
        {"PushNewsFlag", [] { return PushNewsFlag::installed() != nullptr; }},
        {"ListADManagerLink", [] { return ListADManagerLink::installed() != nullptr; }},
        {"CommentsShell", [] { return CommentsShell::installed() != nullptr; }},
        {"DealPageBlocks", [] { return DealPageBlocks::installed() != nullptr; }},
        {"ListADGoldCoinTask", [] { return ListADGoldCoinTask::installed() != nullptr; }},
        {"ArticleAppDelegate (not the nobody-logged-in default)",
         [&] { return typeid(*ArticleAppDelegate::installed()) != defaultArticleDelegate; }},
        {"ArticleNeighbours (not the show-nothing default)",
         [&] { return typeid(*ArticleNeighbours::installed()) != defaultNeighbours; }},
        {"SettingsContext", [] {
             const auto context = SettingsContext::installed();
             return context && context->currentUser && context->downloadUserRemindCount && context->postShowDevice
                 && context->setReminderDotVisible;
         }},
        {"ListColumnNeighbours hot-comment list maker", [] { return bool(ListColumnNeighbours::hotCommentListMaker()); }},
        {"ListColumnNeighbours deals view maker", [] { return bool(ListColumnNeighbours::dealsViewMaker()); }},
        {"AppDelegate remote configuration", [&] { return delegate.remoteConfigurationService() != nullptr; }},
        {"AppDelegate automatic login", [&] { return delegate.automaticLoginService() != nullptr; }},
        {"AppDelegate main window factory", [&] { return delegate.mainWindowFactory() != nullptr; }},
        {"AppDelegate URL cache installer", [&] { return delegate.urlCacheInstaller() != nullptr; }},
        {"AppDelegate launch reporter", [&] { return delegate.launchReporter() != nullptr; }},
        {"AppDelegate location lookup", [&] { return delegate.locationLookup() != nullptr; }},
        {"AppDelegate push payload router", [&] { return delegate.pushPayloadRouter() != nullptr; }},
        {"AppDelegate push handler", [&] { return delegate.pushHandler() != nullptr; }},
    };
}

}  // namespace

// The wiring main.cpp runs fills every slot a view or a lower folder asks for.
TEST(ProgramWiringSlots, EverySlotIsFilledByTheProgramsOwnWiring)
{
    auto restore = restoreProcessState();
    auto restoreAll = restoreProgramSeams();
    const std::type_info& defaultNeighbours = defaultTypeOf<ArticleNeighbours>();
    const std::type_info& defaultArticleDelegate = defaultTypeOf<ArticleAppDelegate>();
    AppDelegate delegate;
    installProgramWiring(delegate);

    QStringList empty;
    for (const Slot& slot : programSlots(delegate, defaultNeighbours, defaultArticleDelegate)) {
        if (!slot.filled())
            empty.append(QString::fromLatin1(slot.name));
    }
    EXPECT_TRUE(empty.isEmpty()) << "slots left empty by installProgramWiring: " << empty.join(QStringLiteral(", ")).toStdString();
}

// The list column's two makers give the views the column shows: channel 153's list is a
// hot-comment list and the deals column has a widget to show.
TEST(ProgramWiringSlots, TheListColumnMakersGiveTheirViews)
{
    auto restore = restoreProcessState();
    auto restoreAll = restoreProgramSeams();
    AppDelegate delegate;
    installProgramWiring(delegate);

    QWidget column;
    NewsListData channel;
    channel.iListID = 153;
    ASSERT_TRUE(ListColumnNeighbours::hotCommentListMaker());
    ChannelListView* list = ListColumnNeighbours::hotCommentListMaker()(channel, &column);
    ASSERT_NE(list, nullptr);
    EXPECT_TRUE(list->isHotCommentList());
    EXPECT_EQ(list->newslistData().iListID, 153);
    EXPECT_EQ(list->listWidget()->parentWidget(), &column);

    ASSERT_TRUE(ListColumnNeighbours::dealsViewMaker());
    DealsColumnView* deals = ListColumnNeighbours::dealsViewMaker()(&column);
    ASSERT_NE(deals, nullptr);
    EXPECT_EQ(deals->dealsWidget()->parentWidget(), &column);
}

// The pane's deal page is the deals folder's: back's removal of the deal it leaves reaches the
// page's own list of shown deals.
TEST(ProgramWiringSlots, ThePanesDealPageDropsTheDealBackLeaves)
{
    auto restore = restoreProcessState();
    auto restoreAll = restoreProgramSeams();
    ShellServer shell;
    shell.pointUrls({{39, QStringLiteral("/api/apps/detail")}, {54, QStringLiteral("/api/apps/douzaimai")}});
    if (::testing::Test::HasFatalFailure())
        return;
    AppDelegate delegate;
    installProgramWiring(delegate);

    QWidget pane;
    const std::unique_ptr<ArticleDealPage> page = ArticleNeighbours::instance()->makeDealPage(&pane);
    ASSERT_NE(page, nullptr);
    ASSERT_NE(page->widget(), nullptr);
    for (const char* id : {"11", "12", "11", "12"})
        page->show(QString::fromLatin1(id), true);
    EXPECT_EQ(page->recordHot(), (QStringList{QStringLiteral("11"), QStringLiteral("12"), QStringLiteral("11"), QStringLiteral("12")}));
    page->removeRecordHot(QStringLiteral("12"));
    EXPECT_EQ(page->recordHot(), (QStringList{QStringLiteral("11"), QStringLiteral("11")}));
    EXPECT_EQ(page->productModel()->pro_productid, QStringLiteral("12"));
}
