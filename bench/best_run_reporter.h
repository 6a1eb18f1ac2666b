// Console output of Google Benchmark plus, per benchmark, its best run (a
// single run, or the "min" aggregate of repetitions) for the summary tables
// the benchmarks print after the run.
#ifndef VORN_BENCH_BEST_RUN_REPORTER_H
#define VORN_BENCH_BEST_RUN_REPORTER_H

#include <map>
#include <string>
#include <vector>

#include <unistd.h>

#include <benchmark/benchmark.h>

namespace vornbench {

struct BestRun {
    double cpuSeconds = 0;                   // CPU time per iteration
    std::map<std::string, double> counters;  // counter values as reported
};

class BestRunReporter : public benchmark::ConsoleReporter {
public:
    BestRunReporter()
        : ConsoleReporter(isatty(STDOUT_FILENO) ? benchmark::ConsoleReporter::OO_Color
                                                : benchmark::ConsoleReporter::OO_None)
    {
    }

    void ReportRuns(const std::vector<Run> &runs) override
    {
        for (const Run &run : runs) {
            const bool single = run.run_type == Run::RT_Iteration && run.repetitions <= 1;
            const bool best = run.run_type == Run::RT_Aggregate && run.aggregate_name == "min";
            if (!(single || best) || run.error_occurred || run.iterations == 0)
                continue;
            BestRun &entry = mRuns[run.run_name.function_name];
            entry.cpuSeconds = run.cpu_accumulated_time / static_cast<double>(run.iterations);
            for (const auto &counter : run.counters)
                entry.counters[counter.first] = counter.second.value;
        }
        ConsoleReporter::ReportRuns(runs);
    }

    // The best run of the benchmark with this name (without its argument
    // suffixes such as min_time), or null when it did not run.
    const BestRun *find(const std::string &name) const
    {
        auto found = mRuns.find(name);
        return found != mRuns.end() ? &found->second : nullptr;
    }

private:
    std::map<std::string, BestRun> mRuns;
};

// Minimum over repetitions, registered as the "min" aggregate.
inline double minimumOf(const std::vector<double> &values)
{
    double best = values.empty() ? 0 : values.front();
    for (double value : values)
        best = value < best ? value : best;
    return best;
}

// Runs the registered benchmarks with a BestRunReporter, then summary.
template <typename Summary>
int runWithSummary(int argc, char **argv, Summary &&summary)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    BestRunReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    summary(reporter);
    benchmark::Shutdown();
    return 0;
}

}  // namespace vornbench

#endif
