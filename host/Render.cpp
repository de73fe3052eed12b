#include "host/Render.h"

#include "host/AudioFile.h"
#include "framework/fxfile/FxFile.h"
#include "host/TextFormat.h"
#include "host/VstHost.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <limits>
#include <mutex>
#include <optional>
#include <thread>

namespace
{
constexpr int kChunkFrames = 32768; // frames per read and write, rounded up to whole blocks

std::string Quoted(const std::string& text)
{
  return "\"" + text + "\"";
}

// "Bass = 0.70 %" as the plug-in shows the parameter now.
std::string Describe(VstHost& host, int index)
{
  std::string text = host.ParamName(index) + " = " + host.ParamDisplay(index);
  const std::string label = host.ParamLabel(index);
  if (!label.empty()) text += " " + label;
  return text;
}

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

// The largest finite |x| of n samples; `nonFinite` tells whether any was NaN or infinite.
// The common all-finite case runs four lanes without branches (the compiler turns them into
// vector max and add); x * 0 is NaN exactly for NaN and infinity, so a zero sum proves the
// block clean. Otherwise a plain loop skips the bad samples.
template <typename T> double Peak(const T* x, size_t n, bool& nonFinite)
{
  T m[4] = {0, 0, 0, 0};
  T z[4] = {0, 0, 0, 0};
  size_t i = 0;
  for (; i + 4 <= n; i += 4)
    for (int k = 0; k < 4; ++k)
    {
      const T a = std::fabs(x[i + k]);
      m[k] = a > m[k] ? a : m[k];
      z[k] += x[i + k] * T(0);
    }
  for (; i < n; ++i)
  {
    const T a = std::fabs(x[i]);
    m[0] = a > m[0] ? a : m[0];
    z[0] += x[i] * T(0);
  }
  nonFinite = !((z[0] + z[1]) + (z[2] + z[3]) == T(0));
  if (!nonFinite) return static_cast<double>(std::max(std::max(m[0], m[1]), std::max(m[2], m[3])));
  double peak = 0.0;
  for (i = 0; i < n; ++i)
    if (std::fabs(x[i]) <= std::numeric_limits<T>::max())
      peak = std::max(peak, static_cast<double>(std::fabs(x[i])));
  return peak;
}

// Chunks of audio travelling reader -> plug-in -> writer. Reading and writing run on their own
// threads a few chunks ahead of and behind the plug-in, so file I/O and the conversion between
// interleaved and planar samples overlap the processing instead of adding to it (a DAW's disk
// threads do the same); the rendering thread only calls the plug-in, on the chunk's own planar
// buffers. Each stage takes the chunks in order; chunk `seq` lives in slot seq % kSlots and
// moves free -> filled -> processed -> free. A chunk of no frames marks the end.
template <typename T> class Pipeline
{
public:
  enum EState
  {
    kFree,
    kFilled,
    kProcessed
  };
  struct Slot
  {
    std::vector<std::vector<T>> mIn, mOut; // every input and output the plug-in has
    long mFrames = 0;
    EState mState = kFree;
  };
  static constexpr int kSlots = 4;

  Pipeline(long chunkFrames, int fileIn, int pluginIn, int fileOut, int pluginOut)
      : mChunkFrames(chunkFrames), mFileIn(fileIn), mFileOut(fileOut),
        mReadBuffer(static_cast<size_t>(chunkFrames) * fileIn),
        mWriteBuffer(static_cast<size_t>(chunkFrames) * fileOut)
  {
    for (Slot& slot : mSlots)
    {
      slot.mIn.assign(pluginIn, std::vector<T>(chunkFrames, T(0)));
      slot.mOut.assign(pluginOut, std::vector<T>(chunkFrames, T(0)));
    }
  }

  // The slot of chunk `seq` once it is in `state`; null when the pipeline stopped.
  Slot* Wait(long seq, EState state)
  {
    std::unique_lock<std::mutex> lock(mMutex);
    Slot& slot = mSlots[seq % kSlots];
    mChanged.wait(lock, [&] { return mStopped || slot.mState == state; });
    return mStopped ? nullptr : &slot;
  }
  void Pass(Slot* slot, EState state)
  {
    {
      std::lock_guard<std::mutex> lock(mMutex);
      slot->mState = state;
    }
    mChanged.notify_all();
  }
  void Stop(const std::string& error = {})
  {
    {
      std::lock_guard<std::mutex> lock(mMutex);
      mStopped = true;
      if (mError.empty()) mError = error;
    }
    mChanged.notify_all();
  }
  std::string Error()
  {
    std::lock_guard<std::mutex> lock(mMutex);
    return mError;
  }

  void RunReader(FrameSource& source)
  {
    for (long seq = 0;; ++seq)
    {
      Slot* slot = Wait(seq, kFree);
      if (!slot) return;
      const long frames = std::max(source.Read(mReadBuffer.data(), mChunkFrames), 0L);
      bool nonFinite = false;
      mPeakIn = std::max(mPeakIn, Peak(mReadBuffer.data(), size_t(frames) * mFileIn, nonFinite));
      for (int c = 0; c < mFileIn; ++c)
      {
        T* dst = slot->mIn[c].data();
        const T* src = mReadBuffer.data() + c;
        for (long i = 0; i < frames; ++i) dst[i] = src[i * mFileIn];
      }
      // Inputs the file does not feed are silent, even if the plug-in wrote into them.
      for (size_t c = mFileIn; c < slot->mIn.size(); ++c)
        std::fill(slot->mIn[c].begin(), slot->mIn[c].end(), T(0));
      slot->mFrames = frames;
      Pass(slot, kFilled);
      if (frames == 0) return;
    }
  }

  void RunWriter(AudioFileWriter& writer)
  {
    for (long seq = 0;; ++seq)
    {
      Slot* slot = Wait(seq, kProcessed);
      if (!slot || slot->mFrames == 0) return;
      const long frames = slot->mFrames;
      for (int c = 0; c < mFileOut; ++c)
      {
        const T* src = slot->mOut[c].data();
        T* dst = mWriteBuffer.data() + c;
        for (long i = 0; i < frames; ++i) dst[i * mFileOut] = src[i];
      }
      Pass(slot, kFree);
      const size_t n = static_cast<size_t>(frames) * mFileOut;
      bool nonFinite = false;
      mPeakOut = std::max(mPeakOut, Peak(mWriteBuffer.data(), n, nonFinite));
      if (nonFinite) // rare: NaN or infinity would poison the file, so they become 0
        for (size_t i = 0; i < n; ++i)
          if (!(std::fabs(mWriteBuffer[i]) <= std::numeric_limits<T>::max()))
          {
            ++mNonFinite;
            mWriteBuffer[i] = T(0);
          }
      std::string error;
      if (!writer.Write(mWriteBuffer.data(), frames, error))
      {
        Stop(error);
        return;
      }
    }
  }

  // Owned by the reader and the writer thread; read once both have been joined.
  double mPeakIn = 0.0;
  double mPeakOut = 0.0;
  long long mNonFinite = 0;

private:
  const long mChunkFrames;
  const int mFileIn, mFileOut;
  std::vector<T> mReadBuffer;  // the reader's interleaved frames
  std::vector<T> mWriteBuffer; // the writer's
  Slot mSlots[kSlots];
  std::mutex mMutex;
  std::condition_variable mChanged;
  bool mStopped = false;
  std::string mError;
};

// Reads, processes and writes the whole source; false with `error` when writing failed.
template <typename T>
bool Stream(VstHost& host, FrameSource& source, AudioFileWriter& writer, int block, int fileOut,
            ProgressBar& progress, RenderReport& report, std::string& error)
{
  AEffect* effect = host.Effect();
  // Whole blocks per chunk, so that the plug-in sees the same blocks as without chunks.
  const long chunkFrames =
      static_cast<long>(block) * std::max(1, (kChunkFrames + block - 1) / block);
  Pipeline<T> pipeline(chunkFrames, source.Channels(), effect->numInputs, fileOut,
                       effect->numOutputs);
  std::vector<T*> ins(effect->numInputs), outs(effect->numOutputs);
  std::thread readerThread([&] { pipeline.RunReader(source); });
  std::thread writerThread([&] { pipeline.RunWriter(writer); });
  for (long seq = 0;; ++seq)
  {
    typename Pipeline<T>::Slot* slot = pipeline.Wait(seq, Pipeline<T>::kFilled);
    if (!slot) break; // the writer failed
    for (long at = 0; at < slot->mFrames; at += block)
    {
      const int n = static_cast<int>(std::min<long>(block, slot->mFrames - at));
      for (size_t c = 0; c < ins.size(); ++c) ins[c] = slot->mIn[c].data() + at;
      for (size_t c = 0; c < outs.size(); ++c) outs[c] = slot->mOut[c].data() + at;
      if constexpr (std::is_same_v<T, float>)
        host.ProcessFloat(ins.data(), outs.data(), n);
      else
        host.ProcessDouble(ins.data(), outs.data(), n);
    }
    report.mFrames += slot->mFrames;
    const bool end = slot->mFrames == 0;
    pipeline.Pass(slot, Pipeline<T>::kProcessed); // the end marker too: it stops the writer
    if (end) break;
    progress.Update(report.mFrames);
  }
  writerThread.join();
  pipeline.Stop();
  readerThread.join();
  report.mPeakIn = pipeline.mPeakIn;
  report.mPeakOut = pipeline.mPeakOut;
  report.mNonFinite = pipeline.mNonFinite;
  error = pipeline.Error();
  return error.empty();
}

// The leading decimal number of a display text ("  -3.50 dB" -> -3.5), read without the locale.
std::optional<double> LeadingNumber(const std::string& text)
{
  const char* first = text.c_str();
  const char* last = first + text.size();
  while (first != last && *first == ' ') ++first;
  if (first != last && *first == '+') ++first;
  double value = 0.0;
  auto [end, ec] = std::from_chars(first, last, value);
  if (ec != std::errc() || end == first || !std::isfinite(value)) return std::nullopt;
  return value;
}

// For plug-ins that do not read values as text: find the normalised value whose display shows
// `target`, by bisection over the display (assumed monotonic, as parameter displays are).
// Targets beyond the ends are clamped to them.
bool SetByDisplay(VstHost& host, int index, double target)
{
  AEffect* e = host.Effect();
  auto displayAt = [&](float v)
  {
    e->setParameter(e, index, v);
    return LeadingNumber(host.ParamDisplay(index));
  };
  const auto d0 = displayAt(0.0f);
  const auto d1 = displayAt(1.0f);
  if (!d0 || !d1) return false;
  const bool rising = *d1 >= *d0;
  float lo = 0.0f, hi = 1.0f;
  for (int i = 0; i < 40 && hi - lo > 1e-7f; ++i)
  {
    const float mid = 0.5f * (lo + hi);
    const auto d = displayAt(mid);
    if (!d) return false;
    if ((*d < target) == rising)
      lo = mid;
    else
      hi = mid;
  }
  // The closer end of the final interval (by display) wins.
  const auto dLo = displayAt(lo);
  const auto dHi = displayAt(hi);
  const bool useHi = dHi && (!dLo || std::fabs(*dHi - target) < std::fabs(*dLo - target));
  e->setParameter(e, index, useHi ? hi : lo);
  return true;
}

std::string Trim(const std::string& text)
{
  const size_t first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

bool SameIgnoringCase(const std::string& a, const std::string& b)
{
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  return true;
}

// The number a --set value states: text that reads whole as a finite decimal number, optionally
// followed by the parameter's label ("-3.5", "+2", "3 dB", "3dB"); without the label. nullopt
// for anything else ("abc", "3 apples", "1e999", "inf", "").
std::optional<std::string> NumberText(const std::string& value, const std::string& label)
{
  const std::string text = Trim(value);
  const char* first = text.c_str();
  const char* last = first + text.size();
  const char* start = first != last && *first == '+' ? first + 1 : first;
  if (start == last || *start == '-' || *start == '+') start = first; // "+-3" stays invalid
  double number = 0.0;
  auto [end, ec] = std::from_chars(start, last, number);
  if (ec != std::errc() || end == start || !std::isfinite(number)) return std::nullopt;
  if (!std::isdigit(static_cast<unsigned char>(*start)) && *start != '-' && *start != '.')
    return std::nullopt; // "inf", "nan"
  const std::string rest = Trim(std::string(end, last));
  if (!rest.empty() && (label.empty() || !SameIgnoringCase(rest, Trim(label)))) return std::nullopt;
  return std::string(first, end);
}

// What the parameter displays across its range: the distinct texts with the first normalised
// value showing each, in order. The parameter is left as it was found.
struct DisplayStop
{
  std::string mText;
  float mValue;
};
std::vector<DisplayStop> ProbeDisplays(VstHost& host, int index)
{
  AEffect* e = host.Effect();
  const float saved = e->getParameter(e, index);
  constexpr int kSteps = 200;
  std::vector<DisplayStop> stops;
  for (int k = 0; k <= kSteps; ++k)
  {
    const float v = static_cast<float>(k) / kSteps;
    e->setParameter(e, index, v);
    const std::string text = Trim(host.ParamDisplay(index));
    if (std::none_of(stops.begin(), stops.end(),
                     [&](const DisplayStop& s) { return s.mText == text; }))
      stops.push_back({text, v});
  }
  e->setParameter(e, index, saved);
  return stops;
}

// The one-line account of what a parameter accepts, from what it displays.
std::string Accepted(VstHost& host, int index, const std::vector<DisplayStop>& stops)
{
  const std::string label = Trim(host.ParamLabel(index));
  bool numbers = !stops.empty();
  for (const DisplayStop& s : stops) numbers = numbers && NumberText(s.mText, label).has_value();
  if (numbers)
    return "expected a number from " + stops.front().mText + " to " + stops.back().mText +
           (label.empty() ? "" : " (" + label + ")");
  std::string list;
  for (const DisplayStop& s : stops) list += (list.empty() ? "" : ", ") + Quoted(s.mText);
  return "expected a number or one of " + list;
}

std::string ParamList(VstHost& host)
{
  std::string list;
  for (int i = 0; i < host.Effect()->numParams; ++i)
    list += (i ? ", " : "") + Quoted(host.ParamName(i));
  return list.empty() ? "none" : list;
}
} // namespace

MemorySource::MemorySource(std::vector<std::vector<float>> channels, int sampleRate)
    : mChannels(std::move(channels)), mSampleRate(sampleRate)
{
  if (!mChannels.empty())
  {
    mFrames = static_cast<long long>(mChannels[0].size());
    for (const auto& c : mChannels) mFrames = std::min<long long>(mFrames, c.size());
  }
}

template <typename T> long MemorySource::ReadAs(T* interleaved, long frames)
{
  const long n = static_cast<long>(std::min<long long>(frames, mFrames - mPosition));
  const int channels = Channels();
  for (long i = 0; i < n; ++i)
    for (int c = 0; c < channels; ++c)
      interleaved[i * channels + c] = static_cast<T>(mChannels[c][mPosition + i]);
  mPosition += std::max(n, 0L);
  return std::max(n, 0L);
}

long MemorySource::Read(double* interleaved, long frames)
{
  return ReadAs(interleaved, frames);
}

long MemorySource::Read(float* interleaved, long frames)
{
  return ReadAs(interleaved, frames);
}

bool PlanChannels(int fileChannels, int pluginInputs, int pluginOutputs, bool canMono,
                  ChannelPlan& plan, std::string& error)
{
  if (pluginInputs < 1 || pluginOutputs < 1)
  {
    error = "the plug-in has " + std::to_string(pluginInputs) + " inputs and " +
            std::to_string(pluginOutputs) + " outputs; it cannot process an audio file";
    return false;
  }
  if (fileChannels == pluginInputs)
  {
    plan = {pluginInputs, pluginOutputs, pluginOutputs};
    return true;
  }
  if (fileChannels == 1 && canMono)
  {
    plan = {1, 1, 1};
    return true;
  }
  error = "the input has " + std::to_string(fileChannels) + " channel" +
          (fileChannels == 1 ? "" : "s") + " but the plug-in takes " +
          std::to_string(pluginInputs) + (canMono && pluginInputs != 1 ? " or 1" : "");
  return false;
}

bool ApplyPresetFile(VstHost& host, const std::string& path, std::vector<std::string>& notes,
                     std::string& error)
{
  FxFile file;
  if (!ReadFxFile(path, file, error)) return false;
  AEffect* effect = host.Effect();
  if (file.mPluginId != effect->uniqueID)
  {
    error = path + " is for the plug-in '" + FormatFourCC(file.mPluginId) + "', not for '" +
            FormatFourCC(effect->uniqueID) + "'";
    return false;
  }
  auto applyValues = [&](const FxProgram& program)
  {
    const size_t n = std::min<size_t>(program.mValues.size(), effect->numParams);
    for (size_t i = 0; i < n; ++i)
      effect->setParameter(effect, static_cast<VstInt32>(i), program.mValues[i]);
    if (program.mValues.size() != static_cast<size_t>(effect->numParams))
      notes.push_back(path + " holds " + std::to_string(program.mValues.size()) + " values for " +
                      std::to_string(effect->numParams) + " parameters");
  };
  auto nameProgram = [&](const std::string& name)
  {
    if (name.empty()) return;
    char buf[kVstMaxProgNameLen] = {};
    name.copy(buf, sizeof(buf) - 1);
    host.Dispatch(effSetProgramName, 0, 0, buf);
  };
  switch (file.mKind)
  {
  case FxFile::kProgramValues:
    applyValues(file.mProgram);
    nameProgram(file.mProgram.mName);
    break;
  case FxFile::kProgramChunk:
  case FxFile::kBankChunk:
  {
    const bool program = file.mKind == FxFile::kProgramChunk;
    if (file.mChunk.empty() ||
        host.Dispatch(effSetChunk, program ? 1 : 0, static_cast<VstIntPtr>(file.mChunk.size()),
                      file.mChunk.data()) == 0)
    {
      error = "the plug-in rejected the state in " + path;
      return false;
    }
    if (program) nameProgram(file.mProgram.mName);
    break;
  }
  case FxFile::kBankValues:
  {
    const int programs = std::min<int>(static_cast<int>(file.mBank.size()), effect->numPrograms);
    for (int k = 0; k < programs; ++k)
    {
      host.Dispatch(effSetProgram, 0, k);
      applyValues(file.mBank[k]);
      nameProgram(file.mBank[k].mName);
    }
    if (file.mCurrentProgram >= 0 && file.mCurrentProgram < effect->numPrograms)
      host.Dispatch(effSetProgram, 0, file.mCurrentProgram);
    break;
  }
  }
  return true;
}

namespace
{
// Replaces `path` with `bytes` through a temporary file beside it, so that a failure leaves
// neither a partial file nor a damaged old one.
bool WriteWhole(const std::string& path, const std::vector<unsigned char>& bytes,
                std::string& error)
{
  struct stat st;
  if (stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode))
  {
    error = "cannot write " + path + ": not a regular file";
    return false;
  }
  std::string temp = path + ".XXXXXX";
  const int fd = mkstemp(temp.data());
  if (fd < 0)
  {
    error = "cannot write " + path + ": " + std::strerror(errno);
    return false;
  }
  size_t done = 0;
  while (done < bytes.size())
  {
    const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += static_cast<size_t>(n);
  }
  const int writeErrno = done < bytes.size() ? (errno ? errno : EIO) : 0;
  const bool closed = close(fd) == 0;
  if (writeErrno || !closed || fchmodat(AT_FDCWD, temp.c_str(), 0644, 0) != 0 ||
      std::rename(temp.c_str(), path.c_str()) != 0)
  {
    error = "cannot write " + path + ": " + std::strerror(writeErrno ? writeErrno : errno);
    unlink(temp.c_str());
    return false;
  }
  return true;
}
} // namespace

