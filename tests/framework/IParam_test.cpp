// Normalisation, step rounding, display precision and display strings of a parameter.

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstdio>
#include <limits>
#include <string>

#include "framework/IParam.h"
#include "support/Random.h"
#include "support/locale.h"

namespace
{
std::string Display(IParam const& p, double v, bool normalized = false, bool texts = true)
{
  char buf[kParamTextLen];
  std::memset(buf, '#', sizeof(buf));
  p.GetDisplayForHost(v, normalized, buf, texts);
  return buf;
}

double const kNaN = std::numeric_limits<double>::quiet_NaN();
double const kInf = std::numeric_limits<double>::infinity();
} // namespace

TEST(IParam, Initialisations)
{
  IParam e1, e2, e5;
  e1.InitEnum("e", 0, 1);
  e2.InitEnum("e", 0, 2);
  e5.InitEnum("e", 3, 5);
  EXPECT_EQ(e1.GetMax(), 1.0);
  EXPECT_EQ(e2.GetMax(), 1.0);
  EXPECT_EQ(e5.GetMax(), 4.0);
  EXPECT_EQ(e5.Value(), 3.0);
  EXPECT_EQ(e5.Type(), IParam::kTypeEnum);

  IParam i;
  i.InitInt("i", 5, 5, 5);
  EXPECT_EQ(i.GetMin(), 5.0);
  EXPECT_EQ(i.GetMax(), 6.0);

  IParam d;
  d.InitDouble("d", 0.5, 3.0, 1.0, 0.25, "dB", "grp", 0.0);
  EXPECT_EQ(d.GetMax(), 3.25) << "maximum is at least minimum + step";
  EXPECT_EQ(d.GetShape(), 1.0) << "a zero shape leaves the previous one";
  d.SetShape(2.0);
  d.SetShape(0.0);
  EXPECT_EQ(d.GetShape(), 2.0);
  EXPECT_STREQ(d.GetNameForHost(), "d");
  EXPECT_STREQ(d.GetParamGroupForHost(), "grp");

  // The first initialisation fixes the kind; a second one re-initialises the rest.
  d.InitInt("again", 1, 0, 10);
  EXPECT_EQ(d.Type(), IParam::kTypeDouble);
  EXPECT_EQ(d.GetMax(), 10.0);
  EXPECT_STREQ(d.GetNameForHost(), "again");
}

TEST(IParam, DisplayPrecisionFollowsTheStep)
{
  struct Case
  {
    double step;
    int precision;
  };
  for (Case c : {Case{1.0, 0}, Case{0.1, 1}, Case{0.01, 2}, Case{0.25, 2}, Case{0.001, 3},
                 Case{0.0000001, 6}, Case{2.0, 0}, Case{0.3, 1},
                 Case{0.07, 6} /* 0.07 * 10 * 10 is not whole in doubles */})
  {
    IParam p;
    p.InitDouble("p", 0.0, 0.0, 100.0, c.step);
    EXPECT_EQ(p.GetPrecision(), c.precision) << c.step;
  }
}

TEST(IParam, NormalisationAndStepRounding)
{
  IParam d;
  d.InitDouble("d", 0.0, 0.0, 1.0, 0.01);
  d.SetNormalized(0.123456);
  EXPECT_EQ(d.Value(), 0.123456) << "double kind is never step-rounded";
  EXPECT_EQ(Display(d, d.Value()), "0.12");

  IParam i;
  i.InitInt("i", 0, 0, 10);
  i.SetNormalized(0.44);
  EXPECT_EQ(i.Value(), 4.0);
  i.SetNormalized(0.45);
  EXPECT_EQ(i.Value(), 5.0) << "4.5 rounds up";
  i.SetNormalized(1.2);
  EXPECT_EQ(i.Value(), 10.0);

  d.SetNormalized(-0.5);
  EXPECT_EQ(d.Value(), -0.5) << "no lower clamp";
  EXPECT_EQ(d.GetNormalized(), 0.0);
  d.Set(7.0);
  EXPECT_EQ(d.Value(), 1.0) << "plain values are clamped";
  EXPECT_EQ(d.GetNormalized(3.0), 1.0);

  // Shape: plain = min + range * n^shape and back.
  IParam s;
  s.InitDouble("s", 0.0, 10.0, 20.0, 0.001, "", "", 2.0);
  s.SetNormalized(0.5);
  EXPECT_DOUBLE_EQ(s.Value(), 12.5);
  EXPECT_DOUBLE_EQ(s.GetNormalized(), 0.5);
  EXPECT_DOUBLE_EQ(s.GetNonNormalized(0.1), 10.1);
}

