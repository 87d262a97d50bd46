// The article toolbar's two costs against the plain library doing the same work:
// - ToolBarView construction, layout and first grab() vs a bare QWidget with nine QPushButtons
//   in a QHBoxLayout, same steps;
// - a font click (the page built again at the new size, loaded, its five side blocks put back)
//   vs reload() of the same page plus the same five runJavaScript calls in a bare QWebEngineView.
#include "ArticleBenchSupport.h"
#include "BenchSupport.h"

#include "article/ArticleCacheFile.h"
#include "article/ArticlePageBuilder.h"
#include "article/HtmlText.h"
#include "article/views/ArticleSchemeHandler.h"
#include "article/views/ArticleWebPage.h"
#include "article/views/RightViewController.h"
#include "article/views/ToolBarView.h"
#include "foundation/GlobalValues.h"

#include <QElapsedTimer>
#include <QHBoxLayout>
#include <QPushButton>
#include <QUrl>
#include <QWebEngineView>

#include <cstdio>
#include <vector>

namespace {

using bench::waitFor;

void BM_ToolBarView(benchmark::State& state)
{
    for (auto _ : state) {
        ToolBarView bar;
        bar.resize(700, 50);
        QCoreApplication::sendPostedEvents();
        const QPixmap shot = bar.grab();
        benchmark::DoNotOptimize(shot.cacheKey());
    }
}
BENCHMARK(BM_ToolBarView)->Unit(benchmark::kMicrosecond)->MinTime(0.5);

void BM_NinePushButtons(benchmark::State& state)
{
    const char* titles[] = {"", "   0", "分享", "分享", "刷新", "字体", "写评论", "", "      立即前往"};
    for (auto _ : state) {
        QWidget bar;
        auto* row = new QHBoxLayout(&bar);
        for (const char* title : titles)
            row->addWidget(new QPushButton(QString::fromUtf8(title)));
        bar.resize(700, 50);
        QCoreApplication::sendPostedEvents();
        const QPixmap shot = bar.grab();
        benchmark::DoNotOptimize(shot.cacheKey());
    }
}
BENCHMARK(BM_NinePushButtons)->Unit(benchmark::kMicrosecond)->MinTime(0.5);

QString articleBody()
{
    QString body;
    while (body.size() < 30 * 1024)
        body += QStringLiteral("<p>这是一段用于测量的正文，讲述一台新机器的发布会，以及现场观众对它的看法和评价。</p>");
    return body;
}

// The five side blocks of a page, as the pane puts them in.
struct Block
{
    const char* function;
    QString html;
};

std::vector<Block> blocks()
{
    return {{"padappinsertreward", QStringLiteral("<div class=\"outdiv\">赏</div>")},
            {"padappinsertscore", QStringLiteral("<div class=\"score\">4.5</div>")},
            {"padappinsertrelatednews", QStringLiteral("<ul><li><a>相关一</a></li><li><a>相关二</a></li></ul>")},
            {"padappinsertdouzaimai", QStringLiteral("<div class=\"deal\">耳机</div>")},
            {"padappinserthotcomment", QStringLiteral("<div class=\"hccontent\">热评</div>")}};
}

// Runs after every script sent before it: its answer means they have all run.
bool scriptsDone(QWebEnginePage* page)
{
    bool done = false;
    page->runJavaScript(QStringLiteral("1"), [&done](const QVariant&) { done = true; });
    return waitFor([&] { return done; });
}

void measureFontClick(double* paneSeconds, double* bareSeconds)
{
    bench::pointServersAtClosedPort();
    gbLoadAllData = false;
    gbDouZaiMai = true;
    const QString id = QStringLiteral("123456");
    const QString xml = QStringLiteral("<rss><channel><item><newsid>%1</newsid><title>字号文章</title>"
                                       "<postdate>2026-12-07 10:00:00</postdate><detail><![CDATA[%2]]></detail></item></channel></rss>")
                            .arg(id, articleBody());
    ArticleCacheFile::write(id, 1, xml.toUtf8());

    RightViewController pane;
    pane.resize(900, 700);
    pane.show();
    auto item = std::make_shared<Feed>();
    item->guid = id;
    item->postDate = QStringLiteral("2026-12-07 10:00:00");
    pane.show(item);
    if (!waitFor([&] { return pane.pane()->bSucLoad(); }))
        return;
    pane.pane()->insertReward(blocks()[0].html, id);
    pane.pane()->insertScore(blocks()[1].html, id);
    pane.pane()->insertRelateNews(blocks()[2].html, id);
    pane.pane()->insertDouZaiMai(blocks()[3].html, id);
    pane.pane()->insertHotComment(blocks()[4].html, id);
    int paneLoads = 0;
    QObject::connect(pane.webPage(), &QWebEnginePage::loadFinished, [&] { ++paneLoads; });

    QWebEngineView bare;
    bare.resize(900, 650);
    bare.show();
    int bareLoads = 0;
    QObject::connect(&bare, &QWebEngineView::loadFinished, [&] { ++bareLoads; });
    bare.setHtml(pane.pane()->complateHtmlCode(item->detail, item->author, item->postDate, item->newsSource, id, QString(), false,
                                               false, item->author, item->newsZeBian)
                     .page,
                 QUrl(QLatin1String(ArticleBundle::kBaseUrl)));
    if (!waitFor([&] { return bareLoads > 0; }))
        return;

    std::vector<double> paneTimes;
    std::vector<double> bareTimes;
    for (int round = 0; round < 14; ++round) {
        QElapsedTimer timer;
        timer.start();
        const int loads = paneLoads;
        pane.setFontSizeEndChange(round % 2 == 0 ? 19 : 18, false);
        if (!waitFor([&] { return paneLoads > loads; }) || !scriptsDone(pane.webPage()))
            break;
        paneTimes.push_back(static_cast<double>(timer.nsecsElapsed()) / 1e9);

        timer.restart();
        const int bareBefore = bareLoads;
        bare.page()->runJavaScript(QStringLiteral("SetFont(%1)").arg(round % 2 == 0 ? 19 : 18));
        bare.reload();
        if (!waitFor([&] { return bareLoads > bareBefore; }))
            break;
        for (const Block& block : blocks())
            bare.page()->runJavaScript(QStringLiteral("%1(%2);").arg(QLatin1String(block.function), HtmlText::scriptLiteral(block.html)));
        if (!scriptsDone(bare.page()))
            break;
        bareTimes.push_back(static_cast<double>(timer.nsecsElapsed()) / 1e9);
    }
    // The first rounds warm the engine up; they are not counted.
    *paneSeconds = bench::medianAfterWarmUp(std::move(paneTimes), 2);
    *bareSeconds = bench::medianAfterWarmUp(std::move(bareTimes), 2);
}

}  // namespace

int main(int argc, char** argv)
{
    bench::ArticleBenchApplication application(argc, argv);

    bench::FastestRunReporter reporter;
    if (!bench::runRegisteredBenchmarks(&argc, argv, &reporter))
        return 1;
    std::printf("toolbar construction+layout+grab / nine QPushButtons in a QHBoxLayout: %.2fx (goal <= 2x)\n",
                reporter.ratio("BM_ToolBarView", "BM_NinePushButtons"));
    std::fflush(stdout);

    double paneSeconds = 0;
    double bareSeconds = 0;
    measureFontClick(&paneSeconds, &bareSeconds);
    std::printf("font click to page rebuilt with its five blocks: %.1f ms; reload() + five runJavaScript in a bare "
                "QWebEngineView: %.1f ms; ratio %.2fx (goal <= 1.3x)\n",
                paneSeconds * 1e3, bareSeconds * 1e3, bareSeconds > 0 ? paneSeconds / bareSeconds : 0.0);
    std::fflush(stdout);
    bench::drainEvents();
    return 0;
}
