#pragma once

#include <QString>
#include <QUrl>
#include <QWidget>

class CustomButton;

// The outside pages a share goes to. They are deployment values; only the paths and the query
// keys are fixed by those pages.
namespace ShareHosts {
inline constexpr auto kScheme = "https";
inline constexpr auto kWeiboShare = "service.weibo.com";
inline constexpr auto kWeiboSharePath = "/share/share.php";
inline constexpr auto kQQZoneShare = "sns.qzone.qq.com";
inline constexpr auto kQQZoneSharePath = "/cgi-bin/qzshare/cgi_qzshare_onekey";
// The program's key on the Weibo share page (the same as its Weibo login).
inline constexpr auto kWeiboAppKey = "2841539076";
}  // namespace ShareHosts

// The share popover: one address with a title and a summary, shared to the Weibo web share page
// or the QQ Zone one-key share page (both in the default browser), or copied to the clipboard.
// The pane makes a new one for every opening.
class ShareViewController : public QWidget
{
    Q_OBJECT

public:
    ShareViewController(const QString& url, const QString& title, const QString& summary, QWidget* parent = nullptr);

    // The popover's own size, for the popup that hosts it.
    QSize sizeHint() const override;

    void shareSina();
    void shareQQZone();
    void shareUrl();

    const QString& Purl() const { return m_Purl; }
    const QString& Ptitle() const { return m_Ptitle; }
    const QString& Psummary() const { return m_Psummary; }
    CustomButton* sinaButton() const { return m_sinaButton; }
    CustomButton* qqZoneButton() const { return m_qqZoneButton; }
    CustomButton* copyButton() const { return m_copyButton; }

    // ---- The share addresses, without a widget (the pane's Touch Bar shares use them too) ----

    // The text percent-escaped over its UTF-8 bytes for a query value: everything but
    // A-Z a-z 0-9 - . _ ~ is escaped.
    static QString encodeString(const QString& text);
    // The title line of both share pages: the title, the address and the download page.
    static QString shareText(const QString& title, const QString& url);
    // The Weibo share page for the address: url, title, pic, appkey in that order.
    static QUrl sinaShareUrl(const QString& url, const QString& title);
    // The QQ Zone share page for the address: url (readable), title, summary.
    static QUrl qqZoneShareUrl(const QString& url, const QString& title, const QString& summary);
    // Replaces the clipboard's content with the address and tells the reader on the window
    // whether it arrived; true when the clipboard reads back exactly the address.
    static bool copyToPasteboard(const QString& url, QWidget* window);

private:
    // The window an alert belongs on: the one the popup was opened from, not the popup itself.
    QWidget* alertWindow() const;

    QString m_Purl;
    QString m_Ptitle;
    QString m_Psummary;
    CustomButton* m_sinaButton = nullptr;
    CustomButton* m_qqZoneButton = nullptr;
    CustomButton* m_copyButton = nullptr;
};