TEST(IParam, NonFiniteValuesNeverReachTheParameter)
{
  IParam d;
  d.InitDouble("d", 0.25, 0.0, 1.0, 0.01);
  for (double bad : {kNaN, kInf, -kInf})
  {
    d.SetNormalized(bad);
    d.Set(bad);
    EXPECT_EQ(d.Value(), 0.25);
  }
  // A mapping that is not finite either: a negative position under a fractional shape.
  d.SetShape(1.5);
  d.SetNormalized(-0.5);
  EXPECT_EQ(d.Value(), 0.25);
  EXPECT_EQ(d.GetNormalized(kNaN), 0.0);
}

TEST(IParam, DisplayTextsAndLabels)
{
  IParam b;
  b.InitBool("b", true, "units");
  EXPECT_EQ(Display(b, b.Value()), "on");
  EXPECT_STREQ(b.GetLabelForHost(), "") << "an enumerated value shows no unit";
  b.InitBool("b", false, "units"); // a second pair of texts, never reached
  EXPECT_EQ(b.GetNDisplayTexts(), 4);
  EXPECT_EQ(Display(b, 0.0), "off");
  EXPECT_EQ(Display(b, 1.0, false, false), "1");

  IParam pct;
  pct.InitDouble("p", 10.0, 0.0, 100.0, 0.01, "%");
  EXPECT_EQ(Display(pct, 10.0), "10.00");
  EXPECT_STREQ(pct.GetLabelForHost(), "%");
  EXPECT_EQ(Display(pct, 0.25, true), "25.00") << "a normalised value is mapped first";

  IParam e;
  e.InitEnum("e", 0, 3);
  e.SetDisplayText(0, "zero");
  e.SetDisplayText(1, "");
  e.SetDisplayText(2, "two");
  e.SetDisplayText(2, "second two");
  EXPECT_EQ(Display(e, 0.99), "zero") << "looked up by truncation";
  EXPECT_EQ(Display(e, 1.0), "1") << "an empty text falls back to the number";
  EXPECT_EQ(Display(e, 2.0), "two") << "the first match wins";
  EXPECT_STREQ(e.GetDisplayText(7), "");
  double v = -1.0;
  EXPECT_TRUE(e.MapDisplayText("two", &v));
  EXPECT_EQ(v, 2.0);
  v = -1.0;
  EXPECT_FALSE(e.MapDisplayText("Two", &v));
  EXPECT_EQ(v, -1.0);
  EXPECT_STREQ(e.GetDisplayTextAtIdx(3, &v), "second two");
  EXPECT_EQ(v, 2.0);
  EXPECT_STREQ(e.GetDisplayTextAtIdx(4, &v), "");

  IParam neg;
  neg.InitDouble("n", 3.0, -10.0, 10.0, 0.5);
  neg.NegateDisplay();
  EXPECT_EQ(Display(neg, 3.0), "-3.0");

  double lo, hi;
  neg.GetBounds(&lo, &hi);
  EXPECT_EQ(lo, -10.0);
  EXPECT_EQ(hi, 10.0);
}

// What a parameter takes as typed text, whoever types it: its display texts, or a number with
// its own label at most. A refused text leaves the value untouched.
TEST(IParam, TypedTextIsReadByOneRule)
{
  IParam gain, plain, negated, mode, onOff, steps, gate;
  gain.InitDouble("Gain", 0.0, -20.0, 20.0, 0.1, "dB");
  plain.InitDouble("Level", 0.5, 0.0, 1.0, 0.01);
  negated.InitDouble("Cut", 0.0, -20.0, 20.0, 0.1, "dB");
  negated.NegateDisplay();
  mode.InitEnum("Mode", 0, 3);
  mode.SetDisplayText(2, "Lead");
  onOff.InitBool("On", false);
  steps.InitEnum("Steps", 0, 5);
  gate.InitInt("Gate", 0, 0, 10, "ms");
  gate.SetDisplayText(0, "off"); // a named point on a numeric range

  const std::string tiny = "0." + std::string(400, '0') + "1", huge = "1" + std::string(400, '0');
  constexpr double kNo = 123.0; // refused
  const struct
  {
    IParam const* param;
    std::string text;
    double value;
  } rows[] = {
      {&gain, "10", 10.0},     {&gain, "  -5.5 dB ", -5.5}, {&gain, "3dB", 3.0},
      {&gain, "+2", 2.0},      {&gain, ".5e1", 5.0},        {&gain, "35", 20.0}, // clamped
      {&gain, huge, 20.0},     {&gain, "-" + huge, -20.0},  {&gain, tiny, 0.0},
      {&gain, "3 db", kNo},    {&gain, "3 Hz", kNo},        {&gain, "3 apples", kNo},
      {&gain, "3 dB dB", kNo}, {&gain, "dB", kNo},          {&gain, "", kNo},
      {&gain, " ", kNo},       {&gain, "abc", kNo},         {&gain, "inf", kNo},
      {&gain, "nan", kNo},     {&gain, "--3", kNo},         {&gain, ".", kNo},
      {&gain, "0,5", kNo},     {&gain, "0x10", kNo},        {&gain, "12\xc3\x28", kNo},
      {&plain, "0.7", 0.7},    {&plain, "0.7 %", kNo},      {&negated, "-30 dB", 20.0},
      {&mode, " Lead ", 2.0},  {&mode, "lead", kNo},        {&mode, "1", kNo},
      {&onOff, "on", 1.0},     {&onOff, "1", kNo},          {&steps, "3", 3.0},
      {&steps, "Three", kNo},  {&gate, "off", 0.0},         {&gate, "5 ms", 5.0},
  };
  for (const auto& row : rows)
  {
    double v = kNo;
    EXPECT_EQ(row.param->ParseText(row.text.c_str(), &v), row.value != kNo)
        << row.text.substr(0, 9);
    EXPECT_EQ(v, row.value) << row.param->GetNameForHost() << " " << row.text.substr(0, 9);
  }
  double v = kNo;
  EXPECT_FALSE(gain.ParseText(nullptr, &v));
}

