// The article pane's two hot paths against the plain libraries doing the same work:
// - building the page of a 100 KB article (40 pictures, 30 in-site links) vs concatenating its
//   pieces, and vs that concatenation plus three libxml2 HTML parses of the body (the builder's
//   own passes);
// - a click on an article whose server cannot be reached, to its page loaded from the cache,
//   vs setHtml of the same page into a bare QWebEngineView.
#include "ArticleBenchSupport.h"
#include "BenchSupport.h"

#include "article/ArticleCacheFile.h"
#include "article/ArticlePageBuilder.h"
#include "article/views/ArticleSchemeHandler.h"
#include "article/views/ArticleWebPage.h"
#include "article/views/RightViewController.h"
#include "foundation/GlobalValues.h"

#include <QElapsedTimer>
#include <QUrl>
#include <QWebEngineView>

#include <libxml/HTMLparser.h>

#include <cstdio>
#include <vector>

namespace {

using bench::waitFor;

QString articleBody()
{
    QString body;
    int pictures = 0;
    int links = 0;
    while (body.size() < 100 * 1024) {
        body += QStringLiteral("<p>这是一段用于测量的正文，讲述一台新机器的发布会，以及现场观众对它的看法和评价。</p>");
        if (pictures < 40 && body.size() > pictures * 2400) {
            body += QStringLiteral("<p><img src=\"http://img.tidwen.example/newsuploadfiles/2026/12/%1.jpg\" width=\"600\" height=\"400\"/></p>")
                        .arg(pictures);
            ++pictures;
        }
        if (links < 30 && body.size() > links * 3200) {
            body += QStringLiteral("<p><a href=\"http://www.tidwen.example/html/2026/12/%1.htm\" target=\"_blank\">相关链接%2</a></p>")
                        .arg(700000 + links)
                        .arg(links);
            ++links;
        }
    }
    return body;
}

ArticlePageInput pageInput()
{
    ArticlePageInput input;
    input.html = articleBody();
    input.newsID = QStringLiteral("123456");
    input.title = QStringLiteral("一台新机器今天发布");
    input.postDate = QStringLiteral("2026-12-07 10:00:00");
    input.newsSource = QStringLiteral("科技日报");
    input.newsAuthor = QStringLiteral("李明");
    input.fontSize = QStringLiteral("18");
    return input;
}

void BM_ArticlePageBuild(benchmark::State& state)
{
    const ArticlePageInput input = pageInput();
    for (auto _ : state)
        benchmark::DoNotOptimize(ArticlePageBuilder::complateHtmlCode(input).page.size());
}
BENCHMARK(BM_ArticlePageBuild)->Unit(benchmark::kMillisecond);

QString concatenate(const ArticlePageInput& input, const QString& style, const QString& script)
{
    QString page;
    page += QStringLiteral("<html><head>") + style + script + QStringLiteral("</head><body id=\"body\"><div class=\"wrap\">");
    page += QStringLiteral("<div class=\"title\"><h1>") + input.title + QStringLiteral("</h1></div><div class=\"content\" id=\"content\">");
    page += input.html;
    page += QStringLiteral("</div></div><div id=\"newreward\"></div><div id=\"newscore\"></div><div id=\"related\"></div>"
                           "<div id=\"douzaimai\"></div><div id=\"newshotcomment\"></div></body></html>");
    return page;
}

void BM_PlainConcatenation(benchmark::State& state)
{
    const ArticlePageInput input = pageInput();
    const QString style = ArticleBundle::text(QStringLiteral("iPadNews.css"));
    const QString script = ArticleBundle::text(QStringLiteral("news.js"));
    for (auto _ : state)
        benchmark::DoNotOptimize(concatenate(input, style, script).size());
}
BENCHMARK(BM_PlainConcatenation)->Unit(benchmark::kMillisecond);

void BM_ConcatenationAndThreeParses(benchmark::State& state)
{
    const ArticlePageInput input = pageInput();
    const QString style = ArticleBundle::text(QStringLiteral("iPadNews.css"));
    const QString script = ArticleBundle::text(QStringLiteral("news.js"));
    for (auto _ : state) {
        benchmark::DoNotOptimize(concatenate(input, style, script).size());
        const QByteArray utf8 = input.html.toUtf8();
        for (int pass = 0; pass < 3; ++pass) {
            htmlDocPtr document = htmlReadMemory(utf8.constData(), static_cast<int>(utf8.size()), nullptr, "UTF-8",
                                                 HTML_PARSE_NOERROR | HTML_PARSE_NOWARNING | HTML_PARSE_NONET);
            xmlFreeDoc(document);
        }
    }
}
BENCHMARK(BM_ConcatenationAndThreeParses)->Unit(benchmark::kMillisecond);

// Seconds from show: to the article page's load end, with every server unreachable so that the
// cache serves; and seconds of setHtml of the same page into a bare view. Alternating rounds.
void measureCacheClick(double* paneSeconds, double* bareSeconds)
{
    bench::pointServersAtClosedPort();
    gbLoadAllData = false;
    gbDouZaiMai = false;
    const QString ids[2] = {QStringLiteral("123456"), QStringLiteral("123457")};
    for (const QString& id : ids) {
        const QString xml = QStringLiteral("<rss><channel><item><newsid>%1</newsid><title>缓存文章</title><ndg>1</ndg>"
                                           "<postdate>2026-12-07 10:00:00</postdate><detail><![CDATA[%2]]></detail></item></channel></rss>")
                                .arg(id, articleBody());
        ArticleCacheFile::write(id, 1, xml.toUtf8());
    }
    RightViewController pane;
    pane.resize(900, 700);
    pane.show();
    QWebEngineView bare;
    bare.resize(900, 650);
    bare.show();
    bool bareDone = false;
    QObject::connect(&bare, &QWebEngineView::loadFinished, [&] { bareDone = true; });

    std::vector<double> paneTimes;
    std::vector<double> bareTimes;
    QString page;
    for (int round = 0; round < 12; ++round) {
        auto item = std::make_shared<Feed>();
        item->guid = ids[round % 2];
        item->postDate = QStringLiteral("2026-12-07 10:00:00");
        QElapsedTimer timer;
        timer.start();
        pane.show(item);
        if (!waitFor([&] { return pane.pane()->bSucLoad() && pane.pane()->feed()->guid == item->guid; }))
            break;
        paneTimes.push_back(static_cast<double>(timer.nsecsElapsed()) / 1e9);
        if (page.isEmpty())
            page = pane.pane()->complateHtmlCode(item->detail, item->author, item->postDate, item->newsSource, item->guid,
                                                 QString(), false, false, item->author, item->newsZeBian).page;
        bareDone = false;
        timer.restart();
        bare.setHtml(page, QUrl(QLatin1String(ArticleBundle::kBaseUrl)));
        if (!waitFor([&] { return bareDone; }))
            break;
        bareTimes.push_back(static_cast<double>(timer.nsecsElapsed()) / 1e9);
    }
    // The first round of each warms the engine up; it is not counted.
    *paneSeconds = bench::medianAfterWarmUp(std::move(paneTimes), 1);
    *bareSeconds = bench::medianAfterWarmUp(std::move(bareTimes), 1);
}

}  // namespace

int main(int argc, char** argv)
{
    bench::ArticleBenchApplication application(argc, argv);

    bench::FastestRunReporter reporter;
    if (!bench::runRegisteredBenchmarks(&argc, argv, &reporter))
        return 1;
    const double build = reporter.ratio("BM_ArticlePageBuild", "BM_PlainConcatenation");
    const double parses = reporter.ratio("BM_ArticlePageBuild", "BM_ConcatenationAndThreeParses");
    std::printf("article page build / plain concatenation: %.2fx\n", build);
    std::printf("article page build / (concatenation + three htmlReadMemory parses): %.2fx (goal <= 4x)\n", parses);
    std::fflush(stdout);

    double paneSeconds = 0;
    double bareSeconds = 0;
    measureCacheClick(&paneSeconds, &bareSeconds);
    std::printf("click to page from the cache: %.1f ms; setHtml into a bare QWebEngineView: %.1f ms; ratio %.2fx (goal <= 1.5x)\n",
                paneSeconds * 1e3, bareSeconds * 1e3, bareSeconds > 0 ? paneSeconds / bareSeconds : 0.0);
    std::fflush(stdout);
    bench::drainEvents();
    return 0;
}
