// What a guitarist hears: whether the audio callback of a VST 2 host misses its period while the
// host's other threads do ordinary things to the plug-in.
//
//   bench_rt_load [TORVA.so ...]
//
// Each module given (default: the one this build makes) is loaded once; every scenario then runs
// on a fresh instance of each module in turn, so that their rows sit together. An audio thread
// calls processReplacing every 64 frames at 48 kHz against absolute deadlines, at SCHED_FIFO
// where the system allows it, while the host's other threads
//
//   idle                     do nothing (the baseline)
//   setparam_1khz            setParameter, a random one of 0..7 to a random value, every 1 ms
//   setparam_flat_out_busy   setParameter as fast as they can, two spinning threads beside it
//   chunk_100hz              effGetChunk and effSetChunk of the program chunk, 100 times a second
//   fxp_10hz                 load a preset file 10 times a second: effSetChunk of a program
//                            chunk taken at the start, inside effBeginSetProgram/effEndSetProgram
//   editor_loop              effEditOpen, 200 ms of effEditIdle every 30 ms, effEditClose, again
//   editor_drag_slow_host    the editor open, its Bass knob dragged with fake input, and a host
//                            that takes 2 ms to answer each automation and gesture call
//
// A row for each: the callbacks' durations as median, 99.9th percentile and maximum, and how many
// ran longer than the period (1.333 ms). The editor scenarios run on a private Xvfb unless
// TORVA_RT_DISPLAY names a display. TORVA_RT_SECONDS is each scenario's length (default 4).
// Thirty seconds without progress end the program with the scenario named and exit code 3.
#include <dlfcn.h>
#include <locale.h>
#include <pthread.h>
#include <sched.h>
#include <signal.h>
#include <time.h>
#include <unistd.h>
#include <xcb/xcb.h>
#include <xcb/xtest.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "framework/vst2/VstAbi.h"
#include "tests/x11/XvfbServer.h"

