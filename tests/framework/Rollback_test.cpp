// A refused host chunk or preset file puts the plug-in back exactly as it was, whichever entry of
// the base took it: every value bit for bit (also one the host left below its minimum), every
// slot, the current slot, and the product told of the values it ends up with. Each table damages
// data at every point where the reader has already changed something.
//
// Files refused on their header alone (ids, magics, versions, counts, kinds) never get as far;
// those rows are PresetFiles.RejectedFilesChangeNothing.

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "framework/fxfile/FxFile.h"
#include "support/EightParamPlug.h"
#include "support/PlugState.h"
#include "support/TempFiles.h"

using torva_test::Fingerprint;
using Bytes = std::vector<unsigned char>;

namespace
{
// The stand-in with chunks and five bytes of state beyond its values, so that the product's own
// reader can refuse after every value was taken. Three slots of different values, slot 1
// current, then live edits: Master at normalised -0.123 lies below its minimum, which no
// clamping path puts back. mHeard is the last value the product heard of, per parameter.
class Target : public torva_test::EightParamPlug
{
public:
  explicit Target(double base = 0.3, std::string const& prefix = "") : EightParamPlug(3, true, 5)
  {
    for (int k = 0; k < 3; ++k)
    {
      GetParam(0)->SetNormalized(base + 0.1 * k);
      GetParam(4)->SetNormalized(base * k);
      MakeDefaultPreset((prefix + char('A' + k)).c_str(), 1);
    }
    RestorePreset(1);
    GetParam(1)->SetNormalized(-0.123);
    GetParam(2)->SetNormalized(base / 3);
    OnParamReset();
  }
  void OnParamChange(int idx) override
  {
    EightParamPlug::OnParamChange(idx);
    mHeard[static_cast<size_t>(idx)] = GetParam(idx)->Value();
  }
  std::vector<double> mHeard = std::vector<double>(8, std::nan(""));
};

// The load, on a fresh Target: refused, and nothing moved.
testing::AssertionResult RefusedAndUnchanged(std::function<bool(Target&)> const& load)
{
  Target plug;
  std::string const before = Fingerprint(plug);
  if (load(plug)) return testing::AssertionFailure() << "accepted";
  if (Fingerprint(plug) != before)
    return testing::AssertionFailure()
           << "state moved\n  was " << before << "\n  now " << Fingerprint(plug);
  if (plug.mHeard != torva_test::Values(plug))
    return testing::AssertionFailure() << "the product last heard other values";
  if (plug.CountHostCalls(IPlugHeadless::EHostCall::kProgramChange) != 0)
    return testing::AssertionFailure() << "the host was told of a program change";
  return testing::AssertionSuccess();
}

Bytes Cut(Bytes const& b, size_t from, size_t to)
{
  return Bytes(b.begin() + long(from), b.begin() + long(to));
}

using Load = std::function<bool(Target&)>;

Bytes DonorChunk(bool isBank)
{
  Target donor(0.8, "other ");
  ByteChunk c;
  EXPECT_TRUE(donor.GetHostChunk(&c, isBank));
  return torva_test::Bytes(c);
}

// The donor's program and bank, whole, are taken (so that a cut is refused for its damage alone);
// cut anywhere (inside the header, after some values, in the product's bytes; inside a slot's
// name, flag or state, after whole slots), each is refused and changes nothing.
void ExpectEveryCutRefused(std::function<Load(Bytes const&, bool isBank)> const& load)
{
  for (bool isBank : {false, true})
  {
    Bytes const whole = DonorChunk(isBank);
    Target plug;
    std::string const before = Fingerprint(plug);
    EXPECT_TRUE(load(whole, isBank)(plug)) << isBank;
    EXPECT_NE(Fingerprint(plug), before) << isBank;
    for (size_t n = 0; n < whole.size(); ++n)
      ASSERT_TRUE(RefusedAndUnchanged(load(Cut(whole, 0, n), isBank)))
          << (isBank ? "bank" : "program") << " cut at " << n;
  }
}
} // namespace

TEST(Rollback, HostChunks)
{
  auto load = [](Bytes const& b, bool isBank) -> Load
  { return [=](Target& plug) { return plug.LoadHostChunk(b.data(), int(b.size()), isBank); }; };
  ExpectEveryCutRefused(load);

  // Under a bank request, a chunk without the header or with an older one is one program.
  Bytes const program = DonorChunk(false);
  Bytes older = program;
  older[6] = 0;
  EXPECT_TRUE(RefusedAndUnchanged(load(Cut(program, 8, program.size() - 1), true))) << "bare";
  EXPECT_TRUE(RefusedAndUnchanged(load(Cut(older, 0, older.size() - 1), true))) << "older";
  EXPECT_TRUE(RefusedAndUnchanged([](Target& p) { return p.LoadHostChunk(nullptr, 77, false); }));
  EXPECT_TRUE(
      RefusedAndUnchanged([&](Target& p) { return p.LoadHostChunk(program.data(), -1, true); }));
}

// The chunk kinds of .fxp and .fxb, whose state the base reads after the file's own checks.
TEST(Rollback, PresetFileChunks)
{
  torva_test::TempDir dir;
  ExpectEveryCutRefused(
      [&](Bytes const& chunk, bool isBank) -> Load
      {
        FxFile f;
        f.mKind = isBank ? FxFile::kBankChunk : FxFile::kProgramChunk;
        f.mPluginId = torva_test::EightParamPlug::kUniqueID;
        f.mCurrentProgram = 2;
        f.mChunk = chunk;
        Bytes bytes;
        std::string const path = dir / (isBank ? "in.fxb" : "in.fxp");
        EXPECT_TRUE(WriteFxFile(f, bytes) && torva_test::WriteFile(path, bytes));
        return [=](Target& plug)
        {
          WDL_String p(path.c_str());
          return isBank ? plug.LoadBankFromFXB(&p) : plug.LoadProgramFromFXP(&p);
        };
      });
}