bool WritePresetFile(VstHost& host, const std::string& path, bool bank, std::string& what,
                     std::string& error)
{
  AEffect* e = host.Effect();
  FxFile file;
  file.mPluginId = e->uniqueID;
  file.mPluginVersion = e->version;
  file.mCount = bank ? e->numPrograms : e->numParams;
  const VstIntPtr current = host.Dispatch(effGetProgram);
  file.mCurrentProgram = static_cast<int32_t>(current);
  auto values = [&]
  {
    FxProgram program;
    program.mName = host.ProgramName();
    for (int i = 0; i < e->numParams; ++i) program.mValues.push_back(e->getParameter(e, i));
    return program;
  };
  if (e->flags & effFlagsProgramChunks)
  {
    void* data = nullptr;
    const VstIntPtr size = host.Dispatch(effGetChunk, bank ? 0 : 1, 0, &data);
    if (size <= 0 || !data)
    {
      error = "the plug-in handed out no state to write";
      return false;
    }
    file.mKind = bank ? FxFile::kBankChunk : FxFile::kProgramChunk;
    file.mChunk.assign(static_cast<const unsigned char*>(data),
                       static_cast<const unsigned char*>(data) + size);
    if (!bank) file.mProgram.mName = host.ProgramName();
    what = (bank ? "bank state, " : "program state, ") + std::to_string(size) + " bytes";
  }
  else if (!bank)
  {
    file.mKind = FxFile::kProgramValues;
    file.mProgram = values();
    what =
        "program " + Quoted(file.mProgram.mName) + ", " + std::to_string(e->numParams) + " values";
  }
  else
  {
    // Each program is read by making it current, as hosts do; the current one comes back.
    file.mKind = FxFile::kBankValues;
    for (int k = 0; k < e->numPrograms; ++k)
    {
      if (k != current) host.Dispatch(effSetProgram, 0, k);
      file.mBank.push_back(values());
      if (k != current) host.Dispatch(effSetProgram, 0, current);
    }
    what = "bank of " + std::to_string(e->numPrograms) + " programs, " +
           std::to_string(e->numParams) + " values each";
  }
  std::vector<unsigned char> bytes;
  if (!WriteFxFile(file, bytes))
  {
    error = "the plug-in's state does not fit a preset file";
    return false;
  }
  return WriteWhole(path, bytes, error);
}