namespace
{
using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr int kRate = 48000;
constexpr int kBlock = 64;
// One period, 64 / 48000 s, is 4000000 / 3 ns: deadlines are kept as exact multiples of it.
constexpr int64_t kPeriodNum = 4000000, kPeriodDen = 3;
constexpr double kPeriodMs = 1e-6 * kPeriodNum / kPeriodDen;
constexpr int kAudioPriority = 80;
constexpr double kTwoPi = 6.283185307179586;
constexpr int kWatchdogSeconds = 30;
// The Bass knob's centre: its 72-pixel film strip sits at (514, 100) of the editor, whose
// parent is put at the root's origin.
constexpr int kBassX = 514 + 36, kBassY = 100 + 36;

int64_t NowNs()
{
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return (int64_t)ts.tv_sec * 1000000000 + ts.tv_nsec;
}

// ---- Where the run is, for the watchdog and a crash --------------------------------------------

std::atomic<int64_t> gBeat{0};
std::atomic<const char*> gModule{"-"}, gScenario{"-"}, gPhase{"starting"};
std::atomic<uint64_t> gAudioCallbacks{0};
std::atomic<pid_t> gXvfbPid{-1};
std::atomic<bool> gDone{false};

void Beat(const char* phase)
{
  gPhase.store(phase);
  gBeat.store(NowNs());
}

void Say(const char* s)
{
  if (write(2, s, std::strlen(s)) < 0) return;
}

// A private server would outlive us: it is ended by hand on the way out.
void KillXvfb()
{
  const pid_t pid = gXvfbPid.exchange(-1);
  if (pid > 0) kill(pid, SIGTERM);
}

// Only async-signal-safe calls: the plug-in may have crashed anywhere.
void OnCrash(int sig)
{
  char number[4] = {(char)('0' + sig / 10 % 10), (char)('0' + sig % 10), 0, 0};
  Say("\nbench_rt_load: signal ");
  Say(number[0] == '0' ? number + 1 : number);
  Say(" in module ");
  Say(gModule.load());
  Say(", scenario ");
  Say(gScenario.load());
  Say(", while ");
  Say(gPhase.load());
  Say("\n");
  KillXvfb();
  raise(sig); // SA_RESETHAND: the default action now
}

void Watchdog()
{
  while (!gDone.load())
  {
    std::this_thread::sleep_for(milliseconds(200));
    if (NowNs() - gBeat.load() < (int64_t)kWatchdogSeconds * 1000000000) continue;
    std::fflush(stdout);
    std::fprintf(stderr,
                 "\nbench_rt_load: no progress for %d s in module %s, scenario %s, while %s "
                 "(%llu audio callbacks so far)\n",
                 kWatchdogSeconds, gModule.load(), gScenario.load(), gPhase.load(),
                 (unsigned long long)gAudioCallbacks.load());
    KillXvfb();
    _exit(3);
  }
}

// ---- The host callback ------------------------------------------------------------------------

enum Role
{
  kGuiThread,
  kAudioThread,
  kOtherThread,
  kNumRoles
};
thread_local Role tRole = kOtherThread;

enum Gesture
{
  kAutomate,
  kBeginEdit,
  kEndEdit,
  kNumGestures
};
std::atomic<bool> gSlowHost{false};
std::atomic<int> gGestures[kNumGestures][kNumRoles];

VstIntPtr HostCallback(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void* ptr, float)
{
  switch (opcode)
  {
  case audioMasterVersion:
    return kVstVersion;
  case audioMasterGetProductString:
  case audioMasterGetVendorString:
    if (!ptr) return 0;
    std::snprintf(static_cast<char*>(ptr), kVstMaxProductStrLen, "RT Load Host");
    return 1;
  case audioMasterGetVendorVersion:
    return 1;
  case audioMasterAutomate:
  case audioMasterBeginEdit:
  case audioMasterEndEdit:
  {
    const int g = opcode == audioMasterAutomate    ? kAutomate
                  : opcode == audioMasterBeginEdit ? kBeginEdit
                                                   : kEndEdit;
    gGestures[g][tRole].fetch_add(1);
    // A host that writes automation or updates its own display before it returns.
    if (gSlowHost.load()) std::this_thread::sleep_for(milliseconds(2));
    return 0;
  }
  default:
    return 0;
  }
}

VstIntPtr Dispatch(AEffect* e, VstInt32 op, VstInt32 index = 0, VstIntPtr value = 0,
                   void* ptr = nullptr, float opt = 0.0f)
{
  return e->dispatcher(e, op, index, value, ptr, opt);
}

// ---- The audio thread -------------------------------------------------------------------------

// The scheduling the audio thread asks for; errno-style result, 0 when granted.
int MakeRealtime()
{
  sched_param sp{};
  sp.sched_priority = kAudioPriority;
  return pthread_setschedparam(pthread_self(), SCHED_FIFO, &sp);
}

struct AudioRun
{
  AEffect* effect = nullptr;
  std::vector<int64_t> durations; // ns, sized before the thread starts
  size_t count = 0;
  int schedResult = 0;
  std::atomic<bool> stop{false};
};

void AudioThread(AudioRun& run)
{
  tRole = kAudioThread;
  run.schedResult = MakeRealtime();
  float in[2][kBlock], out[2][kBlock];
  float* ins[2] = {in[0], in[1]};
  float* outs[2] = {out[0], out[1]};
  // An open A string, not too hot.
  const double step = kTwoPi * 110.0 / kRate;
  double phase = 0.0;
  const int64_t t0 = NowNs();
  int64_t k = 0;
  size_t n = 0;
  while (!run.stop.load(std::memory_order_relaxed) && n < run.durations.size())
  {
    ++k;
    const int64_t deadline = t0 + k * kPeriodNum / kPeriodDen;
    timespec ts{(time_t)(deadline / 1000000000), (long)(deadline % 1000000000)};
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &ts, nullptr) == EINTR)
    {
    }
    for (int i = 0; i < kBlock; ++i)
    {
      in[0][i] = in[1][i] = (float)(0.25 * std::sin(phase));
      phase += step;
    }
    phase = std::fmod(phase, kTwoPi);
    const auto a = Clock::now();
    run.effect->processReplacing(run.effect, ins, outs, kBlock);
    const auto b = Clock::now();
    run.durations[n++] = std::chrono::duration_cast<std::chrono::nanoseconds>(b - a).count();
    gAudioCallbacks.store(n, std::memory_order_relaxed);
    // Periods a long callback ran through are lost, as a device's would be.
    const int64_t now = NowNs();
    while (t0 + (k + 1) * kPeriodNum / kPeriodDen <= now) ++k;
  }
  run.count = n;
}

struct Stats
{
  size_t callbacks = 0;
  double medianMs = 0, p999Ms = 0, maxMs = 0;
  size_t overPeriod = 0;
};

