// Keeps each benchmark's seconds per iteration (whatever unit it prints in), so a benchmark binary can
// print the ratios between its measurements after one run. Ratios are reported, never asserted.
#pragma once

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace bench {

class RatioReporter : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs)
            if (run.run_type == Run::RT_Iteration && run.iterations > 0 && !run.error_occurred)
                times[run.benchmark_name()] = run.real_accumulated_time / static_cast<double>(run.iterations);
        ConsoleReporter::ReportRuns(runs);
    }
    // Seconds per iteration of `name`, or 0 when it did not run.
    double Seconds(const std::string& name) const {
        auto it = times.find(name);
        return it == times.end() ? 0 : it->second;
    }
    std::map<std::string, double> times;
};

// Prints num / den with its target, when both ran.
inline void PrintRatio(const RatioReporter& r, const char* label, const char* num, const char* den, double target) {
    const double a = r.Seconds(num), b = r.Seconds(den);
    if (a <= 0 || b <= 0)
        return;
    std::printf("%-44s %6.3f  (target %.2f)\n", label, a / b, target);
}

} // namespace bench
