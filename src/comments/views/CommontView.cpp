#include "comments/views/CommontView.h"

#include "comments/CommentPageBuilder.h"
#include "comments/CommentPageLoader.h"
#include "comments/CommentVoter.h"
#include "ui/web/BrowserLinksPage.h"

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
    connect(m_voter, &CommentVoter::voteFinished, this,
            [this](const QString& commentId, int64_t type, bool zhiChi, bool ok) {
                if (ok)
                    m_loader->applyVote(commentId, type, zhiChi);
            });
    connect(this, &QWebEngineView::loadFinished, this, &CommontView::commentPageShown);
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
