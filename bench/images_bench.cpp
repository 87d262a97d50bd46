// Remote pictures against the plain Qt pieces doing the same work, in the same run:
// - decoding a 200 KB JPEG: sd_imageWithData against a bare QImageReader;
// - memory hits over 1,000 keys: the image cache's memory level against QPixmapCache::find,
//   with the manager's whole memory-hit load printed beside them;
// - 200 JPEGs of 50 KB from a keep-alive server on 127.0.0.1: the downloader (six transfers at a
//   time, decoding included) against one bare QNetworkAccessManager with six requests in flight
//   and a QImageReader per reply.
// Each comparison ends with its time ratio ours/plain.
#include "BenchSupport.h"

#include "HttpServer.h"
#include "images/ImageDecoding.h"
#include "images/SDImageCache.h"
#include "images/SDWebImageDownloader.h"
#include "images/SDWebImageManager.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QImage>
#include <QImageReader>
#include <QImageWriter>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPixmap>
#include <QPixmapCache>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

namespace {

constexpr int kKeys = 1000;
constexpr int kDownloads = 200;
constexpr int kInFlight = 6;
constexpr int kRounds = 5;

// A JPEG of noise, so that it does not shrink to nothing, grown until it has about the size asked.
QByteArray noiseJpeg(qsizetype targetBytes, quint32 seed)
{
    QRandomGenerator random(seed);
    for (int side = 64;; side += 16) {
        QImage image(side, side * 3 / 4, QImage::Format_RGB32);
        for (int y = 0; y < image.height(); ++y) {
            auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
            for (int x = 0; x < image.width(); ++x)
                line[x] = random.generate() | 0xFF000000u;
        }
        QByteArray bytes;
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        QImageWriter writer(&buffer, "jpeg");
        writer.setQuality(85);
        writer.write(image);
        if (bytes.size() >= targetBytes)
            return bytes;
    }
}

QImage bareRead(const QByteArray& bytes)
{
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    return reader.read();
}

const QByteArray& bigJpeg()
{
    static const QByteArray bytes = noiseJpeg(200 * 1024, 1);
    return bytes;
}

void BM_SdImageWithData(benchmark::State& state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(NSImage_MultiFormat::sd_imageWithData(bigJpeg()));
}
BENCHMARK(BM_SdImageWithData)->Unit(benchmark::kMillisecond);

void BM_BareImageReader(benchmark::State& state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(bareRead(bigJpeg()));
}
BENCHMARK(BM_BareImageReader)->Unit(benchmark::kMillisecond);

struct MemoryFixture
{
    QTemporaryDir folder;
    std::shared_ptr<SDImageCache> cache = std::make_shared<SDImageCache>(QStringLiteral("bench"), folder.path());
    std::shared_ptr<SDWebImageManager> manager = SDWebImageManager::create(cache, SDWebImageDownloader::create());
    QStringList keys;
    QList<QUrl> urls;

    MemoryFixture()
    {
        QPixmapCache::setCacheLimit(64 * 1024);
        QImage image(32, 32, QImage::Format_ARGB32);
        image.fill(Qt::red);
        const QPixmap pixmap = QPixmap::fromImage(image);
        for (int i = 0; i < kKeys; ++i) {
            urls << QUrl(QStringLiteral("http://pictures.example/thumb/%1.jpg?w=120").arg(i));
            keys << manager->cacheKeyForURL(urls.last());
            cache->storeImage(image, keys.last(), false);
            QPixmapCache::insert(keys.last(), pixmap);
        }
    }
};

MemoryFixture& memory()
{
    static MemoryFixture fixture;
    return fixture;
}

void BM_ImageCacheMemoryHits(benchmark::State& state)
{
    MemoryFixture& m = memory();
    for (auto _ : state) {
        int found = 0;
        for (const QString& key : m.keys)
            found += m.cache->imageFromMemoryCacheForKey(key).isNull() ? 0 : 1;
        if (found != kKeys)
            state.SkipWithError("a key was not in memory");
    }
}
BENCHMARK(BM_ImageCacheMemoryHits)->Unit(benchmark::kMicrosecond);

void BM_PixmapCacheFind(benchmark::State& state)
{
    MemoryFixture& m = memory();
    QPixmap pixmap;
    for (auto _ : state) {
        int found = 0;
        for (const QString& key : m.keys)
            found += QPixmapCache::find(key, &pixmap) ? 1 : 0;
        if (found != kKeys)
            state.SkipWithError("a key was not in the pixmap cache");
    }
}
BENCHMARK(BM_PixmapCacheFind)->Unit(benchmark::kMicrosecond);

void BM_ManagerMemoryHits(benchmark::State& state)
{
    MemoryFixture& m = memory();
    for (auto _ : state) {
        int found = 0;
        for (const QUrl& url : m.urls) {
            m.manager->loadImageWithURL(url, 0, nullptr,
                                        [&found](const QImage& image, const QByteArray&, const std::optional<Error>&,
                                                 ImageCacheType type, bool, const QUrl&) {
                                            found += !image.isNull() && type == SDImageCacheTypeMemory ? 1 : 0;
                                        });
        }
        if (found != kKeys)
            state.SkipWithError("a load was not a memory hit");
    }
}
BENCHMARK(BM_ManagerMemoryHits)->Unit(benchmark::kMicrosecond);

// Seconds for all pictures through a new downloader; negative when one failed.
double timeDownloader(const QList<QUrl>& urls)
{
    const std::shared_ptr<SDWebImageDownloader> downloader = SDWebImageDownloader::create();
    int done = 0;
    int good = 0;
    QElapsedTimer timer;
    timer.start();
    for (const QUrl& url : urls) {
        downloader->downloadImageWithURL(url, 0, nullptr,
                                         [&](const QImage& image, const QByteArray&, const std::optional<Error>&, bool) {
                                             ++done;
                                             good += image.isNull() ? 0 : 1;
                                         });
    }
    while (done < urls.size())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    const double seconds = static_cast<double>(timer.nsecsElapsed()) / 1e9;
    return good == urls.size() ? seconds : -1;
}

// Seconds for all pictures through one access manager, six in flight, each reply decoded.
double timeBare(QNetworkAccessManager& manager, const QList<QUrl>& urls)
{
    int next = 0;
    int done = 0;
    int good = 0;
    std::function<void()> startNext = [&] {
        if (next >= urls.size())
            return;
        QNetworkReply* reply = manager.get(QNetworkRequest(urls.at(next++)));
        QObject::connect(reply, &QNetworkReply::finished, [&, reply] {
            good += bareRead(reply->readAll()).isNull() ? 0 : 1;
            ++done;
            reply->deleteLater();
            startNext();
        });
    };
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < kInFlight; ++i)
        startNext();
    while (done < urls.size())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    const double seconds = static_cast<double>(timer.nsecsElapsed()) / 1e9;
    return good == urls.size() ? seconds : -1;
}

