#include "app/wiring/PaneAccess.h"

#include "app/AppDelegate.h"
#include "app/views/MainSplitViewController.h"
#include "app/views/MainViewController.h"
#include "app/views/MainWindowController.h"
#include "article/ArticlePane.h"
#include "article/views/RightViewController.h"

#include <QPointer>

void withRightPane(std::function<void(RightViewController&)> work)
{
    AppDelegate* delegate = AppDelegate::shared();
    if (delegate == nullptr || !work)
        return;
    // The list column is made inside the main window, and a cached list selects its row at once,
    // before the detail pane beside it exists.
    delegate->afterFirstScreen([work = std::move(work)] {
        AppDelegate* delegate = AppDelegate::shared();
        if (delegate == nullptr)
            return;
        delegate->afterMainWindow([work](MainWindowHost& host) {
            auto* window = dynamic_cast<MainWindowController*>(&host);
            auto* pane = window != nullptr
                             ? qobject_cast<RightViewController*>(window->MainVC()->MainSplitVC()->RightViewController())
                             : nullptr;
            if (pane != nullptr)
                work(*pane);
        });
    });
}

void followThePane(QObject* list, std::function<void(const QString& newsId)> article,
                   std::function<void(const QString& productId)> deal)
{
    withRightPane([list = QPointer<QObject>(list), article, deal](RightViewController& pane) {
        if (!list)
            return;
        QObject::connect(pane.pane(), &ArticlePane::articleShown, list, article);
        QObject::connect(&pane, &RightViewController::dealShown, list, deal);
    });
}

void followShownArticles(QObject* list, std::function<void(const QString& newsId)> article)
{
    followThePane(list, article, [article](const QString&) { article(QString()); });
}