Stats Summarise(const AudioRun& run)
{
  std::vector<int64_t> d(run.durations.begin(), run.durations.begin() + (long)run.count);
  Stats s;
  s.callbacks = d.size();
  if (d.empty()) return s;
  std::sort(d.begin(), d.end());
  const auto at = [&](double q)
  {
    const size_t i = (size_t)std::ceil(q * (double)d.size());
    return 1e-6 * (double)d[std::min(d.size(), std::max<size_t>(i, 1)) - 1];
  };
  s.medianMs = at(0.5);
  s.p999Ms = at(0.999);
  s.maxMs = 1e-6 * (double)d.back();
  for (int64_t x : d)
    if (x * kPeriodDen > kPeriodNum) ++s.overPeriod;
  return s;
}

// ---- The host's side of the display -----------------------------------------------------------

struct XConnection
{
  xcb_connection_t* conn = nullptr;
  xcb_screen_t* screen = nullptr;

  XConnection()
  {
    conn = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(conn))
    {
      xcb_disconnect(conn);
      conn = nullptr;
      return;
    }
    screen = xcb_setup_roots_iterator(xcb_get_setup(conn)).data;
  }
  ~XConnection()
  {
    if (conn) xcb_disconnect(conn);
  }
  XConnection(const XConnection&) = delete;
  XConnection& operator=(const XConnection&) = delete;

  bool Ok() const { return conn && screen && !xcb_connection_has_error(conn); }
  void Sync() { free(xcb_get_input_focus_reply(conn, xcb_get_input_focus(conn), nullptr)); }

  // The screen at the Bass knob's centre, black until the editor has drawn.
  uint32_t KnobPixel()
  {
    xcb_get_image_reply_t* img = xcb_get_image_reply(
        conn,
        xcb_get_image(conn, XCB_IMAGE_FORMAT_Z_PIXMAP, screen->root, kBassX, kBassY, 1, 1, ~0u),
        nullptr);
    uint32_t p = 0;
    if (img && xcb_get_image_data_length(img) >= 4)
      std::memcpy(&p, xcb_get_image_data(img), sizeof p);
    free(img);
    return p & 0xFFFFFF;
  }
};

// A black parent of the editor's size at the root's origin (Xvfb has no window manager to move
// it), mapped and on screen when this returns.
xcb_window_t MakeParent(XConnection& x, AEffect* e)
{
  int w = 1024, h = 285;
  ERect* r = nullptr;
  if (Dispatch(e, effEditGetRect, 0, 0, &r) && r && r->right > r->left && r->bottom > r->top)
  {
    w = r->right - r->left;
    h = r->bottom - r->top;
  }
  const xcb_window_t win = xcb_generate_id(x.conn);
  const uint32_t values[] = {x.screen->black_pixel};
  xcb_create_window(x.conn, XCB_COPY_FROM_PARENT, win, x.screen->root, 0, 0, (uint16_t)w,
                    (uint16_t)h, 0, XCB_WINDOW_CLASS_INPUT_OUTPUT, x.screen->root_visual,
                    XCB_CW_BACK_PIXEL, values);
  xcb_map_window(x.conn, win);
  x.Sync();
  return win;
}

// ---- Scenarios --------------------------------------------------------------------------------

// What a scenario's threads share with the main thread. Strings and counts written by those
// threads are read only after they are joined.
struct Context
{
  AEffect* effect = nullptr;
  std::atomic<bool> stop{false};
  std::atomic<bool> abandoned{false}; // the scenario cannot run; the row says why
  std::string why;
  std::vector<char> programChunk; // taken once, before the audio thread starts
  std::atomic<bool> editorOpen{false};
  int editorOpens = 0, presses = 0;

  void Abandon(const std::string& reason)
  {
    why = reason;
    abandoned.store(true);
  }
  bool Running() const { return !stop.load() && !abandoned.load(); }
};

using Threads = std::vector<std::thread>;

struct Scenario
{
  const char* name;
  bool editor;
  bool slowHost;
  void (*start)(Context&, Threads&);
};

// Sleeps to the next multiple of every after the previous one; a late wake-up starts afresh.
void Pace(Clock::time_point& next, Clock::duration every)
{
  next += every;
  const auto now = Clock::now();
  if (next < now) next = now;
  std::this_thread::sleep_until(next);
}

