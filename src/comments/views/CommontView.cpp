#include "comments/views/CommontView.h"

#include "comments/CommentPageBuilder.h"
#include "comments/CommentPageLoader.h"
#include "comments/CommentVoter.h"
#include "foundation/GlobalValues.h"
#include "platform/Dispatch.h"
#include "ui/controls/DDErrorView.h"
#include "ui/hud/DJActivityIndicator.h"
#include "ui/hud/DJProgressHUD.h"
#include "ui/web/BrowserLinksPage.h"

#include <QChildEvent>
#include <QJsonArray>
#include <QJsonDocument>
#include <QPointer>
#include <QWebEnginePage>

namespace {

// The comment page: its vote links go to the view instead of being loaded.
class CommentWebPage : public BrowserLinksPage
{
public:
    explicit CommentWebPage(CommontView* view) : BrowserLinksPage(view), m_view(view) {}

protected:
    bool acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame) override
    {
        if (const auto vote = CommentPageBuilder::voteLinkFrom(url)) {
            if (m_view && type == NavigationTypeLinkClicked)
                m_view->commentVoteCommentId(vote->commentId, vote->type, false, vote->zhiChi);
            return false;
        }
        return BrowserLinksPage::acceptNavigationRequest(url, type, isMainFrame);
    }

private:
    QPointer<CommontView> m_view;
};

}  // namespace

CommontView::CommontView(QWidget* parent)
    : QWebEngineView(parent), m_loader(new CommentPageLoader(this)), m_voter(new CommentVoter(this))
{
    // The title links to the article on the web site in a new window: that is the browser.
    setPage(new CommentWebPage(this));
    connect(m_loader, &CommentPageLoader::pageReady, this, [this](const QString& html) { setHtml(html); });
    connect(m_loader, &CommentPageLoader::pageStateChanged, this, &CommontView::showPageState);
    connect(m_loader, &CommentPageLoader::refreshFailed, this, [this] { tips(QStringLiteral("评论加载失败")); });
    connect(m_voter, &CommentVoter::voteFinished, this, &CommontView::voteFinished);
}

CommontView::~CommontView() = default;

void CommontView::openNewsComment(const QString& newsId, const QString& newsTitle, const QString& newsLink)
{
    m_loader->openNewsComment(newsId, newsTitle, newsLink);
}

void CommontView::refreshComment(bool userAsked)
{
    m_loader->refreshComment(userAsked);
}

void CommontView::SetFontFamily(const QString& family)
{
    // The name travels as a JSON string literal, so quotes in it cannot end the call.
    const QByteArray argument = QJsonDocument(QJsonArray{family}).toJson(QJsonDocument::Compact);
    page()->runJavaScript(QStringLiteral("SetFontFamily.apply(null, %1);").arg(QString::fromUtf8(argument)));
}

void CommontView::commentVoteCommentId(const QString& commentId, int64_t type, bool hot, bool zhiChi)
{
    m_voter->commentVoteCommentId(commentId, type, hot, zhiChi);
}

void CommontView::voteFinished(const QString& commentId, int64_t type, bool zhiChi, CommentVoter::Outcome outcome)
{
    switch (outcome) {
    case CommentVoter::Outcome::Stored:
        m_loader->applyVote(commentId, type, zhiChi);
        break;
    case CommentVoter::Outcome::Pending:
        tips(QStringLiteral("正在投票..."));
        break;
    case CommentVoter::Outcome::Failed:
        tips(QStringLiteral("投票失败，请稍后再试"));
        break;
    case CommentVoter::Outcome::Refused:
        // The page offers no such link: a stale page's click, which the next build corrects.
        break;
    }
}

void CommontView::showPageState(CommentPageLoader::PageState state)
{
    const bool loading = state == CommentPageLoader::PageState::Loading;
    if (loading && !m_spinner) {
        m_spinner = new DJActivityIndicator(this);
        m_spinner->resize(50, 50);
    }
    if (m_spinner) {
        m_spinner->move((width() - m_spinner->width()) / 2, (height() - m_spinner->height()) / 2);
        m_spinner->setVisible(loading);
        if (loading) {
            raiseOverlays();
            m_spinner->startAnimation();
        } else {
            m_spinner->stopAnimation();
        }
    }

    const bool failed = state == CommentPageLoader::PageState::Failed;
    if (failed && !m_errorView) {
        m_errorView = new DDErrorView(rect(), this);
        m_errorView->setTitle(QStringLiteral("评论加载失败"));
        m_errorView->setSubtitle(QStringLiteral("点击刷新按钮重新加载"));
        m_errorView->addReloadButton();
        m_errorView->reloadButton()->addTarget(this, std::function<void()>([this] { refreshComment(true); }));
    }
    if (!m_errorView)
        return;
    if (failed) {
        m_errorView->setGeometry(rect());
        m_errorView->fitColor(gThemeMode.load());
        raiseOverlays();
    }
    m_errorView->setVisible(failed);
}

void CommontView::resizeEvent(QResizeEvent* event)
{
    QWebEngineView::resizeEvent(event);
    if (m_spinner)
        m_spinner->move((width() - m_spinner->width()) / 2, (height() - m_spinner->height()) / 2);
    if (m_errorView)
        m_errorView->setGeometry(rect());
}

void CommontView::childEvent(QChildEvent* event)
{
    QWebEngineView::childEvent(event);
    // The web engine adds the widget it draws the page in when a page first loads, over
    // everything before it: the spinner and the error view go back on top. (Children come while
    // the view is still being made, so the overlays are looked at later.)
    if (event->added() && event->child()->isWidgetType())
        QMetaObject::invokeMethod(this, &CommontView::raiseOverlays, Qt::QueuedConnection);
}

void CommontView::raiseOverlays()
{
    if (m_spinner)
        m_spinner->raise();
    if (m_errorView)
        m_errorView->raise();
    // A toast stays over all of them.
    if (QWidget* hud = DJProgressHUD::instance()->hudView(); hud && hud->parentWidget() == this)
        hud->raise();
}

void CommontView::tips(const QString& text)
{
    DJProgressHUD::showMessage(text, this);
    dispatch::after(1000, [] { DJProgressHUD::dismiss(); });
}
