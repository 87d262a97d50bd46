#pragma once

// The seams installProgramWiring fills, put back as they were when a test that ran the wiring
// ends, so the tests after it see the process as it was.

#include "account/AccountShell.h"
#include "app/settings/SettingsModel.h"
#include "app/views/AccountWindows.h"
#include "app/views/PaneFactory.h"
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

#include <QScopeGuard>

inline auto restoreProgramSeams()
{
    auto urlOpener = UrlOpener::shared();
    auto presenter = CommonFunction::setAlertPresenter(nullptr);
    CommonFunction::setAlertPresenter(presenter);
    auto appearance = AppearanceSource::current();
    return qScopeGuard([=] {
        UrlOpener::install(urlOpener);
        CommonFunction::setAlertPresenter(presenter);
        AppearanceSource::setCurrent(appearance);
        PaneFactory::install(nullptr);
        AccountWindowFactory::install(nullptr);
        AccountShell::install(nullptr);
        ArticlePaneLink::install(nullptr);
        PushNewsFlag::install(nullptr);
        ArticleAppDelegate::install(nullptr);
        ArticleNeighbours::install(nullptr);
        CommentsShell::install(nullptr);
        DealPageBlocks::install(nullptr);
        SettingsContext::install(nullptr);
        ListADGoldCoinTask::install(nullptr);
        ListColumnNeighbours::installHotCommentListMaker(nullptr);
        ListColumnNeighbours::installDealsViewMaker(nullptr);
    });
}