TEST(IParam, LongTextsAreCutAndTerminated)
{
  std::string const longText(100, 'x');
  IParam p;
  p.InitDouble(longText.c_str(), 0.0, 0.0, 1.0, 0.1, longText.c_str(), longText.c_str());
  p.SetDisplayText(0, longText.c_str());
  std::string const cut(kParamTextLen - 1, 'x');
  EXPECT_EQ(p.GetNameForHost(), cut);
  EXPECT_EQ(p.GetParamGroupForHost(), cut);
  EXPECT_EQ(p.GetDisplayText(0), cut);
  EXPECT_EQ(Display(p, 0.0), cut);
  p.Set(1.0);
  EXPECT_EQ(p.GetLabelForHost(), cut);

  // Huge values cut to the field, never overflowing it, and no overflow in the int truncation.
  IParam big;
  big.InitDouble("big", 0.0, -1e300, 1e300, 0.01);
  EXPECT_EQ(Display(big, 1e300).size(), static_cast<size_t>(kParamTextLen - 1));
  IParam bigInt;
  bigInt.InitDouble("bi", 0.0, -1e300, 1e300, 1.0);
  EXPECT_EQ(Display(bigInt, 1e300), "2147483647");
  EXPECT_EQ(Display(bigInt, -1e300), "-2147483648");
}

// The display strings are what printf("%.*f") gives in the C locale, decimals included.
TEST(IParam, DisplayMatchesCLocalePrintf)
{
  torva_test::Rng rng(11);
  for (int precision = 1; precision <= 6; ++precision)
  {
    IParam p;
    p.InitDouble("p", 0.0, -1000.0, 1000.0, std::pow(10.0, -precision));
    ASSERT_EQ(p.GetPrecision(), precision);
    for (double v : {0.125, 0.375, 2.5, -0.001, -0.0, 999.9999995})
    {
      char ref[64];
      std::snprintf(ref, sizeof(ref), "%.*f", precision, v);
      EXPECT_EQ(Display(p, v), ref) << v;
    }
    for (int k = 0; k < 200; ++k)
    {
      double const v = rng.Real(-1000.0, 1000.0);
      char ref[64];
      std::snprintf(ref, sizeof(ref), "%.*f", precision, v);
      ASSERT_EQ(Display(p, v), ref) << v;
    }
  }
}

TEST(IParam, DisplayIgnoresTheLocale)
{
  if (!torva_test::UseCommaLocale()) GTEST_SKIP() << "no locale with a decimal comma available";
  IParam p;
  p.InitDouble("p", 0.0, 0.0, 100.0, 0.01);
  std::string const shown = Display(p, 12.5);
  torva_test::RestoreCLocale();
  EXPECT_EQ(shown, "12.50");
}

TEST(IParam, DBToAmp)
{
  IParam p;
  p.InitDouble("Master", -4.0, -20.0, 20.0, 0.01);
  EXPECT_EQ(p.DBToAmp(), std::exp(-4.0 * 0.1151292546497));
  p.Set(20.0);
  EXPECT_NEAR(p.DBToAmp(), 10.0, 1e-9);
}
