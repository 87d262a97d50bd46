#include "app/wiring/DealsWiring.h"

#include "app/wiring/PaneAccess.h"
#include "article/ArticlePane.h"
#include "article/views/ArticleNeighbours.h"
#include "article/views/RightViewController.h"
#include "comments/views/HotCommntTableViewController.h"
#include "deals/views/HotProductScrollView.h"
#include "deals/views/HotProductWebView.h"
#include "newslist/NewsListLinks.h"
#include "newslist/views/ChannelListView.h"
#include "newslist/views/SlideView.h"

#include <QPointer>
#include <QVBoxLayout>

namespace {

// Puts the view into the holder, filling it.
void fill(QWidget* holder, QWidget* view)
{
    auto* layout = new QVBoxLayout(holder);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(view);
}

// The deals view as the list column's deals column; a chosen deal opens in the detail pane. The
// column parents and owns this widget, and the view with it.
class DealsColumn : public QWidget, public DealsColumnView
{
public:
    explicit DealsColumn(QWidget* parent) : QWidget(parent), m_view(HotProductScrollView::init(this))
    {
        fill(this, m_view);
        connect(m_view, &HotProductScrollView::dealChosen, this, &DealsColumn::openDeal);
        // The whole list's first row is the focus-slide strip of the news lists.
        m_view->setSlideStripMaker([](const QList<slideDataPtr>& slides) { return new SlideView(slides); });
        followThePane(
            m_view, [view = m_view](const QString&) { view->setOpenDeal(QString()); },
            [view = m_view](const QString& productId) { view->setOpenDeal(productId); });
    }
    QWidget* dealsWidget() override { return this; }
    void showLastSelectedIndex() override { m_view->showLastSelectedIndex(); }

private:
    // As a news row's click: the pane's back history starts again with this deal, so deals
    // opened from its page go back to it and then no further. A deal chosen before the pane
    // exists opens once it does.
    static void openDeal(const QString& productId)
    {
        withRightPane([productId](RightViewController& pane) {
            pane.recordNewsAndHot().clear();
            pane.pane()->openHot(productId);
            pane.setBackButtonVisible(pane.recordNewsAndHot().size() > 1);
        });
    }

    HotProductScrollView* m_view;
};

// The hot-comment list as channel 153's list; a row opens its article in the detail pane.
class HotCommentList : public QWidget, public ChannelListView
{
public:
    HotCommentList(const NewsListData& channel, QWidget* parent)
        : QWidget(parent),
          m_view(HotCommntTableViewController::initWithNewsListData(std::make_shared<NewsListData>(channel), this))
    {
        fill(this, m_view);
        connect(m_view, &HotCommntTableViewController::hotCommentChosen, this,
                [](const QString& newsId, const QString& title) {
                    const auto pane = ArticlePaneLink::installed();
                    if (!pane || newsId.isEmpty() || newsId == QLatin1String("0"))
                        return;
                    auto feed = std::make_shared<Feed>();
                    feed->guid = newsId;
                    feed->title = title;
                    // As a news row's click: the back history starts again with this article.
                    pane->emptyRecordNewsAndHot();
                    pane->show(feed);
                });
        followShownArticles(m_view, [view = m_view](const QString& newsId) { view->articleShown(newsId); });
    }
    QWidget* listWidget() override { return this; }
    const NewsListData& newslistData() const override { return *m_view->newslistData(); }
    void showByClick(bool byClick) override { m_view->showByClick(byClick); }
    bool isHotCommentList() const override { return true; }

private:
    HotCommntTableViewController* m_view;
};

class DealPage : public ArticleDealPage
{
public:
    explicit DealPage(QWidget* parent) : m_view(new HotProductWebView(parent))
    {
        // A deal chosen on the deal page goes into the pane's back history like one chosen on an
        // article page.
        QPointer<RightViewController> pane = qobject_cast<RightViewController*>(parent);
        QObject::connect(m_view, &HotProductWebView::clickDouZaiMai, m_view, [pane](const QString& productId) {
            if (pane)
                pane->pane()->openHot(productId);
        });
    }
    QWidget* widget() override { return m_view; }
    void show(const QString& productId, bool byClick) override
    {
        if (m_view)
            m_view->show(productId, byClick);
    }
    void runScript(const QString& script) override
    {
        if (m_view)
            m_view->page()->runJavaScript(script);
    }
    QStringList recordHot() const override { return m_view ? m_view->recordHot() : QStringList(); }
    void removeRecordHot(const QString& productId) override
    {
        if (m_view)
            m_view->removeRecordHot(productId);
    }
    HotProductModelPtr productModel() const override { return m_view ? m_view->productModel() : nullptr; }

private:
    QPointer<HotProductWebView> m_view;
};

}  // namespace

std::unique_ptr<ArticleDealPage> makeProgramDealPage(QWidget* parent)
{
    return std::make_unique<DealPage>(parent);
}

void installDealsWiring()
{
    ListColumnNeighbours::installDealsViewMaker([](QWidget* parent) -> DealsColumnView* { return new DealsColumn(parent); });
    ListColumnNeighbours::installHotCommentListMaker([](const NewsListData& channel, QWidget* parent) -> ChannelListView* {
        return new HotCommentList(channel, parent);
    });
}
