// Soak: two instances of the built TORVA.so in one process for as long as asked. Per instance an
// audio thread (random block sizes, all three process calls, noise in), a host thread automating
// random parameters, and from this thread program changes, chunk round trips, damaged chunks that
// must be refused, and the editor opened, idled, closed and reopened (when there is a display or
// a private Xvfb). Every output sample must be finite; at the end each instance's state must
// survive a round trip into a fresh instance byte for byte.
//
//   soak [SECONDS [SEED]]      (default 60 seconds; exit status 1 on any failure)

#include <xcb/xcb.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "support/Random.h"
#include "support/TestHost.h"
#include "x11/XvfbServer.h"

using Bytes = std::vector<unsigned char>;
using torva_test::Rng;
using vsthost::Dispatch;

namespace
{
constexpr int kMaxBlock = 4096;

// What the summary counts, under the names it lists them by.
struct Counter
{
  char const* mLabel;
  std::atomic<long> mN{0};
};
Counter gBlocks{"blocks processed"}, gParamChanges{"parameter changes"},
    gRoundTrips{"chunk round trips"}, gRefusals{"damaged chunks refused"},
    gEditorOpens{"editor opens"}, gFailures{"failures"};
std::atomic<long> gFrames{0};

void Fail(int instance, char const* what, long detail = 0)
{
  if (gFailures.mN++ < 20)
    std::fprintf(stderr, "soak: instance %d: %s (%ld)\n", instance, what, detail);
}

// The test host's recorder is not for several threads; these answers hold no state.
VstIntPtr Callback(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void* ptr, float)
{
  if (opcode == audioMasterGetProductString && ptr)
    std::strcpy(static_cast<char*>(ptr), "torva soak");
  return opcode == audioMasterVersion            ? kVstVersion
         : opcode == audioMasterGetVendorVersion ? 1000
                                                 : opcode == audioMasterGetProductString;
}

AEffect* OpenEffect(vsthost::Host& host)
{
  AEffect* e = host.Entry()(&Callback);
  if (!e) return nullptr;
  Dispatch(e, effOpen);
  Dispatch(e, effSetSampleRate, 0, 0, nullptr, 44100.0f);
  Dispatch(e, effSetBlockSize, 0, kMaxBlock);
  Dispatch(e, effMainsChanged, 0, 1);
  return e;
}

void CloseEffect(AEffect* e)
{
  Dispatch(e, effMainsChanged, 0, 0);
  Dispatch(e, effClose);
}

Bytes GetChunk(AEffect* e, bool bank)
{
  void* data = nullptr;
  VstIntPtr const size = Dispatch(e, effGetChunk, !bank, 0, &data);
  if (size <= 0 || !data) return {};
  return Bytes(static_cast<unsigned char*>(data), static_cast<unsigned char*>(data) + size);
}

VstIntPtr SetChunk(AEffect* e, Bytes const& bytes, bool bank, VstIntPtr size = -2)
{
  return Dispatch(e, effSetChunk, !bank, size == -2 ? VstIntPtr(bytes.size()) : size,
                  const_cast<unsigned char*>(bytes.data()));
}

// The host's side of an editor: a mapped parent window on a connection of our own.
xcb_connection_t* gConn = nullptr;

xcb_window_t MakeParent(int y)
{
  xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(gConn)).data;
  xcb_window_t const w = xcb_generate_id(gConn);
  xcb_create_window(gConn, XCB_COPY_FROM_PARENT, w, screen->root, 0, static_cast<int16_t>(y), 1024,
                    300, 0, XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, 0, nullptr);
  xcb_map_window(gConn, w);
  xcb_flush(gConn);
  return w;
}

// Input, output and channel pointers of one sample type; Run fills the input with noise, the
// output with `prefill` (NaN: a sample not written shows) and checks what the call left.
template <class T> struct Buffers
{
  std::vector<T> in, out;
  std::vector<T*> ins, outs;

  Buffers(int nIn, int nOut) : in(size_t(nIn) * kMaxBlock), out(size_t(nOut) * kMaxBlock)
  {
    for (int c = 0; c < nIn; ++c) ins.push_back(&in[size_t(c) * kMaxBlock]);
    for (int c = 0; c < nOut; ++c) outs.push_back(&out[size_t(c) * kMaxBlock]);
  }
  bool Run(AEffect* e, void (*proc)(AEffect*, T**, T**, VstInt32), Rng& rng, double level,
           T prefill, int frames)
  {
    for (T& s : in) s = static_cast<T>(rng.Real(-level, level));
    std::fill(out.begin(), out.end(), prefill);
    proc(e, ins.data(), outs.data(), frames);
    for (T* o : outs)
      if (!std::all_of(o, o + frames, [](T s) { return std::isfinite(s); })) return false;
    return true;
  }
};

