#include "support/EightParamPlug.h"

namespace torva_test
{

void InitEightParams(IPlugBase& plug)
{
  plug.GetParam(0)->InitDouble("Bass", 0.5, 0.0, 1.0, 0.01, "%");
  plug.GetParam(1)->InitDouble("Master", -4.0, -20.0, 20.0, 0.01, "dB");
  plug.GetParam(2)->InitDouble("Middle", 0.25, 0.0, 1.0, 0.001);
  plug.GetParam(3)->InitDouble("Presence", 2.0, 1.0, 5.0, 0.01, "", "", 2.0);
  plug.GetParam(4)->InitInt("Steps", 3, 0, 10);
  plug.GetParam(5)->InitEnum("Mode", 1, 4);
  plug.GetParam(6)->InitDouble("Volume", 10.0, 0.0, 50.0, 0.1);
  plug.GetParam(7)->InitBool("Bypass", false);
}

EightParamPlug::EightParamPlug(int nPresets, bool chunks, int padBytes, int uniqueID)
    : IPlugHeadless(IPlugHeadlessInfo(), 8, "1-1 2-2", nPresets, "TORVA", "", "BrindleCircuits",
                    0x10000, uniqueID, 0x42726369 /* 'Brci' */, 0, false, chunks, false, 0),
      mPad(padBytes)
{
  InitEightParams(*this);
}

bool EightParamPlug::SerializeState(ByteChunk* pChunk)
{
  bool const ok = IPlugBase::SerializeState(pChunk);
  for (int i = 0; i < mPad; ++i)
  {
    unsigned char const b = static_cast<unsigned char>(i * 7 + 1);
    pChunk->PutBytes(&b, 1);
  }
  return ok;
}

int EightParamPlug::UnserializeState(ByteChunk* pChunk, int startPos)
{
  int const pos = IPlugBase::UnserializeState(pChunk, startPos);
  if (pos < 0 || mPad == 0) return pos;
  return pos + mPad <= pChunk->Size() ? pos + mPad : -1;
}

void EightParamPlug::OnParamChange(int idx)
{
  IPlugBase::OnParamChange(idx);
  mParamChanges.push_back(idx);
}

void EightParamPlug::ProcessDoubleReplacing(double** inputs, double** outputs, int nFrames)
{
  mSlices.push_back(nFrames);
  for (int c = 0; c < NOutChannels(); ++c)
    for (int s = 0; s < nFrames; ++s)
      outputs[c][s] = c < NInChannels() ? inputs[c][s] * mGain : 0.0;
}

} // namespace torva_test
