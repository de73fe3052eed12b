// TORVA.so as hosts see it: the entry functions, the effect record, the dispatcher's answers, the
// parameter callbacks, texts under a host's locale, several instances and the exported symbols.

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "support/TempFiles.h"
#include "support/TestHost.h"
#include "support/locale.h"

using namespace vsthost;

namespace
{
char* Str(char const* s)
{
  return const_cast<char*>(s);
}

// A host with TORVA.so loaded.
struct Loaded : Host
{
  Loaded() { EXPECT_TRUE(Load(PluginPath())) << mError; }
};

char const* const kNames[] = {"Bass",   "Master",   "Middle",   "Presence",
                              "Treble", "Volume 1", "Volume 2", "Bypass"};
} // namespace

TEST(Plugin, EntryFillsTheEffectRecord)
{
  Loaded host;
  ASSERT_TRUE(host.Entry());
  ASSERT_TRUE(host.OldEntry());
  for (VstPluginMainProc entry : {host.Entry(), host.OldEntry()})
  {
    AEffect* e = entry(&Host::Callback);
    ASSERT_TRUE(e);
    e->user = &host;
    // magic, programs, parameters, inputs, outputs, flags, ID, version; then fields hosts read
    // as they are, none left uninitialised.
    EXPECT_EQ(
        (std::vector<VstInt32>{e->magic, e->numPrograms, e->numParams, e->numInputs, e->numOutputs,
                               e->flags & ~effFlagsHasEditor, e->uniqueID, e->version}),
        (std::vector<VstInt32>{kEffectMagic, 1, 8, 2, 2, 0x1018,
                               TORVA_VST_FOURCC('T', 'O', 'R', '1'), 10000}));
    EXPECT_EQ(e->ioRatio, 1.0f);
    EXPECT_EQ(e->initialDelay | e->resvd1 | e->resvd2 | e->realQualities | e->offQualities, 0);
    for (char c : e->future) ASSERT_EQ(c, 0);
    EXPECT_TRUE(e->object && e->dispatcher && e->process && e->processReplacing &&
                e->processDoubleReplacing && e->setParameter && e->getParameter);
    Dispatch(e, effClose);
  }
}

TEST(Plugin, FixedAnswers)
{
  Loaded host;
  Instance p(host);
  ASSERT_TRUE(p);
  using Answer = std::pair<int, VstIntPtr>;
  for (auto [op, answer] :
       {Answer{effGetVstVersion, 2400}, Answer{effIdentify, 0x4E764566},
        Answer{effGetPlugCategory, kPlugCategEffect}, Answer{effGetVendorVersion, 10000},
        Answer{effGetTailSize, 0}, Answer{effGetProgram, 0}})
    EXPECT_EQ(p.Dispatch(op), answer) << op;
  EXPECT_EQ(p.Dispatch(effCanBeAutomated, 99), 1);
  // Requests TORVA does not handle, in and beyond the handled range.
  for (int op : std::initializer_list<int>{effGetVu, effEditDraw, effProcessVarIo, effEditIdle,
                                           effIdle, effSetBypass, effShellGetNextPlugin,
                                           effSetProcessPrecision, 80, 1000, -1})
    EXPECT_EQ(p.Dispatch(op), 0) << op;

  // Texts into the host's buffer; without a buffer nothing is written and the answer is 0.
  const struct
  {
    int op, index;
    VstIntPtr answer;
    const char* text;
  } texts[] = {{effGetEffectName, 0, 1, "TORVA"},     {effGetVendorString, 0, 1, "BrindleCircuits"},
               {effGetProductString, 0, 1, ""},       {effGetProgramName, 0, 0, "-"},
               {effGetProgramNameIndexed, 0, 1, "-"}, {effGetProgramNameIndexed, 1, 0, ""}};
  for (const auto& t : texts)
  {
    char buf[128] = "keep";
    EXPECT_EQ(p.Dispatch(t.op, t.index, 0, buf), t.answer) << t.op;
    EXPECT_STREQ(buf, t.text) << t.op;
    if (t.answer)
    {
      EXPECT_EQ(p.Dispatch(t.op, t.index, 0, nullptr), 0) << t.op;
    }
  }
  EXPECT_EQ(p.Dispatch(effGetProgramNameIndexed, -1, 0, nullptr), 0);
}

