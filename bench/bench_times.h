// bench_times.h - a console reporter that also keeps each run's CPU time per
// iteration by name (the median when repetitions are asked for), so a
// benchmark can print its own comparison table after the runs. CPU time,
// because wall time on a shared machine also counts other processes.
#pragma once

#include <benchmark/benchmark.h>

#include <cmath>
#include <map>
#include <string>
#include <vector>

class VBenchTimes : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& r : runs) {
      if (r.error_occurred) continue;
      const std::string name = r.run_name.function_name;
      const bool median = r.run_type == Run::RT_Aggregate && r.aggregate_name == "median";
      if (median || (r.run_type == Run::RT_Iteration && medians.count(name) == 0)) times[name] = r.GetAdjustedCPUTime();
      if (median) medians[name] = true;
    }
  }

  // The kept time of a run, NaN when it did not run.
  double Time(const std::string& name) const {
    const auto it = times.find(name);
    return it == times.end() ? NAN : it->second;
  }

 protected:
  std::map<std::string, double> times;
  std::map<std::string, bool> medians;
};