// setParameter of a random one of 0..7 to a random value, every `every` (zero: flat out).
void SetRandomParams(Context& c, Threads& t, Clock::duration every)
{
  t.emplace_back(
      [&c, every]
      {
        std::minstd_rand rng(1);
        std::uniform_int_distribution<int> index(0, 7);
        std::uniform_real_distribution<float> value(0.0f, 1.0f);
        auto next = Clock::now();
        while (c.Running())
        {
          c.effect->setParameter(c.effect, index(rng), value(rng));
          if (every > Clock::duration::zero()) Pace(next, every);
        }
      });
}

void SetParamEveryMs(Context& c, Threads& t)
{
  SetRandomParams(c, t, milliseconds(1));
}

void SetParamFlatOutBusy(Context& c, Threads& t)
{
  SetRandomParams(c, t, Clock::duration::zero());
  // Whatever else the machine is doing, with both cores taken.
  for (int i = 0; i < 2; ++i)
    t.emplace_back(
        [&c]
        {
          volatile uint64_t spin = 0;
          while (c.Running())
            for (int j = 0; j < 10000; ++j) spin = spin + 1;
        });
}

void ChunkRoundTrip(Context& c, Threads& t)
{
  t.emplace_back(
      [&c]
      {
        std::vector<char> copy;
        auto next = Clock::now();
        while (c.Running())
        {
          void* data = nullptr;
          const VstIntPtr size = Dispatch(c.effect, effGetChunk, 1, 0, &data);
          // The host keeps its own copy: the plug-in's buffer is only lent.
          if (size > 0 && data)
          {
            copy.assign(static_cast<char*>(data), static_cast<char*>(data) + size);
            Dispatch(c.effect, effSetChunk, 1, size, copy.data());
          }
          Pace(next, milliseconds(10));
        }
      });
}

void LoadPresetFile(Context& c, Threads& t)
{
  t.emplace_back(
      [&c]
      {
        auto next = Clock::now();
        while (c.Running())
        {
          Dispatch(c.effect, effBeginSetProgram);
          Dispatch(c.effect, effSetChunk, 1, (VstIntPtr)c.programChunk.size(),
                   c.programChunk.data());
          Dispatch(c.effect, effEndSetProgram);
          Pace(next, milliseconds(100));
        }
      });
}

// Idles the open editor every 30 ms for as long as the scenario runs or until `until`.
void IdleEditor(Context& c, Clock::time_point until = Clock::time_point::max())
{
  auto next = Clock::now();
  while (c.Running() && Clock::now() < until)
  {
    Dispatch(c.effect, effEditIdle);
    Pace(next, milliseconds(30));
  }
}

// The host's GUI thread: a parent window of the editor's size on a connection of its own, for
// as long as body runs.
void GuiThread(Context& c, Threads& t, std::function<void(xcb_window_t parent)> body)
{
  t.emplace_back(
      [&c, body]
      {
        tRole = kGuiThread;
        XConnection x;
        if (!x.Ok()) return c.Abandon("no X connection for the host");
        const xcb_window_t parent = MakeParent(x, c.effect);
        body(parent);
        xcb_destroy_window(x.conn, parent);
        x.Sync();
      });
}

bool OpenEditor(Context& c, xcb_window_t parent)
{
  if (!Dispatch(c.effect, effEditOpen, 0, 0, (void*)(uintptr_t)parent)) return false;
  ++c.editorOpens;
  return true;
}

void EditorOpenCloseLoop(Context& c, Threads& t)
{
  GuiThread(c, t,
            [&c](xcb_window_t parent)
            {
              while (c.Running())
              {
                if (!OpenEditor(c, parent))
                {
                  if (c.editorOpens == 0) c.Abandon("effEditOpen failed");
                  break;
                }
                IdleEditor(c, Clock::now() + milliseconds(200));
                Dispatch(c.effect, effEditClose);
              }
            });
}