TEST(Plugin, CapabilityStrings)
{
  Loaded host;
  Instance p(host);
  EXPECT_EQ(p.Dispatch(effCanDo, 0, 0, Str("receiveVstTimeInfo")), 1);
  for (char const* no : {"receiveVstMidiEvent", "receiveVstEvents", "sendVstEvents",
                         "sendVstMidiEvent", "HasCockosExtensions", "receiveVstTimeInfo ", ""})
    EXPECT_EQ(p.Dispatch(effCanDo, 0, 0, Str(no)), 0) << no;
  EXPECT_EQ(p.Dispatch(effCanDo), 0);
  // Pointer-sized and positive: not 0xBEEF0000 sign-extended from 32 bits.
  EXPECT_EQ(p.Dispatch(effCanDo, 0, 0, Str("hasCockosExtensions")), VstIntPtr{0xBEEF0000});
  EXPECT_EQ(p.Dispatch(effCanDo, 0, 0, Str("hasCockosViewAsConfig")), VstIntPtr{0xBEEF0000});
}

TEST(Plugin, ParameterTexts)
{
  Loaded host;
  Instance p(host);
  char const* const displays[] = {"0.70", "-4.00", "0.30", "0.30", "0.40", "10.00", "10.00", "0"};
  for (int i = 0; i < 8; ++i)
  {
    EXPECT_EQ(p.ParamName(i), kNames[i]);
    EXPECT_EQ(p.ParamLabel(i), i == 1 || i == 5 || i == 6 ? "dB" : ""); // the levels
    EXPECT_EQ(p.ParamDisplay(i), displays[i]);
  }
  // Out of range or without a buffer: nothing written, 0.
  for (int op : std::initializer_list<int>{effGetParamName, effGetParamLabel, effGetParamDisplay})
  {
    for (int idx : {-1, 8})
    {
      char buf[8] = "keep";
      EXPECT_EQ(p.Dispatch(op, idx, 0, buf), 0);
      EXPECT_STREQ(buf, "keep");
    }
    EXPECT_EQ(p.Dispatch(op, 1, 0, nullptr), 0);
  }
}

TEST(Plugin, HostParameterCallbacks)
{
  Loaded host;
  Instance p(host);
  EXPECT_FLOAT_EQ(p->getParameter(p.Get(), 1), 0.4f); // -4 on -20 .. 20
  p->setParameter(p.Get(), 1, 1.0f);
  EXPECT_EQ(p.ParamDisplay(1), "20.00");
  p->setParameter(p.Get(), 7, 0.6f);
  EXPECT_EQ(p.ParamDisplay(7), "1"); // int parameter, rounded to its step
  EXPECT_EQ(p->getParameter(p.Get(), 7), 1.0f);

  for (int idx : {-1, 8, 1 << 30})
  {
    EXPECT_EQ(p->getParameter(p.Get(), idx), 0.0f);
    p->setParameter(p.Get(), idx, 0.25f);
  }
  p->setParameter(p.Get(), 5, std::nanf(""));
  p->setParameter(p.Get(), 5, INFINITY);
  EXPECT_EQ(p.ParamDisplay(5), "10.00");
  EXPECT_EQ(p.ParamDisplay(1), "20.00");
  EXPECT_EQ(host.Count(audioMasterAutomate), 0); // the host's own changes are not echoed
}

TEST(Plugin, TextToParameter)
{
  Loaded host;
  Instance p(host);
  auto set = [&](int idx, char const* text)
  { return p.Dispatch(effString2Parameter, idx, 0, Str(text)); };

  // Text below the double range reads 0 whatever its exponent's sign (Master's 0 dB is the
  // middle of its range); only a number too big for a double lands on a bound (clamped). Text
  // the parameter does not read (IParam::ParseText) is refused. Each row starts from Master at
  // 5 dB.
  const std::string tiny = "0." + std::string(400, '0') + "1", huge = "1" + std::string(400, '0');
  const struct
  {
    int idx;
    std::string text, shown;
  } rows[] = {{1, "35", "20.00"},        {1, "-7.5", "-7.50"},        {5, " +30.25 dB", "30.25"},
              {5, "1e400", "50.00"},     {1, "-1e400", "-20.00"},     {1, tiny, "0.00"},
              {1, tiny + "e+5", "0.00"}, {1, tiny + "e5", "0.00"},    {1, "-" + tiny, "-0.00"},
              {1, "1e-400", "0.00"},     {1, "0.00001e-320", "0.00"}, {1, huge + "e-800", "0.00"},
              {1, huge, "20.00"},        {1, "0.1e400", "20.00"},     {7, "1", "1"}};
  for (const auto& r : rows)
  {
    EXPECT_EQ(set(1, "5"), 1);
    EXPECT_EQ(set(r.idx, r.text.c_str()), 1) << r.text;
    EXPECT_EQ(p.ParamDisplay(r.idx), r.shown) << r.text;
  }

  EXPECT_EQ(set(1, "loud"), 0);
  EXPECT_EQ(p.ParamDisplay(1), "5.00");
  EXPECT_EQ(p.Dispatch(effString2Parameter, 1, 0, nullptr), 1); // "takes text"
  EXPECT_EQ(set(8, "1"), 0);
  EXPECT_EQ(set(-1, "1"), 0);
}

