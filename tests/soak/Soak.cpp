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

std::atomic<long> gBlocks{0}, gFrames{0}, gParamChanges{0}, gRoundTrips{0}, gRefusals{0},
    gEditorOpens{0}, gFailures{0};

void Fail(int instance, char const* what, long detail = 0)
{
  if (gFailures++ < 20)
    std::fprintf(stderr, "soak: instance %d: %s (%ld)\n", instance, what, detail);
}

// The host's answers hold no state, so every thread may ask (the test host's recorder may not).
VstIntPtr Callback(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void* ptr, float)
{
  switch (opcode)
  {
  case audioMasterVersion:
    return kVstVersion;
  case audioMasterGetProductString:
    if (ptr) std::strcpy(static_cast<char*>(ptr), "torva soak");
    return 1;
  case audioMasterGetVendorVersion:
    return 1000;
  default:
    return 0;
  }
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
  VstIntPtr const size = Dispatch(e, effGetChunk, bank ? 0 : 1, 0, &data);
  if (size <= 0 || !data) return {};
  return Bytes(static_cast<unsigned char*>(data), static_cast<unsigned char*>(data) + size);
}

VstIntPtr SetChunk(AEffect* e, Bytes const& bytes, bool bank, VstIntPtr size = -2)
{
  return Dispatch(e, effSetChunk, bank ? 0 : 1, size == -2 ? VstIntPtr(bytes.size()) : size,
                  const_cast<unsigned char*>(bytes.data()));
}

// The host's side of an editor: a parent window on a connection of our own.
struct Screen
{
  xcb_connection_t* mConn = nullptr;
  xcb_screen_t* mScreen = nullptr;

  bool Connect(char const* display)
  {
    mConn = xcb_connect(display, nullptr);
    if (xcb_connection_has_error(mConn)) return false;
    mScreen = xcb_setup_roots_iterator(xcb_get_setup(mConn)).data;
    return mScreen != nullptr;
  }
  ~Screen()
  {
    if (mConn) xcb_disconnect(mConn);
  }
  xcb_window_t MakeParent(int y)
  {
    xcb_window_t const w = xcb_generate_id(mConn);
    xcb_create_window(mConn, XCB_COPY_FROM_PARENT, w, mScreen->root, 0, static_cast<int16_t>(y),
                      1024, 300, 0, XCB_WINDOW_CLASS_INPUT_OUTPUT, mScreen->root_visual, 0,
                      nullptr);
    xcb_map_window(mConn, w);
    xcb_flush(mConn);
    return w;
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
  void Stop()
  {
    mStop = true;
    mAudio.join();
    mHost.join();
  }

  // One request of the dispatcher thread.
  void Step(Screen* screen)
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
      if (chunk.empty())
        Fail(mId, "no chunk", bank);
      else if (SetChunk(mEffect, chunk, bank) != 1)
        Fail(mId, "own chunk refused", bank);
      else
        ++gRoundTrips;
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
        ++gRefusals;
      if (GetChunk(mEffect, false) != program || GetChunk(mEffect, true) != whole)
        Fail(mId, "refused chunk changed the state", static_cast<long>(cut.size()));
      break;
    }
    case 4:
      if (!screen) break;
      if (mEditorOpen && mRng.Chance(10))
      {
        Dispatch(mEffect, effEditClose);
        mEditorOpen = false;
      }
      else if (!mEditorOpen)
      {
        if (!mParent) mParent = screen->MakeParent(mId * 300);
        if (Dispatch(mEffect, effEditOpen, 0, 0, reinterpret_cast<void*>(uintptr_t{mParent})) != 1)
          Fail(mId, "effEditOpen failed");
        else
        {
          mEditorOpen = true;
          ++gEditorOpens;
        }
      }
      break;
    default:
      if (mEditorOpen) Dispatch(mEffect, effEditIdle);
      break;
    }
  }

  void CloseEditor()
  {
    if (mEditorOpen) Dispatch(mEffect, effEditClose);
    mEditorOpen = false;
  }

  int mId;
  AEffect* mEffect;

