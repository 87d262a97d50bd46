// 200 stacked rows (inset 10, each row's top 4 below the previous bottom, 20 high) laid out by
// our constraint builder and solver, beside the same widgets in a QVBoxLayout and beside direct
// setGeometry calls (the floor). Ends with the ratios ours/QVBoxLayout for building with the first
// layout, and for a relayout after the width changes by one.
#include "BenchSupport.h"
#include "ui/layout/MASAdditions.h"

#include <QApplication>
#include <QVBoxLayout>
#include <QWidget>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <functional>
#include <memory>
#include <vector>

namespace {

constexpr int kRows = 200;
constexpr int kHeight = kRows * 24 + 16;

using namespace MASAdditions;

struct Built
{
    std::unique_ptr<QWidget> container;
    QVBoxLayout* box = nullptr;
    std::vector<QWidget*> rows;
};

Built makeRows()
{
    Built b;
    b.container = std::make_unique<QWidget>();
    b.container->resize(400, kHeight);
    b.rows.reserve(kRows);
    for (int i = 0; i < kRows; ++i)
        b.rows.push_back(new QWidget(b.container.get()));
    return b;
}

Built buildConstraints()
{
    Built b = makeRows();
    QWidget* container = b.container.get();
    QWidget* previous = nullptr;
    for (QWidget* row : b.rows) {
        mas_makeConstraints(row, [&](MASConstraintMaker& make) {
            make.left().equalTo(container).offset(10);
            make.right().equalTo(container).offset(-10);
            if (previous)
                make.top().equalTo(mas_bottom(previous)).offset(4);
            else
                make.top().equalTo(container).offset(10);
            make.height().equalTo(20);
        });
        previous = row;
    }
    Layout::layoutSubtreeIfNeeded(container);
    // What the event loop would do next (both sides): keeps the posted-event queue short.
    QCoreApplication::sendPostedEvents();
    return b;
}

Built buildBox()
{
    Built b = makeRows();
    b.box = new QVBoxLayout(b.container.get());
    b.box->setContentsMargins(10, 10, 10, 10);
    b.box->setSpacing(4);
    for (QWidget* row : b.rows) {
        row->setFixedHeight(20);
        b.box->addWidget(row);
    }
    b.box->addStretch();
    b.box->activate();
    QCoreApplication::sendPostedEvents();
    return b;
}

void placeDirectly(Built& b, int width)
{
    int y = 10;
    for (QWidget* row : b.rows) {
        row->setGeometry(10, y, width - 20, 20);
        y += 24;
    }
}

Built buildDirect()
{
    Built b = makeRows();
    placeDirectly(b, 400);
    QCoreApplication::sendPostedEvents();
    return b;
}

bool sameGeometry(const Built& a, const Built& b)
{
    for (int i = 0; i < kRows; ++i)
        if (a.rows[i]->geometry() != b.rows[i]->geometry())
            return false;
    return true;
}

void relayoutConstraints(Built& b, int width)
{
    b.container->resize(width, kHeight);
    Layout::layoutSubtreeIfNeeded(b.container.get());
}

void relayoutBox(Built& b, int width)
{
    b.container->resize(width, kHeight);
    b.box->setGeometry(b.container->rect());
}

void BM_BuildConstraints(benchmark::State& state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(buildConstraints().container.get());
}
BENCHMARK(BM_BuildConstraints)->Unit(benchmark::kMicrosecond);

void BM_BuildQVBoxLayout(benchmark::State& state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(buildBox().container.get());
}
BENCHMARK(BM_BuildQVBoxLayout)->Unit(benchmark::kMicrosecond);

void BM_BuildDirectGeometry(benchmark::State& state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(buildDirect().container.get());
}
BENCHMARK(BM_BuildDirectGeometry)->Unit(benchmark::kMicrosecond);

// A built layout and the step that lays it out again at the other width (400 <-> 401).
struct Relayout
{
    Built built;
    void (*step)(Built&, int);
    int width = 400;
    void operator()()
    {
        width = width == 400 ? 401 : 400;
        step(built, width);
    }
};

Relayout relayoutOfConstraints() { return {buildConstraints(), relayoutConstraints}; }
Relayout relayoutOfBox() { return {buildBox(), relayoutBox}; }
Relayout relayoutOfDirect() { return {buildDirect(), placeDirectly}; }

template <Relayout (*Make)()>
void BM_Relayout(benchmark::State& state)
{
    Relayout relayout = Make();
    for (auto _ : state)
        relayout();
}
BENCHMARK(BM_Relayout<relayoutOfConstraints>)->Name("BM_RelayoutConstraints")->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Relayout<relayoutOfBox>)->Name("BM_RelayoutQVBoxLayout")->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Relayout<relayoutOfDirect>)->Name("BM_RelayoutDirectGeometry")->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    // A ratio is only worth printing when both place the rows alike.
    {
        Built ours = buildConstraints(), box = buildBox(), direct = buildDirect();
        if (!sameGeometry(ours, box) || !sameGeometry(ours, direct)) {
            std::printf("layouts differ (first row %d,%d %dx%d vs %d,%d %dx%d); no ratio\n", ours.rows[0]->x(),
                        ours.rows[0]->y(), ours.rows[0]->width(), ours.rows[0]->height(), box.rows[0]->x(),
                        box.rows[0]->y(), box.rows[0]->width(), box.rows[0]->height());
            return 1;
        }
        relayoutConstraints(ours, 401);
        relayoutBox(box, 401);
        if (!sameGeometry(ours, box)) {
            std::printf("relayouts differ; no ratio\n");
            return 1;
        }
    }

    if (!bench::runRegisteredBenchmarks(&argc, argv))
        return 1;

    // The printed ratios come from alternating runs of the three, so all see the same machine.
    double buildOurs = 1e9, buildBoxTime = 1e9, buildFloor = 1e9;
    double relayoutOurs = 1e9, relayoutBoxTime = 1e9, relayoutFloor = 1e9;
    Relayout ours = relayoutOfConstraints(), box = relayoutOfBox(), direct = relayoutOfDirect();
    for (int round = 0; round < 3; ++round) {
        const auto shortRun = std::chrono::milliseconds(150);
        buildOurs = std::min(buildOurs, bench::bestSecondsPerCall([] { buildConstraints(); }, shortRun, 2));
        buildBoxTime = std::min(buildBoxTime, bench::bestSecondsPerCall([] { buildBox(); }, shortRun, 2));
        buildFloor = std::min(buildFloor, bench::bestSecondsPerCall([] { buildDirect(); }, shortRun, 2));
        relayoutOurs = std::min(relayoutOurs, bench::bestSecondsPerCall(std::ref(ours), shortRun, 2));
        relayoutBoxTime = std::min(relayoutBoxTime, bench::bestSecondsPerCall(std::ref(box), shortRun, 2));
        relayoutFloor = std::min(relayoutFloor, bench::bestSecondsPerCall(std::ref(direct), shortRun, 2));
    }
    std::printf("200 rows build+first layout: constraints %.1f us, QVBoxLayout %.1f us, direct setGeometry %.1f us\n",
                buildOurs * 1e6, buildBoxTime * 1e6, buildFloor * 1e6);
    std::printf("200 rows relayout 400<->401: constraints %.1f us, QVBoxLayout %.1f us, direct setGeometry %.1f us\n",
                relayoutOurs * 1e6, relayoutBoxTime * 1e6, relayoutFloor * 1e6);
    std::printf("layout build ratio constraints/QVBoxLayout: %.2f (goal <= 5)\n", buildOurs / buildBoxTime);
    std::printf("layout relayout ratio constraints/QVBoxLayout: %.2f (goal <= 2)\n", relayoutOurs / relayoutBoxTime);
    return 0;
}