// A user's hand on the Bass knob: press near its centre, drag up and down 4 px every 5 ms, let go
// and take hold again every 300 ms. Fake input through the server, as the editor sees a mouse.
void DragBassKnob(Context& c)
{
  XConnection x;
  if (!x.Ok()) return c.Abandon("no X connection for fake input");
  const xcb_query_extension_reply_t* ext = xcb_get_extension_data(x.conn, &xcb_test_id);
  if (!ext || !ext->present) return c.Abandon("the X server has no XTEST");
  while (c.Running() && !c.editorOpen.load()) std::this_thread::sleep_for(milliseconds(5));
  const auto shown = Clock::now() + std::chrono::seconds(3);
  while (c.Running() && x.KnobPixel() == 0 && Clock::now() < shown)
    std::this_thread::sleep_for(milliseconds(10));

  const auto input = [&](uint8_t type, uint8_t detail, int px, int py)
  {
    xcb_test_fake_input(x.conn, type, detail, XCB_CURRENT_TIME, x.screen->root, (int16_t)px,
                        (int16_t)py, 0);
    xcb_flush(x.conn);
  };
  const auto move = [&](int px, int py) { input(XCB_MOTION_NOTIFY, 0, px, py); };
  const auto button = [&](bool down)
  { input(down ? XCB_BUTTON_PRESS : XCB_BUTTON_RELEASE, 1, 0, 0); };

  // Each press 10 px beside the last one: two in one spot within 400 ms make a double-click.
  int x0 = kBassX, y = kBassY, dir = -1;
  bool down = false;
  auto next = Clock::now(), heldSince = next;
  while (c.Running())
  {
    if (!down || Clock::now() - heldSince >= milliseconds(300))
    {
      if (down) button(false);
      x0 = x0 == kBassX - 5 ? kBassX + 5 : kBassX - 5;
      y = kBassY;
      dir = -1;
      move(x0, y);
      button(true);
      down = true;
      heldSince = Clock::now();
      ++c.presses;
    }
    Pace(next, milliseconds(5));
    y += 4 * dir;
    if (y <= kBassY - 60 || y >= kBassY + 60) dir = -dir;
    move(x0, y);
  }
  // Never leave the button down for the next scenario's editor.
  if (down) button(false);
  x.Sync();
}

void EditorDrag(Context& c, Threads& t)
{
  GuiThread(c, t,
            [&c](xcb_window_t parent)
            {
              if (!OpenEditor(c, parent)) return c.Abandon("effEditOpen failed");
              c.editorOpen.store(true);
              IdleEditor(c);
              Dispatch(c.effect, effEditClose);
            });
  t.emplace_back([&c] { DragBassKnob(c); });
}

const Scenario kScenarios[] = {
    {"idle", false, false, [](Context&, Threads&) {}},
    {"setparam_1khz", false, false, SetParamEveryMs},
    {"setparam_flat_out_busy", false, false, SetParamFlatOutBusy},
    {"chunk_100hz", false, false, ChunkRoundTrip},
    {"fxp_10hz", false, false, LoadPresetFile},
    {"editor_loop", true, false, EditorOpenCloseLoop},
    {"editor_drag_slow_host", true, true, EditorDrag},
};
constexpr int kNumScenarios = (int)(sizeof kScenarios / sizeof kScenarios[0]);

// ---- Running them -----------------------------------------------------------------------------

struct Module
{
  std::string label, path;
  VstPluginMainProc entry = nullptr;
};

struct Outcome
{
  bool ran = false;
  bool unusable = false; // the module gave no effect: the run fails
  std::string note;      // why it did not run
  Stats stats;
  int schedResult = 0;
};

double SecondsFromEnv()
{
  const char* s = std::getenv("TORVA_RT_SECONDS");
  const double v = s ? std::strtod(s, nullptr) : 0.0;
  return (std::isfinite(v) && v > 0.0) ? std::min(v, 3600.0) : 4.0;
}

