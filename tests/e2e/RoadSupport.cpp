#include "RoadSupport.h"

#include "TestEnvironment.h"
#include "article/views/ArticleWebPage.h"
#include "article/views/RightViewController.h"
#include "ui/hud/DJProgressHUD.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QSet>
#include <QTimer>
#include <QWebEnginePage>
#include <QWidget>
#include <QXmlStreamReader>

#include <memory>

namespace road {

void submitSearch(QLineEdit* field, const QString& keyword)
{
    field->setFocus();
    field->setText(keyword);
    QKeyEvent press(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QApplication::sendEvent(field, &press);
}

QList<Request> requests(const standin::StandinService& service, qint64 afterSeq)
{
    QList<Request> out;
    for (const QJsonObject& entry : service.requestLog()) {
        Request r;
        r.seq = entry.value(QStringLiteral("seq")).toInteger();
        if (r.seq <= afterSeq)
            continue;
        r.method = entry.value(QStringLiteral("method")).toString();
        r.host = entry.value(QStringLiteral("host")).toString();
        r.target = entry.value(QStringLiteral("target")).toString();
        r.status = entry.value(QStringLiteral("status")).toInt();
        r.lastModified = entry.value(QStringLiteral("lastModified")).toString();
        r.fields = entry.value(QStringLiteral("fields")).toObject();
        r.fault = entry.value(QStringLiteral("fault")).toString();
        out.append(r);
    }
    return out;
}

qint64 lastSeq(const standin::StandinService& service)
{
    const QList<Request> all = requests(service);
    return all.isEmpty() ? 0 : all.last().seq;
}

QList<Request> matching(const standin::StandinService& service, const QString& method, const QString& host,
                        const QString& targetPattern, qint64 afterSeq)
{
    const QRegularExpression pattern(QRegularExpression::anchoredPattern(targetPattern));
    QList<Request> out;
    for (const Request& r : requests(service, afterSeq)) {
        if (r.method == method && r.host == host && pattern.match(r.target).hasMatch())
            out.append(r);
    }
    return out;
}

QString describeRequests(const standin::StandinService& service, qint64 afterSeq)
{
    QString text;
    for (const Request& r : requests(service, afterSeq)) {
        text += QStringLiteral("\n  #%1 %2 %3%4 -> %5%6").arg(r.seq).arg(r.method, r.host, r.target).arg(r.status)
                    .arg(r.fault.isEmpty() ? QString() : QStringLiteral(" (fault: %1)").arg(r.fault));
    }
    return text;
}

std::optional<Request> waitForRequest(const standin::StandinService& service, const QString& method,
                                      const QString& host, const QString& targetPattern, qint64 afterSeq,
                                      int timeoutMs)
{
    std::optional<Request> found;
    waitUntil(
        [&] {
            const QList<Request> m = matching(service, method, host, targetPattern, afterSeq);
            if (!m.isEmpty())
                found = m.first();
            return found.has_value();
        },
        timeoutMs);
    return found;
}

ToastWatcher::ToastWatcher() : m_timer(new QTimer)
{
    m_timer->setInterval(10);
    QObject::connect(m_timer, &QTimer::timeout, [this] { sample(); });
    m_timer->start();
}

ToastWatcher::~ToastWatcher()
{
    delete m_timer;
}

void ToastWatcher::sample()
{
    DJProgressHUD* hud = DJProgressHUD::instance();
    if (!hud->displaying() || !hud->label())
        return;
    const QString text = hud->label()->text();
    if (!text.isEmpty() && (m_seen.isEmpty() || m_seen.last() != text))
        m_seen.append(text);
}

bool ToastWatcher::waitFor(const QString& text, int timeoutMs)
{
    return waitUntil([&] { return m_seen.contains(text); }, timeoutMs);
}

bool ToastWatcher::waitUntilHudIdle(int timeoutMs)
{
    // The HUD's parts go with the widget they covered; the next show makes them again.
    return waitUntil(
        [] {
            DJProgressHUD* hud = DJProgressHUD::instance();
            return !hud->displaying() || !hud->label() || !hud->label()->isVisibleTo(hud->hudView());
        },
        timeoutMs);
}

QVariant runScript(QWebEnginePage* page, const QString& script, int timeoutMs)
{
    struct Outcome
    {
        bool done = false;
        QVariant value;
    };
    auto outcome = std::make_shared<Outcome>();
    page->runJavaScript(script, [outcome](const QVariant& value) {
        outcome->value = value;
        outcome->done = true;
    });
    if (!waitUntil([&] { return outcome->done; }, timeoutMs))
        return {};
    return outcome->value;
}

QVariant articleScript(const RightViewController* pane, const QString& script)
{
    QWebEnginePage* page = pane && pane->webView() ? pane->webView()->page() : nullptr;
    return page ? runScript(page, script) : QVariant();
}

QString shownGuid(const RightViewController* pane)
{
    return pane->feed() ? pane->feed()->guid : QString();
}

QString artifactsFolder()
{
    QString folder = qEnvironmentVariable("TIDWEN_TEST_ARTIFACTS");
    if (folder.isEmpty())
        folder = QCoreApplication::applicationDirPath() + QStringLiteral("/../artifacts");
    QDir().mkpath(folder);
    return QDir(folder).absolutePath();
}

QString saveScreenshot(QWidget* widget, const QString& name, QImage* picture)
{
    const QImage image = widget->grab().toImage();
    if (picture)
        *picture = image;
    const QString path = artifactsFolder() + QLatin1Char('/') + name + QStringLiteral(".png");
    if (image.isNull() || !image.save(path))
        return {};
    return path;
}

int distinctColours(const QImage& image, const QRect& rect)
{
    QSet<QRgb> colours;
    const QRect area = rect.intersected(image.rect());
    for (int y = area.top(); y <= area.bottom(); y += 3) {
        for (int x = area.left(); x <= area.right(); x += 3)
            colours.insert(image.pixel(x, y));
    }
    return int(colours.size());
}

#ifdef __SANITIZE_ADDRESS__
// The sanitizer's runtime: gives back freed memory it holds to catch late uses.
extern "C" void __sanitizer_purge_allocator();
#endif

qint64 residentKiB()
{
#ifdef __SANITIZE_ADDRESS__
    // What the sanitizer holds back of freed memory (up to its quarantine's size) is no memory the
    // program keeps; left in, it grows over the first hundreds of megabytes freed and reads as a leak.
    __sanitizer_purge_allocator();
#endif
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong();
    }
    return 0;
}

QList<FeedEntry> readFeedTitles(const QByteArray& xml)
{
    QList<FeedEntry> out;
    QXmlStreamReader reader(xml);
    FeedEntry current;
    bool inItem = false;
    while (!reader.atEnd()) {
        reader.readNext();
        if (reader.isStartElement()) {
            if (reader.name() == QLatin1String("item")) {
                inItem = true;
                current = FeedEntry{};
            } else if (inItem && reader.name() == QLatin1String("newsid")) {
                current.id = reader.readElementText().trimmed().toLongLong();
            } else if (inItem && reader.name() == QLatin1String("title")) {
                current.title = reader.readElementText().trimmed();
            }
        } else if (reader.isEndElement() && reader.name() == QLatin1String("item")) {
            inItem = false;
            out.append(current);
        }
    }
    return out;
}

}  // namespace road