bool ApplySetting(VstHost& host, const std::string& setting, std::string& applied,
                  std::string& error)
{
  int index = -1;
  size_t split = std::string::npos;
  for (size_t eq = setting.rfind('='); eq != std::string::npos && index < 0;
       eq = eq ? setting.rfind('=', eq - 1) : std::string::npos)
  {
    index = host.FindParam(setting.substr(0, eq));
    split = eq;
  }
  if (setting.find('=') == std::string::npos)
  {
    error = "--set needs NAME=VALUE, got " + Quoted(setting);
    return false;
  }
  if (index < 0)
  {
    error = "unknown parameter " + Quoted(setting.substr(0, setting.find('='))) +
            "; valid names: " + ParamList(host);
    return false;
  }
  const std::string value = setting.substr(split + 1);
  // Plug-ins read text leniently ("abc" as 0), so only a number or a text the parameter itself
  // displays is handed over; anything else is refused before it changes the parameter.
  if (const auto numberText = NumberText(value, host.ParamLabel(index)))
  {
    const auto number = LeadingNumber(*numberText);
    if (!host.SetParamFromText(index, *numberText) &&
        !(number && SetByDisplay(host, index, *number)))
    {
      error =
          "the plug-in did not accept " + Quoted(value) + " for " + Quoted(host.ParamName(index));
      return false;
    }
    applied = Describe(host, index);
    return true;
  }
  const std::vector<DisplayStop> stops = ProbeDisplays(host, index);
  const std::string text = Trim(value);
  for (const DisplayStop& s : stops)
    if (!text.empty() && SameIgnoringCase(s.mText, text))
    {
      host.Effect()->setParameter(host.Effect(), index, s.mValue);
      applied = Describe(host, index);
      return true;
    }
  error = "--set " + setting + ": " + Accepted(host, index, stops);
  return false;
}

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
  bool ok = useDouble ? Stream<double>(host, source, writer, job.mBlockSize, plan.mFileOutputs,
                                       progress, report, error)
                      : Stream<float>(host, source, writer, job.mBlockSize, plan.mFileOutputs,
                                      progress, report, error);
  progress.Finish();
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
