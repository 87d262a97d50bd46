#pragma once

// What the benchmark programs share: the timing loop behind their printed ratios and a reporter
// that keeps each benchmark's fastest run.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstdio>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace bench {

// Seconds per call of job: the best of several short runs, so that a momentary stall of the
// machine does not decide a ratio. Callers alternate the two sides of a comparison between calls
// of this so that both see the same machine state.
template <typename Job>
double bestSecondsPerCall(Job job, std::chrono::milliseconds runLength = std::chrono::milliseconds(250), int runs = 5)
{
    using Clock = std::chrono::steady_clock;
    double best = 1e9;
    for (int run = 0; run < runs; ++run) {
        long long calls = 0;
        const auto start = Clock::now();
        auto elapsed = Clock::duration::zero();
        while (elapsed < runLength) {
            job();
            ++calls;
            elapsed = Clock::now() - start;
        }
        best = std::min(best, std::chrono::duration<double>(elapsed).count() / static_cast<double>(calls));
    }
    return best;
}

// Prints the runs as usual and keeps each benchmark's fastest time per iteration (the name up to
// its first '/'), for ratios printed after the run.
class FastestRunReporter : public benchmark::ConsoleReporter
{
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& run : runs) {
            // With repetitions the library also reports their median, kept for medianRatio().
            if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median" && run.iterations > 0) {
                const std::string name = run.run_name.function_name;
                m_medians[name] = run.real_accumulated_time / static_cast<double>(run.iterations);
                continue;
            }
            if (run.run_type != Run::RT_Iteration || run.iterations <= 0 || run.error_occurred)
                continue;
            const std::string name = run.benchmark_name().substr(0, run.benchmark_name().find('/'));
            const double time = run.real_accumulated_time / static_cast<double>(run.iterations);
            const auto known = m_times.find(name);
            if (known == m_times.end() || time < known->second)
                m_times[name] = time;
        }
        ConsoleReporter::ReportRuns(runs);
    }

    // Time of numerator / time of denominator, or 0 when either did not run.
    double ratio(const std::string& numerator, const std::string& denominator) const
    {
        const auto n = m_times.find(numerator);
        const auto d = m_times.find(denominator);
        if (n == m_times.end() || d == m_times.end() || d->second <= 0)
            return 0;
        return n->second / d->second;
    }

    // The same over the medians of the repetitions; 0 when either ran without repetitions.
    double medianRatio(const std::string& numerator, const std::string& denominator) const
    {
        const auto n = m_medians.find(numerator);
        const auto d = m_medians.find(denominator);
        if (n == m_medians.end() || d == m_medians.end() || d->second <= 0)
            return 0;
        return n->second / d->second;
    }

private:
    std::map<std::string, double> m_times;
    std::map<std::string, double> m_medians;
};

// Prints "<label>: <ratio>x the <reference> time (medians of <repetitions>)" for two benchmarks
// run with that many repetitions; nothing when either did not run so.
inline void printMedianRatio(const FastestRunReporter& reporter, const char* label, const std::string& ours,
                             const std::string& bare, const char* reference, int repetitions)
{
    if (const double ratio = reporter.medianRatio(ours, bare); ratio > 0)
        std::printf("%s: %.2fx the %s time (medians of %d)\n", label, ratio, reference, repetitions);
}

// Runs the registered benchmarks as BENCHMARK_MAIN would; false on arguments it does not know.
inline bool runRegisteredBenchmarks(int* argc, char** argv, benchmark::BenchmarkReporter* reporter = nullptr)
{
    benchmark::Initialize(argc, argv);
    if (benchmark::ReportUnrecognizedArguments(*argc, argv))
        return false;
    if (reporter)
        benchmark::RunSpecifiedBenchmarks(reporter);
    else
        benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return true;
}

// The middle of a set of timings (0 for none).
inline double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0.0 : values[values.size() / 2];
}

// The median of timed rounds without the first warmUps of them, which warm caches and engines up
// (all of them count when there are no more).
inline double medianAfterWarmUp(std::vector<double> rounds, std::size_t warmUps)
{
    if (rounds.size() > warmUps)
        rounds.erase(rounds.begin(), rounds.begin() + static_cast<std::ptrdiff_t>(warmUps));
    return median(std::move(rounds));
}

}  // namespace bench
