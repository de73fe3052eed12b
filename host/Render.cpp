#include "host/Render.h"

#include "host/ChainSettings.h"
#include "host/PluginChain.h"
#include "host/VstHost.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>

namespace
{
// Drawn only on a terminal: in a log file or a pipe the redrawn line is just noise.
class ProgressBar
{
public:
  ProgressBar(bool enabled, long long total)
      : mEnabled(enabled && total > 0 && isatty(STDERR_FILENO)), mTotal(total)
  {
  }
  void Update(long long done)
  {
    if (!mEnabled) return;
    const int percent = static_cast<int>(std::min<long long>(100, done * 100 / mTotal));
    if (percent == mShown) return;
    mShown = percent;
    constexpr int kWidth = 30;
    char bar[kWidth + 1];
    const int filled = percent * kWidth / 100;
    for (int i = 0; i < kWidth; ++i) bar[i] = i < filled ? '#' : '-';
    bar[kWidth] = '\0';
    std::fprintf(stderr, "\rrendering [%s] %3d%%", bar, percent);
    std::fflush(stderr);
  }
  void Finish()
  {
    if (mEnabled && mShown >= 0) std::fprintf(stderr, "\n");
    mEnabled = false;
  }
  ~ProgressBar() { Finish(); }

private:
  bool mEnabled;
  long long mTotal;
  int mShown = -1;
};
} // namespace

bool Render(const RenderJob& job, FrameSource& source, RenderReport& report, std::string& error)
{
  report = RenderReport();
  report.mSampleRate = source.SampleRate();
  if (job.mBlockSize < 1)
  {
    error = "the block size must be at least 1";
    return false;
  }
  PluginChain chain;
  if (!chain.Load(job.mPluginPaths, kVstProcessLevelOffline, error)) return false;
  for (size_t i = 0; i < chain.Size(); ++i) report.mEffectNames.push_back(chain.Name(i));
  if (!chain.PlanChannels(source.Channels(), error)) return false;
  report.mPlan = {chain.Plans().front().mInputs, chain.Plans().back().mOutputs,
                  chain.Plans().back().mFileOutputs};
  const bool useDouble = job.mPrecision == EPrecision::kDouble;
  for (size_t i = 0; i < chain.Size(); ++i)
  {
    const VstHost& host = chain.Plugin(i);
    if (useDouble && !host.CanDoubleReplace())
      error = chain.Who(i) + " cannot process double precision (no processDoubleReplacing)";
    if (!useDouble && !host.CanReplace() && !host.Effect()->process)
      error = chain.Who(i) + " offers no single-precision process callback";
    if (!error.empty()) return false;
  }
  chain.Prepare(source.SampleRate(), job.mBlockSize);
  if (!ConfigureChain(chain, job.mPresetPaths, job.mSettings, report.mApplied, report.mWarnings,
                      error, report.mUsageError))
    return false;

  AudioFileWriter writer;
  if (!writer.Open(job.mOutputPath, job.mOutputFormat, report.mPlan.mFileOutputs,
                   source.SampleRate(), error))
    return false;

  chain.Resume(useDouble);
  report.mLatency = chain.Latency(); // plug-ins may know it only once resumed

  ProgressBar progress(job.mProgress, source.Frames() + report.mLatency);
  const auto start = std::chrono::steady_clock::now();
  StreamTotals totals;
  bool ok = StreamThrough(
      chain, source, writer, job.mBlockSize, useDouble,
      [&](long long frames) { progress.Update(frames); }, totals, error);
  progress.Finish();
  report.mFrames = totals.mFrames;
  report.mPeakIn = totals.mPeakIn;
  report.mPeakOut = totals.mPeakOut;
  report.mNonFinite = totals.mNonFinite;
  chain.Suspend();
  chain.Unload();
  if (ok) ok = writer.Close(error);
  report.mSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  if (!ok)
  {
    writer.Discard();
    return false;
  }
  if (report.mNonFinite > 0)
    report.mWarnings.push_back(std::to_string(report.mNonFinite) +
                               " output samples were not finite and were written as 0");
  return true;
}