private:
  template <class T> static bool Finite(std::vector<T> const& out, int frames, int channels)
  {
    for (int c = 0; c < channels; ++c)
      for (int i = 0; i < frames; ++i)
        if (!std::isfinite(out[size_t(c) * kMaxBlock + size_t(i)])) return false;
    return true;
  }

  void Audio(uint64_t seed)
  {
    Rng rng(seed);
    int const nIn = mEffect->numInputs, nOut = mEffect->numOutputs;
    std::vector<float> fin(size_t(nIn) * kMaxBlock), fout(size_t(nOut) * kMaxBlock);
    std::vector<double> din(fin.size()), dout(fout.size());
    std::vector<float*> fi, fo;
    std::vector<double*> di, dO;
    for (int c = 0; c < nIn; ++c) fi.push_back(&fin[size_t(c) * kMaxBlock]);
    for (int c = 0; c < nIn; ++c) di.push_back(&din[size_t(c) * kMaxBlock]);
    for (int c = 0; c < nOut; ++c) fo.push_back(&fout[size_t(c) * kMaxBlock]);
    for (int c = 0; c < nOut; ++c) dO.push_back(&dout[size_t(c) * kMaxBlock]);
    bool const canDouble =
        (mEffect->flags & effFlagsCanDoubleReplacing) && mEffect->processDoubleReplacing;
    while (!mStop)
    {
      int const frames = rng.Chance(3) ? 0 : rng.Int(1, kMaxBlock);
      int const kind = rng.Int(0, 2);
      double const level = rng.Chance(5) ? 100.0 : rng.Real(0.0, 1.5);
      bool ok;
      if (kind == 1 && canDouble)
      {
        for (double& s : din) s = rng.Real(-level, level);
        std::fill(dout.begin(), dout.end(), NAN); // a sample not written shows
        mEffect->processDoubleReplacing(mEffect, di.data(), dO.data(), frames);
        ok = Finite(dout, frames, nOut);
      }
      else
      {
        for (float& s : fin) s = static_cast<float>(rng.Real(-level, level));
        bool const accumulate = kind == 2 && mEffect->process;
        if (accumulate)
          std::fill(fout.begin(), fout.end(), 0.25f);
        else
          std::fill(fout.begin(), fout.end(), NAN);
        (accumulate ? mEffect->process : mEffect->processReplacing)(mEffect, fi.data(), fo.data(),
                                                                    frames);
        ok = Finite(fout, frames, nOut);
      }
      if (!ok) Fail(mId, "output not finite, block kind", kind);
      ++gBlocks;
      gFrames += frames;
      std::this_thread::sleep_for(std::chrono::microseconds(300)); // room for the other threads
    }
  }

  void Automate(uint64_t seed)
  {
    Rng rng(seed);
    int const nParams = mEffect->numParams;
    while (!mStop)
    {
      {
        std::lock_guard<std::mutex> hold(mAutomation);
        for (int k = rng.Int(1, 16); k > 0; --k)
        {
          int const idx = rng.Int(0, nParams - 1);
          int const pick = rng.Int(0, 9);
          float const v = pick == 0 ? 0.0f : pick == 1 ? 1.0f : static_cast<float>(rng.Uniform());
          mEffect->setParameter(mEffect, idx, v);
          float const back = mEffect->getParameter(mEffect, idx);
          if (!(back >= 0.0f && back <= 1.0f)) Fail(mId, "parameter read back outside 0..1", idx);
          ++gParamChanges;
        }
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  }

  Rng mRng; // the dispatcher thread's
  std::atomic<bool> mStop{false};
  std::mutex mAutomation; // held by the host thread around each burst of automation
  std::thread mAudio, mHost;
  xcb_window_t mParent = 0;
  bool mEditorOpen = false;
};

// Saves both chunks, restores them into a fresh instance and saves again: the same bytes.
bool FinalRoundTrip(vsthost::Host& host, Soak& s)
{
  Bytes const bank = GetChunk(s.mEffect, true), program = GetChunk(s.mEffect, false);
  AEffect* fresh = OpenEffect(host);
  bool ok = fresh && !bank.empty() && !program.empty();
  ok = ok && SetChunk(fresh, bank, true) == 1 && GetChunk(fresh, true) == bank;
  ok = ok && SetChunk(fresh, program, false) == 1 && GetChunk(fresh, false) == program;
  if (fresh) CloseEffect(fresh);
  if (!ok) Fail(s.mId, "final chunk round trip differs");
  return ok;
}
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
  std::string display = env && *env ? env : x11test::SharedDisplay();
  Screen screen;
  bool const editors = !display.empty() && setenv("DISPLAY", display.c_str(), 1) == 0 &&
                       screen.Connect(display.c_str());

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
    for (auto& s : soaks) s->Step(editors ? &screen : nullptr);
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }

  int roundTrips = 0;
  for (auto& s : soaks)
  {
    s->Stop();
    s->CloseEditor();
    roundTrips += FinalRoundTrip(host, *s);
    CloseEffect(s->mEffect);
  }
  double const ran =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

  std::printf("soak: %.0f s, %zu instances, seed %llu, editors %s\n", ran, soaks.size(),
              static_cast<unsigned long long>(seed),
              editors ? display.c_str() : "off (no display)");
  std::printf("  blocks processed        %ld (%ld frames)\n", gBlocks.load(), gFrames.load());
  std::printf("  parameter changes       %ld\n", gParamChanges.load());
  std::printf("  chunk round trips       %ld\n", gRoundTrips.load());
  std::printf("  damaged chunks refused  %ld\n", gRefusals.load());
  std::printf("  editor opens            %ld\n", gEditorOpens.load());
  std::printf("  final round trips       %d of %zu identical\n", roundTrips, soaks.size());
  std::printf("  failures                %ld\n", gFailures.load());
  return gFailures == 0 ? 0 : 1;
}
