#pragma once

// What the whole-road tests share: the stand-in's request log read as records, waits on it, the
// toasts seen on screen, page scripts run to their result, screenshots and memory figures.

#include "standin/StandinService.h"

#include <QImage>
#include <QJsonObject>
#include <QRegularExpression>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <optional>

class QLineEdit;
class QTimer;
class QWebEnginePage;
class QWidget;
class RightViewController;

namespace road {

// One request the stand-in served.
struct Request
{
    qint64 seq = 0;
    QString method;
    QString host;
    QString target;  // path and query; "host:port" for CONNECT
    int status = 0;
    QString lastModified;
    QJsonObject fields;  // deciphered form and query fields
    QString fault;

    QString path() const { return target.section(QLatin1Char('?'), 0, 0); }
    QString query() const { return target.section(QLatin1Char('?'), 1); }
    QString field(const QString& name) const { return fields.value(name).toString(); }
};

// Types the keyword into a search field and presses Return, as the reader does.
void submitSearch(QLineEdit* field, const QString& keyword);

QList<Request> requests(const standin::StandinService& service, qint64 afterSeq = 0);
// The highest sequence number so far (0 when nothing was served).
qint64 lastSeq(const standin::StandinService& service);

// Requests after afterSeq whose method and host are equal and whose target matches the whole
// pattern.
QList<Request> matching(const standin::StandinService& service, const QString& method, const QString& host,
                        const QString& targetPattern, qint64 afterSeq = 0);
// One line per request after afterSeq, for failure messages.
QString describeRequests(const standin::StandinService& service, qint64 afterSeq);

// Waits for the first such request.
std::optional<Request> waitForRequest(const standin::StandinService& service, const QString& method,
                                      const QString& host, const QString& targetPattern, qint64 afterSeq = 0,
                                      int timeoutMs = 45000);

// Every toast text the progress HUD shows while the watcher lives, in order.
class ToastWatcher
{
public:
    ToastWatcher();
    ~ToastWatcher();
    ToastWatcher(const ToastWatcher&) = delete;
    ToastWatcher& operator=(const ToastWatcher&) = delete;

    QStringList seen() const { return m_seen; }
    bool waitFor(const QString& text, int timeoutMs = 30000);
    // A toast asked for while the HUD shows is dropped: tests that expect one wait for quiet.
    static bool waitUntilHudIdle(int timeoutMs = 30000);
    void clear() { m_seen.clear(); }

private:
    void sample();
    QTimer* m_timer;
    QStringList m_seen;
};

// Runs the script in the page's main world and waits for its result; invalid on timeout.
QVariant runScript(QWebEnginePage* page, const QString& script, int timeoutMs = 30000);
// The same in the detail pane's article page; invalid also when the pane has no page.
QVariant articleScript(const RightViewController* pane, const QString& script);
// The guid of the item the detail pane shows; "" while it shows none.
QString shownGuid(const RightViewController* pane);

// Where screenshots go: $TIDWEN_TEST_ARTIFACTS, else "artifacts" beside the build's tests folder.
QString artifactsFolder();
// Saves the widget's picture as <artifacts>/<name>.png; the path, or "" when it could not be saved.
QString saveScreenshot(QWidget* widget, const QString& name, QImage* picture = nullptr);
// The number of distinct colours in the rectangle (sampled every few pixels).
int distinctColours(const QImage& image, const QRect& rect);

// The process's resident memory in KiB (VmRSS), 0 when unknown.
qint64 residentKiB();

// A news list document of the stand-in read into (id, title) pairs, in document order.
struct FeedEntry
{
    qint64 id = 0;
    QString title;
};
QList<FeedEntry> readFeedTitles(const QByteArray& xml);

}  // namespace road
