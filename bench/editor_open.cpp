// The amplifier through TORVA.so as a host meets it, side by side:
//
//   first instance    VSTPluginMain to effOpen done, in a freshly loaded module (the artwork is
//                     decoded); the module is loaded before and unloaded after, untimed
//   second instance   the same with the module loaded and one instance alive (artwork cached)
//   editor open       effEditOpen until the first frame is on screen (one pixel read back until
//                     it leaves the parent's black), then effEditClose untimed; at 100 % and at
//                     200 % (asked the way Linux hosts ask), the first open of each timed alone
//                     (its artwork is decoded then)
//
// Rates are operations per second. After the table: the CPU time an open, idle editor uses over
// TORVA_IDLE_SECONDS (default 10) seconds, its own thread and the whole process, at both sizes.
// The editor figures need a 24-bit X display (DISPLAY; run under
// xvfb-run -s "-screen 0 2560x1600x24").
#include <benchmark/benchmark.h>
#include <dirent.h>
#include <dlfcn.h>
#include <sys/resource.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <chrono>
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <thread>

#include "bench/RatioReporter.h"
#include "framework/vst2/VstAbi.h"

namespace
{
using Clock = std::chrono::steady_clock;

VstIntPtr Callback(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float)
{
  return opcode == audioMasterVersion ? kVstVersion : 0;
}

struct Module
{
  void* handle = dlopen(TORVA_PLUGIN_PATH, RTLD_NOW | RTLD_LOCAL);
  VstPluginMainProc entry =
      handle ? reinterpret_cast<VstPluginMainProc>(dlsym(handle, "VSTPluginMain")) : nullptr;
  ~Module()
  {
    if (handle) dlclose(handle);
  }
};

AEffect* Instantiate(VstPluginMainProc entry)
{
  AEffect* e = entry(&Callback);
  e->dispatcher(e, effOpen, 0, 0, nullptr, 0.0f);
  return e;
}

void Close(AEffect* e)
{
  e->dispatcher(e, effClose, 0, 0, nullptr, 0.0f);
}

double ThreadCpuNow()
{
  timespec ts{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return (double)ts.tv_sec + ts.tv_nsec / 1e9;
}

void Counted(benchmark::State& state)
{
  // Operations per second, as millions of "items" per 10^6.
  state.SetItemsProcessed((int64_t)state.iterations() * 1000000);
}

// One instance made (timed as the iteration) and closed again; returns the thread CPU it took.
double TimedInstance(benchmark::State& state, VstPluginMainProc entry)
{
  const double c0 = ThreadCpuNow();
  const auto t0 = Clock::now();
  AEffect* e = Instantiate(entry);
  state.SetIterationTime(std::chrono::duration<double>(Clock::now() - t0).count());
  const double cpu = ThreadCpuNow() - c0;
  Close(e);
  return cpu;
}

// cpu_ms: the instantiating thread's own CPU time, which a busy machine does not inflate.
void BM_FirstInstance(benchmark::State& state)
{
  double cpu = 0.0;
  for (auto _ : state)
  {
    Module m;
    if (!m.entry)
    {
      state.SkipWithError("TORVA.so not loadable");
      return;
    }
    cpu += TimedInstance(state, m.entry);
  }
  state.counters["cpu_ms"] = 1000.0 * cpu / (double)state.iterations();
  // A module that stayed loaded would make every run but the first a second instance.
  if (dlopen(TORVA_PLUGIN_PATH, RTLD_NOW | RTLD_NOLOAD))
    state.SkipWithError("TORVA.so was not unloaded between runs");
  Counted(state);
}
BENCHMARK(BM_FirstInstance)->UseManualTime()->Unit(benchmark::kMillisecond);

void BM_SecondInstance(benchmark::State& state)
{
  Module m;
  AEffect* first = Instantiate(m.entry);
  double cpu = 0.0;
  for (auto _ : state) cpu += TimedInstance(state, m.entry);
  state.counters["cpu_ms"] = 1000.0 * cpu / (double)state.iterations();
  Close(first);
  Counted(state);
}
BENCHMARK(BM_SecondInstance)->UseManualTime()->Unit(benchmark::kMicrosecond);

// The editor size request some Linux hosts send before effEditOpen.
void AskScale(AEffect* e, int scale)
{
  e->dispatcher(e, effVendorSpecific, 0x50726553, 0x41654373, nullptr, (float)scale / 100.0f);
}

// The host's side of the display: a connection and a black parent window, room for 200 %.
struct HostWindow
{
  xcb_connection_t* conn = nullptr;
  xcb_window_t parent = 0;

  HostWindow()
  {
    const char* d = std::getenv("DISPLAY");
    if (!d || !*d) return;
    // A server just started may not take connections yet.
    for (int i = 0; i < 40; ++i)
    {
      conn = xcb_connect(d, nullptr);
      if (!xcb_connection_has_error(conn)) break;
      xcb_disconnect(conn);
      conn = nullptr;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    if (!conn) return;
    xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(conn)).data;
    parent = xcb_generate_id(conn);
    const uint32_t values[] = {screen->black_pixel};
    xcb_create_window(conn, XCB_COPY_FROM_PARENT, parent, screen->root, 0, 0, 2048, 570, 0,
                      XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, XCB_CW_BACK_PIXEL,
                      values);
    xcb_map_window(conn, parent);
    Sync();
  }
  ~HostWindow()
  {
    if (conn) xcb_disconnect(conn);
  }
  bool Ok() const { return conn && !xcb_connection_has_error(conn) && parent; }
  void Sync() { free(xcb_get_input_focus_reply(conn, xcb_get_input_focus(conn), nullptr)); }
  // The Bass knob's centre, as the server shows it at the size.
  uint32_t Probe(int scale = 100)
  {
    xcb_get_image_reply_t* img =
        xcb_get_image_reply(conn,
                            xcb_get_image(conn, XCB_IMAGE_FORMAT_Z_PIXMAP, parent,
                                          550 * scale / 100, 136 * scale / 100, 1, 1, ~0u),
                            nullptr);
    uint32_t p = 0;
    if (img && xcb_get_image_data_length(img) >= 4)
      p = *reinterpret_cast<const uint32_t*>(xcb_get_image_data(img)) & 0xFFFFFF;
    free(img);
    return p;
  }
};

// range(0): the size; range(1): 1 to time only the first open in a freshly loaded module.
void BM_EditorOpenToFirstFrame(benchmark::State& state)
{
  HostWindow host;
  if (!host.Ok())
  {
    state.SkipWithError("no X display");
    return;
  }
  const int scale = (int)state.range(0);
  const bool firstOnly = state.range(1) != 0;
  std::unique_ptr<Module> m;
  AEffect* e = nullptr;
  for (auto _ : state)
  {
    if (!m || firstOnly)
    {
      state.PauseTiming();
      if (e) Close(e);
      m.reset();
      m = std::make_unique<Module>();
      e = Instantiate(m->entry);
      state.ResumeTiming();
    }
    AskScale(e, scale);
    const auto t0 = Clock::now();
    if (!e->dispatcher(e, effEditOpen, 0, 0, (void*)(uintptr_t)host.parent, 0.0f))
    {
      state.SkipWithError("effEditOpen failed");
      break;
    }
    // Polled gently: the server and the editor thread share the machine with this loop.
    while (host.Probe(scale) == 0 && Clock::now() - t0 < std::chrono::seconds(5))
      std::this_thread::sleep_for(std::chrono::microseconds(200));
    state.SetIterationTime(std::chrono::duration<double>(Clock::now() - t0).count());
    e->dispatcher(e, effEditClose, 0, 0, nullptr, 0.0f);
    host.Sync();
    // The parent back to black for the next open.
    xcb_clear_area(host.conn, 0, host.parent, 0, 0, 0, 0);
    host.Sync();
  }
  if (e) Close(e);
  Counted(state);
}
BENCHMARK(BM_EditorOpenToFirstFrame)
    ->Args({100, 0})
    ->Args({200, 0})
    ->Args({100, 1})
    ->Args({200, 1})
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

std::set<int> Tasks()
{
  std::set<int> ids;
  if (DIR* d = opendir("/proc/self/task"))
  {
    while (dirent* ent = readdir(d))
      if (ent->d_name[0] != '.') ids.insert(std::atoi(ent->d_name));
    closedir(d);
  }
  return ids;
}

// utime + stime of a thread of this process, in seconds.
double ThreadCpu(int tid)
{
  std::ifstream in("/proc/self/task/" + std::to_string(tid) + "/stat");
  std::string stat((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const size_t close = stat.rfind(')');
  if (close == std::string::npos) return -1.0;
  // After the name: the state is field 3, utime and stime are fields 14 and 15.
  std::istringstream rest(stat.substr(close + 2));
  std::string field;
  double ticks = 0.0;
  for (int i = 3; i <= 15 && rest >> field; ++i)
    if (i >= 14) ticks += std::stod(field);
  return ticks / (double)sysconf(_SC_CLK_TCK);
}

double ProcessCpu()
{
  rusage ru{};
  getrusage(RUSAGE_SELF, &ru);
  return (double)ru.ru_utime.tv_sec + ru.ru_utime.tv_usec / 1e6 + (double)ru.ru_stime.tv_sec +
         ru.ru_stime.tv_usec / 1e6;
}

// An open editor nobody touches: the CPU its thread and the process use over a while.
void IdleEditor(int scale)
{
  HostWindow host;
  if (!host.Ok())
  {
    std::printf("\nidle editor: no X display, not measured\n");
    return;
  }
  const char* env = std::getenv("TORVA_IDLE_SECONDS");
  const double seconds = env && std::atof(env) > 0 ? std::atof(env) : 10.0;
  Module m;
  AEffect* e = Instantiate(m.entry);
  AskScale(e, scale);
  const std::set<int> before = Tasks();
  e->dispatcher(e, effEditOpen, 0, 0, (void*)(uintptr_t)host.parent, 0.0f);
  while (host.Probe(scale) == 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  std::this_thread::sleep_for(std::chrono::milliseconds(200)); // past the first frames
  int editor = -1;
  for (int tid : Tasks())
    if (!before.count(tid)) editor = tid;
  const double thread0 = ThreadCpu(editor), process0 = ProcessCpu();
  const auto t0 = Clock::now();
  std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
  const double wall = std::chrono::duration<double>(Clock::now() - t0).count();
  const double thread = ThreadCpu(editor) - thread0, process = ProcessCpu() - process0;
  e->dispatcher(e, effEditClose, 0, 0, nullptr, 0.0f);
  Close(e);
  std::printf("\nidle editor at %d %% over %.1f s: editor thread %.3f s CPU = %.3f %% of one core"
              " (target 0.5 %%); whole process %.3f s = %.3f %%\n",
              scale, wall, thread, 100.0 * thread / wall, process, 100.0 * process / wall);
}
} // namespace

int main(int argc, char** argv)
{
  // The sizes asked for here, not a remembered or configured one.
  setenv("XDG_CONFIG_HOME", "/nonexistent-torva-bench", 1);
  unsetenv("TORVA_SCALE");
  RatioReporter reporter(
      "Operations per second, side by side:",
      [](RatioReporter& r)
      {
        r.Ratio("second instance", "BM_SecondInstance/manual_time", "first instance",
                "BM_FirstInstance/manual_time");
        r.Ratio("second instance", "BM_SecondInstance/manual_time", "editor open to first frame",
                "BM_EditorOpenToFirstFrame/100/0/manual_time");
        r.Ratio("editor open at 100 %", "BM_EditorOpenToFirstFrame/100/0/manual_time",
                "editor open at 200 %", "BM_EditorOpenToFirstFrame/200/0/manual_time");
        r.Ratio("first editor open at 100 %", "BM_EditorOpenToFirstFrame/100/1/manual_time",
                "first editor open at 200 %", "BM_EditorOpenToFirstFrame/200/1/manual_time");
      });
  const int rc = RunBenchmarksWithRatios(argc, argv, reporter);
  if (rc == 0)
    for (int scale : {100, 200}) IdleEditor(scale);
  return rc;
}