Outcome RunScenario(const Module& m, const Scenario& sc, double seconds, bool haveDisplay,
                    std::vector<std::string>& extra)
{
  Outcome out;
  gModule.store(m.label.c_str());
  gScenario.store(sc.name);
  Beat("instantiating");
  AEffect* e = m.entry(&HostCallback);
  if (!e || e->magic != kEffectMagic || !e->processReplacing)
  {
    out.note = "VSTPluginMain gave no usable effect";
    out.unusable = true;
    return out;
  }
  Dispatch(e, effOpen);
  Dispatch(e, effSetSampleRate, 0, 0, nullptr, (float)kRate);
  Dispatch(e, effSetBlockSize, 0, kBlock);
  Dispatch(e, effMainsChanged, 0, 1);

  Context c;
  c.effect = e;
  void* data = nullptr;
  const VstIntPtr size = Dispatch(e, effGetChunk, 1, 0, &data);
  if (size > 0 && data) c.programChunk.assign(static_cast<char*>(data), (char*)data + size);

  if (sc.editor && !haveDisplay)
    out.note = "no X display";
  else if (sc.editor && !(e->flags & effFlagsHasEditor))
    out.note = "the plug-in has no editor";
  else if (sc.start == LoadPresetFile && c.programChunk.empty())
    out.note = "the plug-in gave no program chunk";
  if (!out.note.empty())
  {
    Beat("closing");
    Dispatch(e, effMainsChanged, 0, 0);
    Dispatch(e, effClose);
    return out;
  }

  for (auto& g : gGestures)
    for (auto& r : g) r.store(0);
  gSlowHost.store(sc.slowHost);
  gAudioCallbacks.store(0);

  AudioRun audio;
  audio.effect = e;
  audio.durations.assign((size_t)(seconds * kRate / kBlock) + kRate / kBlock, 0);
  Beat("starting the threads");
  std::thread audioThread(AudioThread, std::ref(audio));
  Threads others;
  sc.start(c, others);

  // Progress is the audio thread's: a callback stuck in the plug-in stops the beat.
  Beat("running");
  const auto end = Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                      std::chrono::duration<double>(seconds));
  uint64_t seen = 0;
  while (Clock::now() < end && !c.abandoned.load())
  {
    std::this_thread::sleep_until(std::min(end, Clock::now() + milliseconds(50)));
    const uint64_t n = gAudioCallbacks.load();
    if (n != seen) gBeat.store(NowNs());
    seen = n;
  }
  Beat("stopping the audio thread");
  c.stop.store(true);
  audio.stop.store(true);
  audioThread.join();
  Beat("stopping the host's other threads");
  for (std::thread& t : others) t.join();
  gSlowHost.store(false);
  Beat("closing");
  Dispatch(e, effMainsChanged, 0, 0);
  Dispatch(e, effClose);

  if (c.abandoned.load())
  {
    out.note = c.why;
    return out;
  }
  out.ran = true;
  out.stats = Summarise(audio);
  out.schedResult = audio.schedResult;
  if (sc.start == EditorOpenCloseLoop)
    extra.push_back("editor opened " + std::to_string(c.editorOpens) + " times");
  if (sc.slowHost)
  {
    static const char* const kNames[kNumGestures] = {"automate", "beginEdit", "endEdit"};
    std::string s = "host calls answered in 2 ms, by thread (gui/audio/other):";
    for (int g = 0; g < kNumGestures; ++g)
      s += std::string(g ? "," : "") + " " + kNames[g] + " " +
           std::to_string(gGestures[g][kGuiThread].load()) + "/" +
           std::to_string(gGestures[g][kAudioThread].load()) + "/" +
           std::to_string(gGestures[g][kOtherThread].load());
    extra.push_back(s);
    extra.push_back("knob presses " + std::to_string(c.presses));
  }
  return out;
}

std::string Joined(const std::vector<std::string>& v)
{
  std::string s;
  for (size_t i = 0; i < v.size(); ++i) s += (i ? " vs " : "") + v[i];
  return s;
}

std::string Fixed(double v)
{
  char b[32];
  std::snprintf(b, sizeof b, "%.3f", v);
  return b;
}

void InstallCrashReport()
{
  struct sigaction sa
  {
  };
  sa.sa_handler = OnCrash;
  sa.sa_flags = SA_RESETHAND | SA_NODEFER;
  for (int sig : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT}) sigaction(sig, &sa, nullptr);
}

} // namespace