TEST(Plugin, NumbersUseAPointWhateverTheHostsLocale)
{
  if (!torva_test::UseCommaLocale()) GTEST_SKIP() << "no locale with a decimal comma available";
  char probe[16];
  std::snprintf(probe, sizeof probe, "%.1f", 1.5);
  bool const comma = std::string(probe) == "1,5";

  Loaded host;
  Instance p(host);
  EXPECT_EQ(p.ParamDisplay(1), "-4.00");
  EXPECT_EQ(p.Dispatch(effString2Parameter, 1, 0, Str("3.75")), 1);
  EXPECT_EQ(p.ParamDisplay(1), "3.75");
  char buf[32] = {};
  EXPECT_EQ(p.Dispatch(effVendorSpecific, 7, 0, buf, 0.25f), 0xBEEF);
  EXPECT_STREQ(buf, "0.25");

  torva_test::RestoreCLocale();
  EXPECT_TRUE(comma) << "the locale did not switch the decimal point";
}

TEST(Plugin, PinsAndSpeakers)
{
  Loaded host;
  Instance p(host);
  VstPinProperties pin{};
  EXPECT_EQ(p.Dispatch(effGetInputProperties, 0, 0, &pin), 1);
  EXPECT_EQ(pin.flags, kVstPinIsActive | kVstPinIsStereo);
  EXPECT_STREQ(pin.label, "Input 1");
  EXPECT_EQ(p.Dispatch(effGetInputProperties, 1, 0, &pin), 1);
  EXPECT_EQ(pin.flags, kVstPinIsActive);
  EXPECT_STREQ(pin.label, "Input 2");
  EXPECT_EQ(p.Dispatch(effGetOutputProperties, 0, 0, &pin), 1);
  EXPECT_STREQ(pin.label, "Output 1");
  std::strcpy(pin.label, "keep");
  for (int idx : {2, -1})
  {
    EXPECT_EQ(p.Dispatch(effGetInputProperties, idx, 0, &pin), 0);
    EXPECT_EQ(p.Dispatch(effGetOutputProperties, idx, 0, &pin), 0);
  }
  EXPECT_STREQ(pin.label, "keep");
  EXPECT_EQ(p.Dispatch(effGetInputProperties, 0, 0, nullptr), 0);

  VstSpeakerArrangement* in = nullptr;
  VstSpeakerArrangement* out = nullptr;
  EXPECT_EQ(p.Dispatch(effGetSpeakerArrangement, 0, reinterpret_cast<VstIntPtr>(&in), &out), 1);
  ASSERT_TRUE(in && out);
  EXPECT_EQ(in->numChannels, 2);
  EXPECT_EQ(in->type, kSpeakerArrStereo);
  EXPECT_EQ(out->numChannels, 2);
  EXPECT_EQ(p.Dispatch(effGetSpeakerArrangement), 1);

  // Every arrangement is accepted and the plug-in's own records stay as they are.
  VstSpeakerArrangement mono{}, bogus{};
  mono.type = kSpeakerArrMono;
  mono.numChannels = 1;
  bogus.numChannels = -5;
  EXPECT_EQ(p.Dispatch(effSetSpeakerArrangement, 0, reinterpret_cast<VstIntPtr>(&mono), &mono), 1);
  EXPECT_EQ(p.Dispatch(effSetSpeakerArrangement, 0, reinterpret_cast<VstIntPtr>(&bogus), nullptr),
            1);
  EXPECT_EQ(p.Dispatch(effSetSpeakerArrangement, 0, 0, &bogus), 1);
  EXPECT_EQ(in->numChannels, 2);
  EXPECT_EQ(in->type, kSpeakerArrStereo);
}

