#include "article/views/popovers/ShareViewController.h"

#include "database/ServerUrls.h"
#include "foundation/CommonFunction.h"
#include "platform/UrlOpener.h"
#include "ui/controls/CustomButton.h"
#include "ui/layout/MASAdditions.h"

#include <QClipboard>
#include <QDebug>
#include <QGuiApplication>

using namespace MASAdditions;

namespace {

constexpr int kPopoverWidth = 150;
constexpr int kButtonHeight = 30;
constexpr int kGap = 8;
constexpr int kPopoverHeight = 3 * kButtonHeight + 4 * kGap;

QUrl sharePage(const char* host, const char* path, const QString& query)
{
    QUrl page;
    page.setScheme(QString::fromLatin1(ShareHosts::kScheme));
    page.setHost(QString::fromLatin1(host));
    page.setPath(QString::fromLatin1(path));
    // Tolerant: the values are escaped already, and a readable address may still hold a space or
    // a non-ASCII letter, which the address then carries escaped.
    page.setQuery(query, QUrl::TolerantMode);
    return page;
}

// The address as a query value that stays readable, but whose "&" and "#" can no longer end the
// value early and drop the rest of the address (and the title after it).
QString readableQueryValue(QString address)
{
    address.replace(QLatin1Char('%'), QLatin1String("%25"));
    address.replace(QLatin1Char('&'), QLatin1String("%26"));
    address.replace(QLatin1Char('#'), QLatin1String("%23"));
    return address;
}

}  // namespace

ShareViewController::ShareViewController(const QString& url, const QString& title, const QString& summary,
                                         QWidget* parent)
    : QWidget(parent), m_Purl(url), m_Ptitle(title), m_Psummary(summary)
{
    resize(kPopoverWidth, kPopoverHeight);
    setMinimumSize(kPopoverWidth, kPopoverHeight);

    const auto make = [this](const QString& title, const QString& name, void (ShareViewController::*action)()) {
        CustomButton* button = CustomButton::initWithTitle(title, this);
        button->setObjectName(name);
        button->addTarget(this, action);
        return button;
    };
    m_sinaButton = make(QStringLiteral("分享到新浪微博"), QStringLiteral("shareSina"), &ShareViewController::shareSina);
    m_qqZoneButton = make(QStringLiteral("分享到QQ空间"), QStringLiteral("shareQQZone"), &ShareViewController::shareQQZone);
    m_copyButton = make(QStringLiteral("复制文章链接"), QStringLiteral("shareUrl"), &ShareViewController::shareUrl);

    QWidget* above = nullptr;
    for (CustomButton* button : {m_sinaButton, m_qqZoneButton, m_copyButton}) {
        mas_makeConstraints(button, [this, above](MASConstraintMaker& make) {
            make.left().equalTo(mas_left(this)).offset(kGap);
            make.right().equalTo(mas_right(this)).offset(-kGap);
            if (above)
                make.top().equalTo(mas_bottom(above)).offset(kGap);
            else
                make.top().equalTo(mas_top(this)).offset(kGap);
            make.height().equalTo(kButtonHeight);
        });
        above = button;
    }
}

QSize ShareViewController::sizeHint() const
{
    return {kPopoverWidth, kPopoverHeight};
}

void ShareViewController::shareSina()
{
    UrlOpener::open(sinaShareUrl(m_Purl, m_Ptitle));
}

void ShareViewController::shareQQZone()
{
    UrlOpener::open(qqZoneShareUrl(m_Purl, m_Ptitle, m_Psummary));
}

void ShareViewController::shareUrl()
{
    copyToPasteboard(m_Purl, alertWindow());
}

QWidget* ShareViewController::alertWindow() const
{
    QWidget* own = window();
    if (own && own->windowType() == Qt::Popup && own->parentWidget())
        return own->parentWidget()->window();
    return own;
}

QString ShareViewController::encodeString(const QString& text)
{
    return QString::fromLatin1(QUrl::toPercentEncoding(text));
}

QString ShareViewController::shareText(const QString& title, const QString& url)
{
    // Filled in one pass, so a "%1" or "%2" inside the title stays as it is.
    return QStringLiteral("【%1】分享自@Tidwen，详情点击：%2 | 下载TidwenAPP查看更多精彩内容：").arg(title, url) +
           (kUrlAppDownload.isNull() ? QString() : kUrlAppDownload);
}

QUrl ShareViewController::sinaShareUrl(const QString& url, const QString& title)
{
    const QString query = QStringLiteral("url=") + encodeString(url) + QStringLiteral("&title=") +
                          encodeString(shareText(title, url)) + QStringLiteral("&pic=&appkey=") +
                          QString::fromLatin1(ShareHosts::kWeiboAppKey);
    return sharePage(ShareHosts::kWeiboShare, ShareHosts::kWeiboSharePath, query);
}

QUrl ShareViewController::qqZoneShareUrl(const QString& url, const QString& title, const QString& summary)
{
    const QString query = QStringLiteral("url=") + readableQueryValue(url) + QStringLiteral("&title=") +
                          encodeString(shareText(title, url)) + QStringLiteral("&summary=") + encodeString(summary);
    return sharePage(ShareHosts::kQQZoneShare, ShareHosts::kQQZoneSharePath, query);
}

bool ShareViewController::copyToPasteboard(const QString& url, QWidget* window)
{
    bool copied = false;
    if (url.isEmpty()) {
        // Clearing the clipboard for nothing would be reported as a success.
        qWarning() << "share: no address to copy";
    } else if (QClipboard* clipboard = QGuiApplication::clipboard()) {
        clipboard->clear();
        clipboard->setText(url);
        copied = clipboard->text() == url;
    }
    CommonFunction::alert(QStringLiteral("确定"),
                          copied ? QStringLiteral("复制文章链接成功") : QStringLiteral("复制文章链接失败"), window);
    return copied;
}
