// A rejected chunk or preset file puts the plug-in back exactly as it was: every value bit for
// bit (also one the host set below its minimum), every slot and the current slot, with the
// product told the values it ends up with.

#include <gtest/gtest.h>

#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "framework/fxfile/FxFile.h"
#include "framework/vst2/IPlugVST.h"
#include "support/PlugState.h"
#include "support/TempFiles.h"

namespace
{
using Bytes = std::vector<unsigned char>;

// Three slots, chunks, and two parameters whose range a host can leave through setParameter.
class RollbackPlug : public IPlugVST
{
public:
  RollbackPlug()
      : IPlugVST(IPlugInstanceInfo{}, 2, "1-1", 3, "Rollback", "", "Maker", 0x010000,
                 TORVA_VST_FOURCC('R', 'b', 'k', '1'), TORVA_VST_FOURCC('M', 'k', 'r', '1'), 0,
                 false, true)
  {
    GetParam(0)->InitDouble("Gain", 0.0, -10.0, 10.0, 0.01, "dB");
    GetParam(1)->InitDouble("Tone", 0.5, 0.0, 1.0, 0.001);
    mSeen.assign(2, 0.0);
  }
  void OnParamChange(int idx) override { mSeen[static_cast<size_t>(idx)] = GetParam(idx)->Value(); }

  std::vector<double> mSeen; // the last value the product heard of, per parameter
};

// Slots "A", "B", "C" holding different values, slot 1 current, and live values the host set
// afterwards: Gain far below its minimum (normalised -0.123 gives -12.46...).
void Prepare(RollbackPlug& plug, double tone, char const* prefix)
{
  AEffect* e = plug.GetAEffect();
  for (int k = 0; k < 3; ++k)
  {
    e->setParameter(e, 1, static_cast<float>(tone + 0.1 * k));
    plug.MakeDefaultPreset((std::string(prefix) + char('A' + k)).c_str(), 1);
  }
  plug.RestorePreset(1);
  e->setParameter(e, 0, -0.123f);
  e->setParameter(e, 1, static_cast<float>(tone / 3));
}

// Every bit a rejected load must keep, readably: values as hexadecimal floats, slots as hex.
std::string Fingerprint(RollbackPlug& plug)
{
  std::ostringstream s;
  s << std::hexfloat;
  for (int i = 0; i < plug.NParams(); ++i) s << plug.GetParam(i)->Value() << ' ';
  for (int k = 0; k < plug.NPresets(); ++k)
  {
    IPreset const* p = plug.GetPreset(k);
    s << '|' << (p->mInitialized ? "I " : "U ") << p->mName << ':' << std::hex;
    for (unsigned char b : torva_test::Bytes(p->mChunk)) s << ' ' << int(b);
  }
  s << "|current " << plug.GetCurrentPresetIdx();
  return s.str();
}

Bytes HostChunk(RollbackPlug& plug, bool bank)
{
  AEffect* e = plug.GetAEffect();
  void* data = nullptr;
  VstIntPtr const n = e->dispatcher(e, effGetChunk, bank ? 0 : 1, 0, &data, 0.0f);
  auto const* p = static_cast<unsigned char const*>(data);
  return n > 0 ? Bytes(p, p + n) : Bytes();
}
} // namespace

TEST(StateRollback, RejectedChunksAndFilesRestoreExactValues)
{
  torva_test::TempDir dir;

  // Chunks from another instance, cut where the reader has already changed something: after the
  // first value of a program, inside the third slot of a bank.
  RollbackPlug donor;
  Prepare(donor, 0.9, "Other ");
  Bytes program = HostChunk(donor, false);
  Bytes bank = HostChunk(donor, true);
  ASSERT_GT(program.size(), 16u);
  ASSERT_GT(bank.size(), 20u);
  program.resize(8 + 8 + 4); // version header, one value and half of the next
  bank.resize(bank.size() - 4);

  // The same cut chunks inside preset files.
  auto file = [&](FxFile::EKind kind, Bytes const& chunk, char const* name)
  {
    FxFile f;
    f.mKind = kind;
    f.mPluginId = donor.GetUniqueID();
    f.mChunk = chunk;
    Bytes bytes;
    EXPECT_TRUE(WriteFxFile(f, bytes) && torva_test::WriteFile(dir / name, bytes));
    return WDL_String((dir / name).c_str());
  };
  WDL_String fxp = file(FxFile::kProgramChunk, program, "cut.fxp");
  WDL_String fxb = file(FxFile::kBankChunk, bank, "cut.fxb");

  // Through the host's dispatcher (program and bank chunk), and through the preset files.
  for (int c = 0; c < 4; ++c)
  {
    bool const isBank = c & 1, viaFile = c & 2;
    Bytes const& chunk = isBank ? bank : program;
    SCOPED_TRACE(testing::Message() << (isBank ? "bank" : "program") << (viaFile ? " file" : ""));
    RollbackPlug plug;
    Prepare(plug, 0.3, "");
    ASSERT_LT(plug.GetParam(0)->Value(), plug.GetParam(0)->GetMin());
    std::string const before = Fingerprint(plug);

    AEffect* e = plug.GetAEffect();
    if (!viaFile)
      EXPECT_EQ(e->dispatcher(e, effSetChunk, isBank ? 0 : 1, VstIntPtr(chunk.size()),
                              const_cast<unsigned char*>(chunk.data()), 0.0f),
                0);
    else
      EXPECT_FALSE(isBank ? plug.LoadBankFromFXB(&fxb) : plug.LoadProgramFromFXP(&fxp));
    EXPECT_EQ(Fingerprint(plug), before);
    for (int i = 0; i < plug.NParams(); ++i)
    {
      double const v = plug.GetParam(i)->Value(), seen = plug.mSeen[static_cast<size_t>(i)];
      EXPECT_EQ(std::memcmp(&v, &seen, sizeof v), 0) << "the product last heard " << seen;
    }
  }
}