class Soak
{
public:
  Soak(int id, AEffect* e, uint64_t seed) : mId(id), mEffect(e), mRng(seed)
  {
    mAudio = std::thread([this, seed] { Audio(seed + 1); });
    mHost = std::thread([this, seed] { Automate(seed + 2); });
  }
  // Stops the threads, closes the editor, then saves both chunks, restores them into a fresh
  // instance and saves again: the same bytes. Closes the instance.
  bool Finish(vsthost::Host& host)
  {
    mStop = true;
    mAudio.join();
    mHost.join();
    if (mEditorOpen) Dispatch(mEffect, effEditClose);
    AEffect* fresh = OpenEffect(host);
    bool ok = fresh;
    for (bool bank : {true, false})
    {
      Bytes const saved = GetChunk(mEffect, bank);
      ok = ok && !saved.empty() && SetChunk(fresh, saved, bank) == 1 &&
           GetChunk(fresh, bank) == saved;
    }
    for (AEffect* e : {fresh, mEffect})
      if (e) CloseEffect(e);
    if (!ok) Fail(mId, "final chunk round trip differs");
    return ok;
  }

  // One request of the dispatcher thread.
  void Step(bool editors)
  {
    bool const bank = mRng.Chance(50);
    switch (mRng.Int(0, 9))
    {
    case 0:
    {
      // One past either end as well: a program that does not exist changes nothing.
      VstIntPtr const before = Dispatch(mEffect, effGetProgram);
      int const program = mRng.Int(-1, mEffect->numPrograms);
      Dispatch(mEffect, effSetProgram, 0, program);
      bool const exists = program >= 0 && program < mEffect->numPrograms;
      if (Dispatch(mEffect, effGetProgram) != (exists ? program : before))
        Fail(mId, "effSetProgram left the wrong program", program);
      break;
    }
    case 1:
    case 2:
    {
      Bytes const chunk = GetChunk(mEffect, bank);
      if (chunk.empty() || SetChunk(mEffect, chunk, bank) != 1)
        Fail(mId, chunk.empty() ? "no chunk" : "own chunk refused", bank);
      else
        ++gRoundTrips.mN;
      break;
    }
    case 3:
    {
      // Automation holds still, so that "changes nothing" can be checked.
      std::lock_guard<std::mutex> hold(mAutomation);
      Bytes const program = GetChunk(mEffect, false), whole = GetChunk(mEffect, true);
      Bytes const& from = bank ? whole : program;
      Bytes const cut(from.begin(), from.begin() + static_cast<long>(mRng.Below(from.size())));
      bool const badSize = mRng.Chance(10);
      if (SetChunk(mEffect, badSize ? from : cut, bank, badSize ? -1 : -2) != 0)
        Fail(mId, "damaged chunk accepted", static_cast<long>(cut.size()));
      else
        ++gRefusals.mN;
      if (GetChunk(mEffect, false) != program || GetChunk(mEffect, true) != whole)
        Fail(mId, "refused chunk changed the state", static_cast<long>(cut.size()));
      break;
    }
    case 4:
      if (!editors) break;
      if (mEditorOpen && mRng.Chance(10))
      {
        Dispatch(mEffect, effEditClose);
        mEditorOpen = false;
      }
      else if (!mEditorOpen)
      {
        if (!mParent) mParent = MakeParent(mId * 300);
        void* parent = reinterpret_cast<void*>(uintptr_t{mParent});
        mEditorOpen = Dispatch(mEffect, effEditOpen, 0, 0, parent) == 1;
        if (!mEditorOpen) Fail(mId, "effEditOpen failed");
        gEditorOpens.mN += mEditorOpen;
      }
      break;
    default:
      if (mEditorOpen) Dispatch(mEffect, effEditIdle);
      break;
    }
  }

private:
  // Replacing, double replacing (when offered) and accumulating onto 0.25 (when offered).
  void Audio(uint64_t seed)
  {
    Rng rng(seed);
    Buffers<float> f(mEffect->numInputs, mEffect->numOutputs);
    Buffers<double> d(mEffect->numInputs, mEffect->numOutputs);
    bool const canDouble =
        (mEffect->flags & effFlagsCanDoubleReplacing) && mEffect->processDoubleReplacing;
    while (!mStop)
    {
      int const frames = rng.Chance(3) ? 0 : rng.Int(1, kMaxBlock);
      int const kind = rng.Int(0, 2);
      double const level = rng.Chance(5) ? 100.0 : rng.Real(0.0, 1.5);
      bool const ok = kind == 1 && canDouble
                          ? d.Run(mEffect, mEffect->processDoubleReplacing, rng, level, NAN, frames)
                      : kind == 2 && mEffect->process
                          ? f.Run(mEffect, mEffect->process, rng, level, 0.25f, frames)
                          : f.Run(mEffect, mEffect->processReplacing, rng, level, NAN, frames);
      if (!ok) Fail(mId, "output not finite, block kind", kind);
      ++gBlocks.mN;
      gFrames += frames;
      std::this_thread::sleep_for(std::chrono::microseconds(300)); // room for the other threads
    }
  }