int main(int argc, char** argv)
{
  // This thread prints with '.' whatever locale the plug-in sets for the process.
  if (locale_t c = newlocale(LC_ALL_MASK, "C", (locale_t)0)) uselocale(c);
  setvbuf(stdout, nullptr, _IOLBF, 0);
  InstallCrashReport();
  Beat("starting");
  std::thread watchdog(Watchdog);
  const auto finish = [&](int code)
  {
    gDone.store(true);
    watchdog.join();
    return code;
  };

  std::vector<std::string> paths(argv + 1, argv + argc);
  if (paths.empty()) paths.push_back(TORVA_PLUGIN_PATH);
  std::vector<Module> modules;
  for (const std::string& path : paths)
  {
    Module m;
    m.path = path;
    m.label = std::string(1, (char)('A' + modules.size() % 26));
    if (modules.size() >= 26) m.label += std::to_string(modules.size() / 26);
    // Kept loaded to the end: the plug-in may leave threads that finish after effClose.
    void* h = dlopen(m.path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (h) m.entry = reinterpret_cast<VstPluginMainProc>(dlsym(h, "VSTPluginMain"));
    if (!m.entry)
    {
      std::fprintf(stderr, "bench_rt_load: cannot load %s: %s\n", m.path.c_str(),
                   h ? "no VSTPluginMain" : dlerror());
      return finish(1);
    }
    modules.push_back(m);
  }
  const double seconds = SecondsFromEnv();

  // The editor's display, set before any instance exists: the plug-in reads DISPLAY.
  Beat("starting Xvfb");
  x11test::Xvfb xvfb;
  std::string display, displayNote;
  if (const char* d = std::getenv("TORVA_RT_DISPLAY"); d && *d)
  {
    display = d;
    displayNote = "TORVA_RT_DISPLAY";
  }
  else if (xvfb.Start())
  {
    gXvfbPid.store(xvfb.mPid);
    display = xvfb.mDisplay;
    displayNote = "private Xvfb";
  }
  bool haveDisplay = false;
  if (!display.empty())
  {
    setenv("DISPLAY", display.c_str(), 1);
    XConnection probe;
    haveDisplay = probe.Ok();
  }

  int schedProbe = 0;
  std::thread([&] { schedProbe = MakeRealtime(); }).join();

  std::printf("bench_rt_load: %d frames at %d Hz, period %.4f ms, %g s a scenario\n", kBlock, kRate,
              kPeriodMs, seconds);
  if (schedProbe == 0)
    std::printf("audio thread: SCHED_FIFO priority %d\n", kAudioPriority);
  else
    std::printf("audio thread: normal scheduling (SCHED_FIFO %d refused: %s)\n", kAudioPriority,
                std::strerror(schedProbe));
  if (haveDisplay)
    std::printf("editor display: %s (%s)\n", display.c_str(), displayNote.c_str());
  else
    std::printf("editor display: none (%s): the editor scenarios are skipped\n",
                display.empty() ? "Xvfb did not start" : "cannot connect");
  for (const Module& m : modules) std::printf("module %s: %s\n", m.label.c_str(), m.path.c_str());
  std::printf("\n%-6s %-24s %9s %10s %10s %10s %12s\n", "module", "scenario", "callbacks",
              "median_ms", "p99.9_ms", "max_ms", "over_period");

  std::vector<std::vector<Outcome>> results(kNumScenarios);
  bool unusable = false;
  for (int s = 0; s < kNumScenarios; ++s)
    for (const Module& m : modules)
    {
      std::vector<std::string> extra;
      Outcome o = RunScenario(m, kScenarios[s], seconds, haveDisplay, extra);
      if (o.ran)
        std::printf("%-6s %-24s %9zu %10.3f %10.3f %10.3f %12zu\n", m.label.c_str(),
                    kScenarios[s].name, o.stats.callbacks, o.stats.medianMs, o.stats.p999Ms,
                    o.stats.maxMs, o.stats.overPeriod);
      else
        std::printf("%-6s %-24s skipped: %s\n", m.label.c_str(), kScenarios[s].name,
                    o.note.c_str());
      if (o.ran && o.schedResult != schedProbe)
        extra.push_back(o.schedResult == 0 ? "this audio thread got SCHED_FIFO"
                                           : "this audio thread was refused SCHED_FIFO");
      for (const std::string& line : extra) std::printf("%-6s   %s\n", "", line.c_str());
      unusable = unusable || o.unusable;
      results[s].push_back(o);
    }

  std::vector<std::string> labels;
  for (const Module& m : modules) labels.push_back(m.label);
  std::printf("\nover the period (%.4f ms) and longest callback, %s:\n", kPeriodMs,
              Joined(labels).c_str());
  for (int s = 0; s < kNumScenarios; ++s)
  {
    std::vector<std::string> over, max;
    for (const Outcome& o : results[s])
    {
      over.push_back(o.ran ? std::to_string(o.stats.overPeriod) : "-");
      max.push_back(o.ran ? Fixed(o.stats.maxMs) : "-");
    }
    std::printf("  %-24s over-period %-18s max %s ms\n", kScenarios[s].name, Joined(over).c_str(),
                Joined(max).c_str());
  }

  Beat("stopping Xvfb");
  gXvfbPid.store(-1);
  xvfb.Stop();
  return finish(unusable ? 1 : 0);
}
