#include "comments/views/CommontView.h"

#include "comments/CommentPageBuilder.h"
#include "comments/CommentPageLoader.h"
#include "comments/CommentVoter.h"
#include "ui/controls/LoadStateOverlay.h"
#include "ui/hud/DJProgressHUD.h"
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
    : ProgramWebView(parent), m_loader(new CommentPageLoader(this)), m_voter(new CommentVoter(this)),
      m_loadState(new LoadStateOverlay(this, QStringLiteral("评论加载失败"), 50))
{
    // The title links to the article on the web site in a new window: that is the browser.
    setPage(new CommentWebPage(this));
    connect(m_loader, &CommentPageLoader::pageReady, this, &CommontView::showPage);
    connect(m_loader, &CommentPageLoader::commentChanged, this, &CommontView::replaceComment);
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

void CommontView::showPage(const QString& html)
{
    m_pageAddress = QUrl(QStringLiteral("about:blank#comments-%1").arg(++m_pagesPut));
    setHtml(html, m_pageAddress);
}

void CommontView::replaceComment(const QString& commentId, const QString& rowHtml)
{
    const QByteArray arguments =
        QJsonDocument(QJsonArray{m_pageAddress.toString(), commentId, rowHtml}).toJson(QJsonDocument::Compact);
    QPointer<CommontView> self(this);
    page()->runJavaScript(QStringLiteral("(function(page,id,html){if(location.href!==page)return 0;var n=0;"
                                         "document.querySelectorAll('#comments .comment').forEach(function(row){"
                                         "if(row.getAttribute('data-ci')===id){row.outerHTML=html;++n;}});return n;})"
                                         ".apply(null,%1);")
                              .arg(QString::fromUtf8(arguments)),
                          [self](const QVariant& replaced) {
                              // The last page put is not up yet, or holds no such row: it is put
                              // again as it stands now.
                              if (self && replaced.toInt() == 0)
                                  self->showPage(self->m_loader->html());
                          });
}

bool CommontView::offersLinkAddress(const QUrl& link) const
{
    return !CommentPageBuilder::voteLinkFrom(link) && ProgramWebView::offersLinkAddress(link);
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
    switch (state) {
    case CommentPageLoader::PageState::Loading:
        m_loadState->showLoading();
        break;
    case CommentPageLoader::PageState::Failed:
        m_loadState->showFailure([this] { refreshComment(true); });
        break;
    case CommentPageLoader::PageState::Shown:
        m_loadState->clear();
        break;
    }
}

void CommontView::tips(const QString& text)
{
    DJProgressHUD::showToast(text, this);
}
