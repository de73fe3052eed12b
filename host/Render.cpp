#include "host/Render.h"

#include "host/ParamText.h"
#include "host/PresetFiles.h"
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
  VstHost host;
  host.SetProcessLevel(kVstProcessLevelOffline);
  if (!host.Load(job.mPluginPath, error)) return false;
  AEffect* effect = host.Effect();
  report.mEntryName = host.EntryName();
  host.Open();
  report.mEffectName = host.EffectName();
  if (!PlanChannels(source.Channels(), effect->numInputs, effect->numOutputs,
                    (effect->flags & effFlagsCanMono) != 0, report.mPlan, error))
    return false;
  const bool useDouble = job.mPrecision == EPrecision::kDouble;
  if (useDouble && !host.CanDoubleReplace())
  {
    error = "the plug-in cannot process double precision (no processDoubleReplacing)";
    return false;
  }
  if (!useDouble && !host.CanReplace() && !effect->process)
  {
    error = "the plug-in offers no single-precision process callback";
    return false;
  }
  host.Prepare(source.SampleRate(), job.mBlockSize);
  if (!job.mPresetPath.empty())
  {
    if (!ApplyPresetFile(host, job.mPresetPath, report.mWarnings, error)) return false;
    report.mApplied.push_back("preset " + job.mPresetPath + " (" + host.ProgramName() + ")");
  }
  for (const std::string& setting : job.mSettings)
  {
    std::string applied;
    if (!ApplySetting(host, setting, applied, error)) return false;
    report.mApplied.push_back(applied);
  }
  if (effect->initialDelay > 0)
    report.mWarnings.push_back("the plug-in reports a latency of " +
                               std::to_string(effect->initialDelay) +
                               " samples; the output is not shifted");

  const ChannelPlan& plan = report.mPlan;
  AudioFileWriter writer;
  if (!writer.Open(job.mOutputPath, job.mOutputFormat, plan.mFileOutputs, source.SampleRate(),
                   error))
    return false;

  host.SetChannels(plan.mInputs, plan.mOutputs);
  host.Resume(useDouble);

  ProgressBar progress(job.mProgress, source.Frames());
  const auto start = std::chrono::steady_clock::now();
  StreamTotals totals;
  bool ok = StreamThrough(
      host, source, writer, job.mBlockSize, plan.mFileOutputs, useDouble,
      [&](long long frames) { progress.Update(frames); }, totals, error);
  progress.Finish();
  report.mFrames = totals.mFrames;
  report.mPeakIn = totals.mPeakIn;
  report.mPeakOut = totals.mPeakOut;
  report.mNonFinite = totals.mNonFinite;
  host.Suspend();
  host.Unload();
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