  void Automate(uint64_t seed)
  {
    Rng rng(seed);
    for (; !mStop; std::this_thread::sleep_for(std::chrono::milliseconds(1)))
    {
      std::lock_guard<std::mutex> hold(mAutomation);
      for (int k = rng.Int(1, 16); k > 0; --k)
      {
        int const idx = rng.Int(0, mEffect->numParams - 1);
        int const pick = rng.Int(0, 9);
        float const v = pick == 0 ? 0.0f : pick == 1 ? 1.0f : static_cast<float>(rng.Uniform());
        mEffect->setParameter(mEffect, idx, v);
        float const back = mEffect->getParameter(mEffect, idx);
        if (!(back >= 0.0f && back <= 1.0f)) Fail(mId, "parameter read back outside 0..1", idx);
        ++gParamChanges.mN;
      }
    }
  }

  int mId;
  AEffect* mEffect;
  Rng mRng; // the dispatcher thread's
  std::atomic<bool> mStop{false};
  std::mutex mAutomation; // held by the host thread around each burst of automation
  std::thread mAudio, mHost;
  xcb_window_t mParent = 0;
  bool mEditorOpen = false;
};

} // namespace

int main(int argc, char** argv)
{
  double const seconds = argc > 1 ? std::atof(argv[1]) : 60.0;
  uint64_t const seed =
      argc > 2 ? std::strtoull(argv[2], nullptr, 10) : uint64_t(std::time(nullptr));

  vsthost::Host host;
  if (!host.Load(vsthost::PluginPath()))
  {
    std::fprintf(stderr, "soak: %s\n", host.mError.c_str());
    return 1;
  }
  // Editors on the given display, else on a private Xvfb, else none.
  char const* env = std::getenv("DISPLAY");
  std::string const display = env && *env ? env : x11test::SharedDisplay();
  bool const editors = !display.empty() && setenv("DISPLAY", display.c_str(), 1) == 0 &&
                       !xcb_connection_has_error(gConn = xcb_connect(display.c_str(), nullptr));

  std::vector<std::unique_ptr<Soak>> soaks;
  for (int i = 0; i < 2; ++i)
    if (AEffect* e = OpenEffect(host))
      soaks.push_back(std::make_unique<Soak>(i, e, seed * 16 + i * 4));
    else
      Fail(i, "VSTPluginMain returned no effect");

  auto const start = std::chrono::steady_clock::now();
  auto const end = start + std::chrono::duration<double>(seconds);
  while (std::chrono::steady_clock::now() < end)
  {
    for (auto& s : soaks) s->Step(editors);
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }

  int roundTrips = 0;
  for (auto& s : soaks)
  {
    roundTrips += s->Finish(host);
  }
  if (gConn) xcb_disconnect(gConn);
  double const ran =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

  std::printf("soak: %.0f s, %zu instances, seed %llu, editors %s\n", ran, soaks.size(),
              static_cast<unsigned long long>(seed),
              editors ? display.c_str() : "off (no display)");
  std::printf("  %-24s%ld (%ld frames)\n", gBlocks.mLabel, gBlocks.mN.load(), gFrames.load());
  for (Counter* c : {&gParamChanges, &gRoundTrips, &gRefusals, &gEditorOpens})
    std::printf("  %-24s%ld\n", c->mLabel, c->mN.load());
  std::printf("  %-24s%d of %zu identical\n", "final round trips", roundTrips, soaks.size());
  std::printf("  %-24s%ld\n", gFailures.mLabel, gFailures.mN.load());
  return gFailures.mN == 0 ? 0 : 1;
}
