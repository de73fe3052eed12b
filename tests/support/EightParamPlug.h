#pragma once
// The stand-in for "a plug-in with eight parameters": an effect shaped like the product
// (channels "1-1 2-2", unique ID 'TOR1', no host behind it) whose parameters are one of every
// kind, so that state, preset and display code meet shapes, integers, enumerations and a switch.
//
//   0 Bass      0.5  in 0..1, "%"          4 Steps   3 in 0..10 (integer)
//   1 Master    -4   in -20..20 dB         5 Mode    1 of 4 (enumeration)
//   2 Middle    0.25 in 0..1, step 0.001   6 Volume  10 in 0..50, step 0.1
//   3 Presence  2    in 1..5, shape 2      7 Bypass  off (switch)
//
// It records each OnParamChange and the frame count of each ProcessDoubleReplacing, which
// multiplies the inputs by mGain. With chunks it keeps its state as chunks; padBytes extra bytes
// after the parameters make the state something other than the plain parameter list, as long as
// a test needs. Its VST 2 twin, for the adapter's tests, is support/VstEightParamPlug.h.

#include <vector>

#include "framework/IPlugHeadless.h"

namespace torva_test
{

// The eight parameters above, on any base of eight parameters.
void InitEightParams(IPlugBase& plug);

class EightParamPlug : public IPlugHeadless
{
public:
  static constexpr int kUniqueID = 0x544F5231; // 'TOR1'

  explicit EightParamPlug(int nPresets = 1, bool chunks = false, int padBytes = 0,
                          int uniqueID = kUniqueID);

  bool SerializeState(ByteChunk* pChunk) override;
  int UnserializeState(ByteChunk* pChunk, int startPos) override;
  void OnParamChange(int idx) override;
  void ProcessDoubleReplacing(double** inputs, double** outputs, int nFrames) override;

  // What the processing frame handed the product, as the pointer arrays hold it now.
  double* InSlot(int i) const { return mInData.Get()[i]; }
  double* OutSlot(int i) const { return mOutData.Get()[i]; }
  WDL_TypedBuf<double>& InScratch(int i) { return mInChannels.Get(i)->mScratchBuf; }
  WDL_TypedBuf<double>& OutScratch(int i) { return mOutChannels.Get(i)->mScratchBuf; }

  std::vector<int> mParamChanges; // indices, in order
  std::vector<int> mSlices;       // frame counts, in order
  double mGain = 1.0;

private:
  int mPad;
};

} // namespace torva_test