// False when a download failed.
bool compareDownloads()
{
    std::vector<QByteArray> pictures;
    for (int i = 0; i < kDownloads; ++i)
        pictures.push_back(noiseJpeg(50 * 1024, 100 + static_cast<quint32>(i % 10)));
    HttpServer::Options options;
    options.handler = [pictures](const HttpRequest& request) {
        const int index = request.path.section(QLatin1Char('/'), -1).toInt();
        HttpReply reply;
        reply.body = pictures.at(static_cast<size_t>(std::clamp(index, 0, kDownloads - 1)));
        reply.withHeader("Content-Type", "image/jpeg");
        return reply;
    };
    HttpServer server(options);
    if (server.port() == 0)
        return false;
    const auto urlsFor = [&server](int round) {
        QList<QUrl> urls;
        for (int i = 0; i < kDownloads; ++i)
            urls << QUrl(QStringLiteral("http://127.0.0.1:%1/r%2/%3").arg(server.port()).arg(round).arg(i));
        return urls;
    };

    QNetworkAccessManager bare;
    std::vector<double> ours;
    std::vector<double> plain;
    if (timeDownloader(urlsFor(-1)) < 0 || timeBare(bare, urlsFor(-2)) < 0)
        return false;
    for (int round = 0; round < kRounds; ++round) {
        ours.push_back(timeDownloader(urlsFor(round * 2)));
        plain.push_back(timeBare(bare, urlsFor(round * 2 + 1)));
        if (ours.back() < 0 || plain.back() < 0)
            return false;
    }
    const double o = bench::median(ours);
    const double p = bench::median(plain);
    std::printf("%d JPEGs of about 50 KB, six in flight (median of %d rounds):\n", kDownloads, kRounds);
    std::printf("  SDWebImageDownloader                %.3f s\n", o);
    std::printf("  QNetworkAccessManager + QImageReader %.3f s\n", p);
    std::printf("downloadImageWithURL/bare download time ratio: %.2f\n", o / p);
    return true;
}

}  // namespace

int main(int argc, char** argv)
{
    // Pixmaps need a GUI application; no screen is needed.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    std::printf("JPEG for decoding: %lld bytes\n", static_cast<long long>(bigJpeg().size()));
    bench::FastestRunReporter reporter;
    if (!bench::runRegisteredBenchmarks(&argc, argv, &reporter))
        return 1;
    std::printf("sd_imageWithData/QImageReader time ratio: %.2f\n",
                reporter.ratio("BM_SdImageWithData", "BM_BareImageReader"));
    std::printf("imageFromMemoryCacheForKey/QPixmapCache::find time ratio: %.2f\n",
                reporter.ratio("BM_ImageCacheMemoryHits", "BM_PixmapCacheFind"));
    std::printf("loadImageWithURL memory hit/QPixmapCache::find time ratio: %.2f\n",
                reporter.ratio("BM_ManagerMemoryHits", "BM_PixmapCacheFind"));
    if (!compareDownloads()) {
        std::printf("images bench: a download failed; no download ratio\n");
        return 1;
    }
    return 0;
}
