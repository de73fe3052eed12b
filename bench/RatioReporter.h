#pragma once
// The console table of a benchmark program, followed by the comparisons that matter: each line
// sets one benchmark's rate (items_per_second, in millions) beside another's and gives their
// ratio. With repetitions, the median stands for a benchmark.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

class RatioReporter : public benchmark::ConsoleReporter
{
public:
  // heading: printed above the ratios; ratios: calls Ratio() for each line to show.
  RatioReporter(std::string heading, std::function<void(RatioReporter&)> ratios)
      : mHeading(std::move(heading)), mRatios(std::move(ratios))
  {
  }

  void ReportRuns(const std::vector<Run>& runs) override
  {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs)
    {
      if (run.error_occurred) continue;
      if (!run.aggregate_name.empty() && run.aggregate_name != "median") continue;
      auto it = run.counters.find("items_per_second");
      if (it != run.counters.end()) mRates[run.run_name.str()] = it->second.value / 1e6;
    }
  }

  void Finalize() override
  {
    ConsoleReporter::Finalize();
    std::printf("\n%s\n", mHeading.c_str());
    mRatios(*this);
  }

  // "a  rate  vs  b  rate  ratio a/b"; nothing when either benchmark did not run.
  void Ratio(const std::string& a, const std::string& aKey, const std::string& b,
             const std::string& bKey)
  {
    auto ia = mRates.find(aKey), ib = mRates.find(bKey);
    if (ia == mRates.end() || ib == mRates.end()) return;
    std::printf("  %-36s %9.2f  vs  %-24s %9.2f   ratio %.2f\n", a.c_str(), ia->second, b.c_str(),
                ib->second, ia->second / ib->second);
  }

private:
  std::string mHeading;
  std::function<void(RatioReporter&)> mRatios;
  std::map<std::string, double> mRates;
};

// The main of a benchmark program that ends with its ratios.
inline int RunBenchmarksWithRatios(int argc, char** argv, RatioReporter& reporter)
{
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
