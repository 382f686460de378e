#pragma once

// A small harness for benchmarks that compare a measured operation against a baseline run in
// the same process. Each side is run in rounds; the median round time is taken, which keeps
// a busy second core from skewing one side. Figures are printed, never asserted.

#include <QElapsedTimer>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace vorn::bench {

struct Measurement
{
    double nanosecondsPerOperation = 0;
    long long operations = 0;
};

// Runs body(iterations) for `rounds` rounds and returns the median time per operation.
// VORN_BENCH_QUICK=1 divides the iterations by 20, for runs under valgrind.
inline Measurement measure(const std::function<void(long long)> &body, long long iterations,
                           int rounds = 7)
{
    if (qEnvironmentVariableIntValue("VORN_BENCH_QUICK") == 1)
        iterations = std::max(1LL, iterations / 20);
    body(std::max(1LL, iterations / 10)); // warm caches and lazy initialisation
    std::vector<double> perOperation;
    for (int round = 0; round < rounds; ++round) {
        QElapsedTimer timer;
        timer.start();
        body(iterations);
        perOperation.push_back(double(timer.nsecsElapsed()) / double(iterations));
    }
    std::sort(perOperation.begin(), perOperation.end());
    return {perOperation[perOperation.size() / 2], iterations};
}

struct Comparison
{
    Measurement measured;
    Measurement baseline;
    double medianRatio = 0; // median over rounds of measured time / baseline time
};

// Runs the measured body and the baseline alternately, round by round, so that a change in the
// machine's load affects both sides alike; the ratio is the median of the per-round ratios.
inline Comparison compare(const std::function<void(long long)> &measuredBody,
                          const std::function<void(long long)> &baselineBody, long long iterations,
                          int rounds = 15)
{
    if (qEnvironmentVariableIntValue("VORN_BENCH_QUICK") == 1)
        iterations = std::max(1LL, iterations / 20);
    measuredBody(std::max(1LL, iterations / 10));
    baselineBody(std::max(1LL, iterations / 10));
    const auto timeOnce = [iterations](const std::function<void(long long)> &body) {
        QElapsedTimer timer;
        timer.start();
        body(iterations);
        return double(timer.nsecsElapsed()) / double(iterations);
    };
    std::vector<double> measured, baseline, ratios;
    for (int round = 0; round < rounds; ++round) {
        const double b = timeOnce(baselineBody);
        const double m = timeOnce(measuredBody);
        baseline.push_back(b);
        measured.push_back(m);
        ratios.push_back(m / b);
    }
    const auto median = [](std::vector<double> values) {
        std::sort(values.begin(), values.end());
        return values[values.size() / 2];
    };
    return {{median(measured), iterations}, {median(baseline), iterations}, median(ratios)};
}

// Prints one comparison line: "<name>: <ns> ns/op vs baseline <ns> ns/op, ratio R (goal G)".
// goalIsMaximum: the goal is a ratio at most G (slower than baseline by at most G); otherwise
// the goal is a speed-up of at least G (baseline / measured).
inline void report(const char *name, const Measurement &measured, const Measurement &baseline,
                   double goal, bool goalIsMaximum, double slowdown = 0)
{
    if (slowdown <= 0)
        slowdown = measured.nanosecondsPerOperation / baseline.nanosecondsPerOperation;
    const double ratio = goalIsMaximum ? slowdown : 1.0 / slowdown;
    const bool met = goalIsMaximum ? ratio <= goal : ratio >= goal;
    std::printf("%-44s %12.1f ns/op  baseline %12.1f ns/op  %s %.2f (goal %s %.2f) %s\n", name,
                measured.nanosecondsPerOperation, baseline.nanosecondsPerOperation,
                goalIsMaximum ? "ratio" : "speed-up", ratio, goalIsMaximum ? "<=" : ">=", goal,
                met ? "met" : "NOT MET");
    std::fflush(stdout);
}

inline void report(const char *name, const Comparison &comparison, double goal, bool goalIsMaximum)
{
    report(name, comparison.measured, comparison.baseline, goal, goalIsMaximum,
           comparison.medianRatio);
}

} // namespace vorn::bench
