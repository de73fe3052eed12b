// What the `torva` host adds to the plug-in's own cost, as multiples of realtime ("realtime":
// seconds of audio per second) for 60 s of stereo 48 kHz audio in blocks of 512 frames:
//
//   Render/float, Render/double     the whole `torva render` run as a user runs it: process
//                                   start, plug-in load, 24-bit WAV decode and encode, close
//   Plugin/float, Plugin/double     the same blocks through TORVA.so's process callbacks in
//                                   this process, nothing else (the floor any host can reach)
//
// After the table the program prints the host's overhead, 1 - Render / Plugin, per precision,
// from the best of five repetitions of each: the render runs three threads (reader, plug-in,
// writer), so on a shared machine its wall time swings with whatever else runs, and the best
// run is the one that shows the host rather than the neighbours. bench_amp measures the
// amplifier's DSP without the VST 2 layer beside these.

#include <benchmark/benchmark.h>

#include "framework/vst2/VstAbi.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

extern char** environ;

namespace
{
constexpr int kRate = 48000;
constexpr int kSeconds = 60;
constexpr int kFrames = kRate * kSeconds;
constexpr int kBlock = 512;

std::string BinDir()
{
  char buf[4096];
  const ssize_t n = readlink("/proc/self/exe", buf, sizeof(buf) - 1);
  std::string exe(buf, n > 0 ? size_t(n) : 0);
  return exe.substr(0, exe.find_last_of('/'));
}

// Guitar-like material: decaying plucked partials every half second, plus a little noise.
const std::vector<float>& Material(int channel)
{
  static std::vector<float> channels[2];
  std::vector<float>& m = channels[channel];
  if (m.empty())
  {
    m.resize(kFrames);
    uint32_t noise = 1 + channel;
    for (int i = 0; i < kFrames; ++i)
    {
      const double t = double(i % (kRate / 2)) / kRate;
      const double f = 82.41 * (1 + (i / (kRate / 2)) % 5) * (channel ? 1.5 : 1.0);
      noise = noise * 1664525u + 1013904223u;
      double v = 0.0;
      for (int h = 1; h <= 6; ++h) v += std::sin(2 * M_PI * f * h * t) / h;
      m[i] = float(0.3 * v * std::exp(-4.0 * t) + 0.002 * ((noise >> 8) / 8388608.0 - 1.0));
    }
  }
  return m;
}

// A 24-bit stereo WAV of the material, written once.
const std::string& InputFile()
{
  static std::string path;
  if (path.empty())
  {
    path = "/tmp/torva-bench-" + std::to_string(getpid()) + ".wav";
    std::FILE* f = std::fopen(path.c_str(), "wb");
    auto u32 = [&](uint32_t v)
    {
      for (int i = 0; i < 4; ++i) std::fputc((v >> (8 * i)) & 255, f);
    };
    auto u16 = [&](uint32_t v) { std::fputc(v & 255, f), std::fputc((v >> 8) & 255, f); };
    const uint32_t data = kFrames * 2 * 3;
    std::fputs("RIFF", f), u32(36 + data), std::fputs("WAVEfmt ", f), u32(16), u16(1), u16(2);
    u32(kRate), u32(kRate * 6), u16(6), u16(24), std::fputs("data", f), u32(data);
    for (int i = 0; i < kFrames; ++i)
      for (int c = 0; c < 2; ++c)
      {
        const int32_t s = int32_t(std::lround(double(Material(c)[i]) * 8388607.0));
        for (int b = 0; b < 3; ++b) std::fputc((uint32_t(s) >> (8 * b)) & 255, f);
      }
    std::fclose(f);
    std::atexit(
        []
        {
          std::remove(InputFile().c_str());
          std::remove((InputFile() + ".out.wav").c_str());
        });
  }
  return path;
}

bool RunTorvaRender(const char* precision)
{
  const std::string torva = BinDir() + "/torva", in = InputFile(), out = in + ".out.wav";
  std::vector<std::string> args = {
      torva, "render", in, out, "--block", std::to_string(kBlock), "--precision", precision};
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  pid_t pid;
  int status = -1;
  if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0)
    waitpid(pid, &status, 0);
  posix_spawn_file_actions_destroy(&actions);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

void Render(benchmark::State& state, const char* precision)
{
  InputFile();
  for (auto _ : state)
    if (!RunTorvaRender(precision))
    {
      state.SkipWithError("torva render failed (is TORVA.so built beside torva?)");
      return;
    }
  state.counters["realtime"] =
      benchmark::Counter(double(kSeconds) * state.iterations(), benchmark::Counter::kIsRate);
}

VstIntPtr Host(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float)
{
  return opcode == audioMasterVersion                  ? 2400
         : opcode == audioMasterGetCurrentProcessLevel ? kVstProcessLevelOffline
                                                       : 0;
}

template <typename T> void Plugin(benchmark::State& state)
{
  void* module = dlopen((BinDir() + "/TORVA.so").c_str(), RTLD_NOW | RTLD_LOCAL);
  auto entry =
      module ? reinterpret_cast<VstPluginMainProc>(dlsym(module, "VSTPluginMain")) : nullptr;
  AEffect* e = entry ? entry(Host) : nullptr;
  if (!e)
  {
    state.SkipWithError("TORVA.so is not built beside this benchmark");
    if (module) dlclose(module);
    return;
  }
  e->dispatcher(e, effOpen, 0, 0, nullptr, 0.0f);
  e->dispatcher(e, effSetSampleRate, 0, 0, nullptr, float(kRate));
  e->dispatcher(e, effSetBlockSize, 0, kBlock, nullptr, 0.0f);
  e->dispatcher(e, effMainsChanged, 0, 1, nullptr, 0.0f);
  std::vector<T> in[2], out[2];
  for (int c = 0; c < 2; ++c)
  {
    in[c].assign(Material(c).begin(), Material(c).end());
    out[c].resize(kBlock);
  }
  for (auto _ : state)
    for (int at = 0; at < kFrames; at += kBlock)
    {
      T* ins[2] = {in[0].data() + at, in[1].data() + at};
      T* outs[2] = {out[0].data(), out[1].data()};
      const int n = std::min(kBlock, kFrames - at);
      if constexpr (std::is_same_v<T, float>)
        e->processReplacing(e, ins, outs, n);
      else
        e->processDoubleReplacing(e, ins, outs, n);
      benchmark::DoNotOptimize(out[0].data());
    }
  state.counters["realtime"] =
      benchmark::Counter(double(kSeconds) * state.iterations(), benchmark::Counter::kIsRate);
  e->dispatcher(e, effMainsChanged, 0, 0, nullptr, 0.0f);
  e->dispatcher(e, effClose, 0, 0, nullptr, 0.0f);
  dlclose(module);
}

BENCHMARK_CAPTURE(Render, float, "float")
    ->Name("Render/float")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MinTime(1.0)
    ->Repetitions(5);
BENCHMARK_CAPTURE(Render, double, "double")
    ->Name("Render/double")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MinTime(1.0)
    ->Repetitions(5);
BENCHMARK(Plugin<float>)
    ->Name("Plugin/float")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MinTime(1.0)
    ->Repetitions(5);
BENCHMARK(Plugin<double>)
    ->Name("Plugin/double")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MinTime(1.0)
    ->Repetitions(5);

// Keeps each run's "realtime" so that the overhead can be stated after the table.
class Reporter : public benchmark::ConsoleReporter
{
public:
  std::map<std::string, double> mRealtime;
  void ReportRuns(const std::vector<Run>& runs) override
  {
    for (const Run& run : runs)
      if (!run.error_occurred && run.counters.count("realtime"))
      {
        double& best = mRealtime[run.run_name.function_name];
        best = std::max(best, run.counters.at("realtime").value);
      }
    ConsoleReporter::ReportRuns(runs);
  }
};
} // namespace

int main(int argc, char** argv)
{
  benchmark::Initialize(&argc, argv);
  Reporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  for (const char* precision : {"float", "double"})
  {
    const auto render = reporter.mRealtime.find(std::string("Render/") + precision);
    const auto plugin = reporter.mRealtime.find(std::string("Plugin/") + precision);
    if (render == reporter.mRealtime.end() || plugin == reporter.mRealtime.end()) continue;
    std::printf(
        "best of 5, %-6s: torva render %.1f x realtime, plug-in alone %.1f x realtime, host "
        "overhead %.1f %%\n",
        precision, render->second, plugin->second, 100.0 * (1.0 - render->second / plugin->second));
  }
  benchmark::Shutdown();
  return 0;
}
