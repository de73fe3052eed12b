#pragma once
// Plug-ins and an editor stand-in for the plug-in base tests.

#include <cstring>
#include <memory>
#include <vector>

#include "framework/IPlugHeadless.h"
#include "graphics/IGraphics.h"

namespace plugtest
{
// An editor that records what the plug-in base pushes into it.
class FakeGraphics : public IGraphics
{
public:
  struct Push
  {
    int mIdx;
    double mValue;
    bool mNormalized;
  };

  FakeGraphics(IPlugBase* plug, bool* pDeleted = nullptr)
      : IGraphics(plug, 1024, 285, 25), mDeleted(pDeleted)
  {
  }
  ~FakeGraphics() override
  {
    if (mDeleted) *mDeleted = true;
  }

  void SetParameterFromPlug(int paramIdx, double value, bool normalized) override
  {
    mPushes.push_back({paramIdx, value, normalized});
  }
  void PrepDraw() override { mPrepDrawAt = static_cast<int>(mPushes.size()); }
  void* OpenWindow(void*) override { return nullptr; }
  void CloseWindow() override {}
  // The rest of the platform half, unused here.
  bool DrawScreen(IRECT*) override { return true; }
  void ForceEndUserEdit() override {}
  IPopupMenu* CreateIPopupMenu(IPopupMenu*, IRECT*) override { return nullptr; }
  void CreateTextEntry(IControl*, IText*, IRECT*, const char*, IParam*) override {}
  void* GetWindow() override { return nullptr; }
  LICE_IBitmap* OSLoadBitmap(int, const char*) override { return nullptr; }

  std::vector<Push> mPushes;
  int mPrepDrawAt = -1; // how many pushes had happened when PrepDraw ran
  bool* mDeleted;
};

// An eight-parameter effect shaped like the product: seven continuous parameters and a switch,
// channels "1-1 2-2", one preset. Counts its OnParamChange calls and records the frame counts
// ProcessDoubleReplacing was called with; processing multiplies by mGain.
class EightParamPlug : public IPlugHeadless
{
public:
  explicit EightParamPlug(int nPresets = 1, char const* channels = "1-1 2-2", bool chunks = false)
      : IPlugHeadless(IPlugHeadlessInfo(), 8, channels, nPresets, "TORVA", "", "BrindleCircuits",
                      0x10000, 0x544F5231 /* TOR1 */, 0x42726369 /* Brci */, 0, false, chunks,
                      false, 0)
  {
    GetParam(0)->InitDouble("Bass", 0.7, 0.0, 1.0, 0.01, "%");
    GetParam(1)->InitDouble("Master", -4.0, -20.0, 20.0, 0.01, "%");
    GetParam(2)->InitDouble("Middle", 0.3, 0.0, 1.0, 0.01, "%");
    GetParam(3)->InitDouble("Presence", 0.3, 0.0, 1.0, 0.01, "%");
    GetParam(4)->InitDouble("Treble", 0.4, 0.0, 1.0, 0.01, "%");
    GetParam(5)->InitDouble("Volume 1", 10.0, 0.0, 50.0, 0.01, "%");
    GetParam(6)->InitDouble("Volume 2", 10.0, 0.0, 50.0, 0.01, "%");
    GetParam(7)->InitInt("Bypass", 0, 0, 1);
  }

  void OnParamChange(int idx) override
  {
    IPlugBase::OnParamChange(idx);
    mParamChanges.push_back(idx);
  }

  void ProcessDoubleReplacing(double** inputs, double** outputs, int nFrames) override
  {
    mSlices.push_back(nFrames);
    for (int c = 0; c < NOutChannels(); ++c)
      for (int s = 0; s < nFrames; ++s)
        outputs[c][s] = c < NInChannels() ? inputs[c][s] * mGain : 0.0;
  }

  // What the processing frame handed the product, as the pointer arrays hold it now.
  double* InSlot(int i) const { return mInData.Get()[i]; }
  double* OutSlot(int i) const { return mOutData.Get()[i]; }
  WDL_TypedBuf<double>& InScratch(int i) { return mInChannels.Get(i)->mScratchBuf; }
  WDL_TypedBuf<double>& OutScratch(int i) { return mOutChannels.Get(i)->mScratchBuf; }

  std::vector<int> mParamChanges;
  std::vector<int> mSlices;
  double mGain = 1.0;
};

inline std::vector<unsigned char> Bytes(ByteChunk const& chunk)
{
  unsigned char const* p = chunk.GetBytes();
  return p ? std::vector<unsigned char>(p, p + chunk.Size()) : std::vector<unsigned char>();
}

inline void SetBytes(ByteChunk* chunk, std::vector<unsigned char> const& bytes)
{
  chunk->Resize(static_cast<int>(bytes.size()));
  if (!bytes.empty()) std::memcpy(chunk->GetBytes(), bytes.data(), bytes.size());
}

inline std::vector<double> Values(IPlugBase const& plug)
{
  std::vector<double> v;
  for (int i = 0; i < plug.NParams(); ++i) v.push_back(plug.GetParam(i)->Value());
  return v;
}
} // namespace plugtest