TEST(Plugin, ProgramRequests)
{
  Loaded host;
  Instance p(host);
  // Switching to the current program keeps the live values (they are stored first).
  p->setParameter(p.Get(), 0, 0.25f);
  EXPECT_EQ(p.Dispatch(effSetProgram, 0, 0), 0);
  EXPECT_EQ(p->getParameter(p.Get(), 0), 0.25f);
  // A program that does not exist changes nothing.
  for (VstIntPtr bad : {VstIntPtr{1}, VstIntPtr{-1}, VstIntPtr{1} << 32})
  {
    p.Dispatch(effSetProgram, 0, bad);
    EXPECT_EQ(p.Dispatch(effGetProgram), 0);
    EXPECT_EQ(p->getParameter(p.Get(), 0), 0.25f);
  }
  EXPECT_EQ(p.Dispatch(effSetProgramName, 0, 0, Str("Crunch")), 0);
  char buf[32];
  p.Dispatch(effGetProgramName, 0, 0, buf);
  EXPECT_STREQ(buf, "Crunch");
  p.Dispatch(effSetProgramName, 0, 0, nullptr);
  p.Dispatch(effGetProgramName, 0, 0, buf);
  EXPECT_STREQ(buf, "Crunch");
}

TEST(Plugin, TwoCopiesOfTheModuleSideBySide)
{
  // The same file opened twice shares one image; a copy under another name is a second,
  // independent image with its own statics, as when two plug-ins of this framework meet.
  // Instances are independent either way.
  torva_test::TempDir dir; // outlives the hosts below, which unload before it goes
  std::string const copy = dir / "TORVA-copy.so";
  std::filesystem::copy_file(PluginPath(), copy);

  Loaded first;
  Host second;
  ASSERT_TRUE(second.Load(copy.c_str())) << second.mError;
  EXPECT_NE(reinterpret_cast<void*>(first.Entry()), reinterpret_cast<void*>(second.Entry()));
  Loaded again; // the same file once more
  EXPECT_EQ(reinterpret_cast<void*>(first.Entry()), reinterpret_cast<void*>(again.Entry()));

  Instance a(first), b(second), c(again);
  ASSERT_TRUE(a && b && c);
  EXPECT_NE(a.Get(), c.Get());
  b->setParameter(b.Get(), 5, 0.0f);
  c->setParameter(c.Get(), 1, 1.0f);
  EXPECT_EQ(a.ParamDisplay(5) + a.ParamDisplay(1), "10.00-4.00");
  EXPECT_EQ(b.ParamDisplay(5) + b.ParamDisplay(1), "0.00-4.00");
  EXPECT_EQ(c.ParamDisplay(5) + c.ParamDisplay(1), "10.0020.00");

  float in[2][64], outA[2][64], outB[2][64];
  for (int i = 0; i < 64; ++i) in[0][i] = in[1][i] = 0.1f * std::sin(0.3f * i);
  float* ins[] = {in[0], in[1]};
  float* oa[] = {outA[0], outA[1]};
  float* ob[] = {outB[0], outB[1]};
  a->processReplacing(a.Get(), ins, oa, 64);
  b->processReplacing(b.Get(), ins, ob, 64);
  EXPECT_NE(std::memcmp(outA, outB, sizeof outA), 0); // different drive, different sound

  c.Close(); // closing one leaves the other of its image working
  EXPECT_EQ(a.ParamDisplay(1), "-4.00");
  a->setParameter(a.Get(), 1, 1.0f);
  EXPECT_EQ(a.ParamDisplay(1), "20.00");
}

TEST(Plugin, ExportsExactlyTheTwoEntries)
{
  std::string const cmd = std::string("nm -D --defined-only '") + PluginPath() + "' 2>/dev/null";
  FILE* pipe = popen(cmd.c_str(), "r");
  ASSERT_TRUE(pipe);
  std::set<std::string> symbols;
  char line[512];
  while (std::fgets(line, sizeof line, pipe))
  {
    char addr[64], kind[8], name[400];
    if (std::sscanf(line, "%63s %7s %399s", addr, kind, name) == 3) symbols.insert(name);
  }
  int const status = pclose(pipe);
  if (status != 0 && symbols.empty()) GTEST_SKIP() << "nm is not available";
  EXPECT_EQ(symbols, (std::set<std::string>{"VSTPluginMain", "main"}));
}
