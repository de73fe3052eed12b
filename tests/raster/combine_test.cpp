// The combine rules against a plain reference written from their formulas, exhaustively where
// the inputs allow, plus the vector row kernels against the scalar rules.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include <gtest/gtest.h>

#include "raster/lice.h"
#include "raster/lice_combine.h"
#include "raster/lice_simd.h"
#include "raster_test_util.h"
#include "support/Sanitized.h"

using torva_test::Rng;
using torva_test::Scaled;

namespace
{

// ---- Reference ------------------------------------------------------------------------------
// Literal per-channel formulas, computed in 64 bits with explicit truncation toward zero.

long long Quot(long long a, long long b)
{ // a / b rounded toward zero
  const long long q = std::llabs(a) / std::llabs(b);
  return (a < 0) != (b < 0) ? -q : q;
}
int Clamp(long long v)
{
  return v < 0 ? 0 : v > 255 ? 255 : (int)v;
}
int Byte(long long v)
{
  return (int)(v & 0xFF);
}

enum class Ch
{
  kCopy,
  kCopyClamp,
  kAdd,
  kDodge,
  kMul,
  kMulClamp,
  kOverlay,
  kHalfMix,
  kClobber
};

int RefChannel(Ch rule, int d, int s, int ia)
{
  switch (rule)
  {
  case Ch::kCopy:
    return Byte(s + Quot((long long)(d - s) * (256 - ia), 256));
  case Ch::kCopyClamp:
    return Clamp(s + Quot((long long)(d - s) * (256 - ia), 256));
  case Ch::kAdd:
    return Clamp(d + Quot((long long)s * ia, 256));
  case Ch::kDodge:
  {
    const long long k = Quot((long long)s * ia, 256);
    return Clamp(k < 255 ? Quot((long long)d * 256, 256 - k) : (long long)d * 256);
  }
  case Ch::kMul:
    return Byte(((long long)(s * ia + (256 - ia) * 256) * d) >> 16);
  case Ch::kMulClamp:
  {
    const long long x = (long long)(s * ia + (256 - ia) * 256) * d;
    return x >= (1 << 24) ? 255 : Clamp(x >> 16);
  }
  case Ch::kOverlay:
  {
    const long long o = (256 - ia) * 128;
    const long long x =
        (Quot((32768 - (long long)s * ia - o) * d, 256) + (long long)s * ia + o) * d;
    return x > 0x7FFFFF ? 255 : x < 0 ? 0 : (int)(x >> 15);
  }
  case Ch::kHalfMix:
    return (d + s) >> 1;
  case Ch::kClobber:
    return Byte(s);
  }
  return -1;
}

// The HSV rule, step by step as written.
LICE_pixel RefHSV(LICE_pixel dest, int r, int g, int b, int a, int ia)
{
  const int R = (int)LICE_GETR(dest), G = (int)LICE_GETG(dest), B = (int)LICE_GETB(dest);
  auto inv = [](int i) { return i == 0 ? 0 : 65536 / i - 1; };
  int v, m, base, diff;
  if (R < G && B < G)
  {
    v = G, m = std::min(B, R), base = 128, diff = B - R;
  }
  else if (R >= G && R > B)
  {
    v = R, m = std::min(G, B), diff = G - B, base = G < B ? 383 : 0;
  }
  else
  {
    v = B, m = std::min(R, G), base = 256, diff = R - G;
  }
  const int delta = v - m;
  long long h = base + Quot((long long)diff * (inv(delta) + 1), 1024);
  long long s = Quot((long long)delta * inv(v), 256);
  h += Quot((long long)(r + r / 2 - 192) * ia, 256);
  if (h < 0)
    h += 384;
  else if (h >= 384)
    h -= 384;
  s = Clamp(s + Quot((long long)(g - 128) * ia, 128));
  long long vv = Clamp(v + Quot((long long)(b - 128) * ia, 128));
  const long long p = ((256 - s) * vv) >> 8;
  auto q = [&](long long t) { return Quot((16384 - t * s) * vv, 16384); };
  long long nr, ng, nb;
  if (h < 64)
    nr = vv, ng = q(64 - h), nb = p;
  else if (h < 128)
    nr = q(h - 64), ng = vv, nb = p;
  else if (h < 192)
    nr = p, ng = vv, nb = q(192 - h);
  else if (h < 256)
    nr = p, ng = q(h - 192), nb = vv;
  else if (h < 320)
    nr = q(320 - h), ng = p, nb = vv;
  else
    nr = vv, ng = p, nb = q(h - 320);
  return LICE_RGBA(nr, ng, nb, std::min(a, 255));
}

// ---- Helpers --------------------------------------------------------------------------------

template <class Rule> LICE_pixel Apply(LICE_pixel dest, int r, int g, int b, int a, int ia)
{
  Rule::doPix((unsigned char*)&dest, r, g, b, a, ia);
  return dest;
}

const int kWeights[] = {1, 37, 64, 100, 128, 129, 192, 255, 256};

// Every (source byte, destination byte) pair at every weight, one pair per channel and the
// pairs rotated through the channels so that no channel is left out.
template <class Rule> void ExpectChannelRule(Ch rule, bool hasAlphaChannel = true)
{
  int failures = 0;
  for (int ia : kWeights)
  {
    for (int s = 0; s < 256; ++s)
    {
      for (int d = 0; d < 256; ++d)
      {
        const int sc[4] = {s, (s + 85) & 255, (s + 170) & 255, 255 - s};
        const int dc[4] = {d, (d + 31) & 255, (d + 201) & 255, 255 - d};
        const LICE_pixel dest = LICE_RGBA(dc[2], dc[1], dc[0], dc[3]);
        const LICE_pixel got = Apply<Rule>(dest, sc[2], sc[1], sc[0], sc[3], ia);
        for (int c = 0; c < (hasAlphaChannel ? 4 : 3); ++c)
        {
          const int want = RefChannel(rule, dc[c], sc[c], ia);
          const int have = (int)((got >> (8 * c)) & 0xFF);
          if (have != want && failures++ < 5)
            ADD_FAILURE() << "channel " << c << " d=" << dc[c] << " s=" << sc[c] << " ia=" << ia
                          << ": got " << have << ", want " << want;
        }
      }
    }
  }
  EXPECT_EQ(failures, 0);
}

} // namespace

TEST(CombineRules, ReciprocalTable)
{
  EXPECT_EQ(__LICE_RGB2HSV_invtab[0], 0);
  EXPECT_EQ(__LICE_RGB2HSV_invtab[1], 65535);
  EXPECT_EQ(__LICE_RGB2HSV_invtab[2], 32767);
  EXPECT_EQ(__LICE_RGB2HSV_invtab[3], 21844);
  EXPECT_EQ(__LICE_RGB2HSV_invtab[255], 256);
}

TEST(CombineRules, PerChannelRulesMatchReferenceExhaustively)
{
  ExpectChannelRule<_LICE_CombinePixelsCopyNoClamp>(Ch::kCopy);
  ExpectChannelRule<_LICE_CombinePixelsCopyClamp>(Ch::kCopyClamp);
  ExpectChannelRule<_LICE_CombinePixelsAdd>(Ch::kAdd);
  ExpectChannelRule<_LICE_CombinePixelsColorDodge>(Ch::kDodge);
  ExpectChannelRule<_LICE_CombinePixelsMulNoClamp>(Ch::kMul);
  ExpectChannelRule<_LICE_CombinePixelsMulClamp>(Ch::kMulClamp);
  ExpectChannelRule<_LICE_CombinePixelsOverlay>(Ch::kOverlay);
  ExpectChannelRule<_LICE_CombinePixelsHalfMixNoClamp>(Ch::kHalfMix);
  ExpectChannelRule<_LICE_CombinePixelsClobberNoClamp>(Ch::kClobber);
}

TEST(CombineRules, WorkedValues)
{
  // 201 + (-191 * 128) / 256 = 201 - 95: the quotient -95.5 truncates toward zero.
  EXPECT_EQ(LICE_GETB(Apply<_LICE_CombinePixelsCopyNoClamp>(10, 0, 0, 201, 0, 128)), 106u);
  // Dodge with a full source saturates any non-zero channel and keeps zero.
  EXPECT_EQ(Apply<_LICE_CombinePixelsColorDodge>(LICE_RGBA(1, 0, 200, 0), 255, 255, 255, 255, 256),
            LICE_RGBA(255, 0, 255, 0));
  // Per-channel half mix of 1 and 1 is 1; the whole-word half mix loses the low bit.
  EXPECT_EQ(Apply<_LICE_CombinePixelsHalfMixNoClamp>(0x01010101u, 1, 1, 1, 1, 0), 0x01010101u);
  EXPECT_EQ(lice_detail::HalfMixWord(0x01010101u, 0x01010101u), 0u);
  // Gradient sources beyond 0..255: the clamping forms saturate, the plain ones keep low bits.
  EXPECT_EQ(LICE_GETB(Apply<_LICE_CombinePixelsCopyClamp>(0, 0, 0, 300, 0, 256)), 255u);
  EXPECT_EQ(LICE_GETB(Apply<_LICE_CombinePixelsCopyClamp>(0, 0, 0, -40, 0, 256)), 0u);
  EXPECT_EQ(LICE_GETB(Apply<_LICE_CombinePixelsMulClamp>(255, 0, 0, 400, 0, 256)), 255u);
}

TEST(CombineRules, WholeWordMixesStayWithinTwoOfTheCopyRule)
{
  // No carry may cross into a neighbouring byte; each byte is the copy rule minus the lost low
  // bits.
  Rng rng(7);
  for (int i = 0; i < 200000; ++i)
  {
    const LICE_pixel p = rng.U32(), c = rng.U32();
    const LICE_pixel mixes[3] = {lice_detail::QuarterMixWord(p, c), lice_detail::HalfMixWord(p, c),
                                 lice_detail::ThreeQuarterMixWord(p, c)};
    const int weights[3] = {64, 128, 192};
    for (int m = 0; m < 3; ++m)
    {
      for (int ch = 0; ch < 4; ++ch)
      {
        const int d = (int)(p >> (8 * ch)) & 255, s = (int)(c >> (8 * ch)) & 255;
        const double exact = s * weights[m] / 256.0 + d * (256 - weights[m]) / 256.0;
        const int got = (int)(mixes[m] >> (8 * ch)) & 255;
        ASSERT_LE(got, exact + 1e-9);
        ASSERT_GE(got, exact - 2.0) << m << " " << ch;
      }
    }
  }
  EXPECT_EQ(lice_detail::QuarterMixWord(0xFF000000u, 0x00FFFFFFu), 0xBE3F3F3Fu);
  EXPECT_EQ(lice_detail::ThreeQuarterMixWord(0xFF000000u, 0x00FFFFFFu), 0x3FBEBEBEu);
}

TEST(CombineRules, SourceAlphaRulesMatchReference)
{
  // All source alphas and source bytes against a spread of destination bytes, at several
  // weights; the colour channels carry three different (S, D) pairs per call. (The rules' byte
  // arithmetic at every destination is covered by the per-channel test; this one checks the
  // weighting by source alpha and the skips.)
  const int dStep = Scaled(37, 85);
  int failures = 0;
  auto check = [&](const char* name, LICE_pixel got, LICE_pixel want, int sa, int s, int d, int ia)
  {
    if (got != want && failures++ < 5)
      ADD_FAILURE() << name << " sa=" << sa << " s=" << s << " d=" << d << " ia=" << ia << ": got "
                    << std::hex << got << ", want " << want;
  };
  for (int ia : {1, 100, 255, 256})
  {
    for (int sa = 0; sa < 256; ++sa)
    {
      const int w = ia * (sa + 1) / 256;
      for (int s = 0; s < 256; ++s)
      {
        for (int d = 0; d < 256; d += dStep)
        {
          const int sc[3] = {s, 255 - s, (s * 7) & 255};
          const int dc[4] = {d, (d + 99) & 255, 255 - d, (d * 3) & 255};
          const LICE_pixel dest = LICE_RGBA(dc[2], dc[1], dc[0], dc[3]);
          auto ref = [&](Ch rule, int weight, bool alphaToo)
          {
            int out[4];
            for (int c = 0; c < 3; ++c) out[c] = RefChannel(rule, dc[c], sc[c], weight);
            out[3] = alphaToo ? RefChannel(rule, dc[3], sa, weight) : dc[3];
            return LICE_RGBA(out[2], out[1], out[0], out[3]);
          };
          // Use-alpha copy at full weight: the parameter is ignored and 255 - sa is the
          // inverse weight.
          {
            LICE_pixel want = dest;
            if (sa == 255)
            {
              want = LICE_RGBA(sc[2], sc[1], sc[0], 255);
            }
            else if (sa)
            {
              int out[3];
              for (int c = 0; c < 3; ++c)
                out[c] = Byte(sc[c] + Quot((long long)(dc[c] - sc[c]) * (255 - sa), 256));
              want = LICE_RGBA(out[2], out[1], out[0], std::min(255, dc[3] + sa));
            }
            check("copy-ignore",
                  Apply<_LICE_CombinePixelsCopySourceAlphaIgnoreAlphaParmNoClamp>(
                      dest, sc[2], sc[1], sc[0], sa, ia),
                  want, sa, s, d, ia);
          }
          {
            LICE_pixel want = dest;
            if (sa)
            {
              const LICE_pixel c = ref(Ch::kCopy, w, false);
              want = (c & 0x00FFFFFFu) | ((LICE_pixel)std::min(255, dc[3] + w) << 24);
            }
            check(
                "copy",
                Apply<_LICE_CombinePixelsCopySourceAlphaNoClamp>(dest, sc[2], sc[1], sc[0], sa, ia),
                want, sa, s, d, ia);
          }
          check("add", Apply<_LICE_CombinePixelsAddSourceAlpha>(dest, sc[2], sc[1], sc[0], sa, ia),
                sa ? ref(Ch::kAdd, w, true) : dest, sa, s, d, ia);
          check("dodge",
                Apply<_LICE_CombinePixelsColorDodgeSourceAlpha>(dest, sc[2], sc[1], sc[0], sa, ia),
                ref(Ch::kDodge, w, true), sa, s, d, ia);
          check("mul",
                Apply<_LICE_CombinePixelsMulSourceAlphaNoClamp>(dest, sc[2], sc[1], sc[0], sa, ia),
                sa ? ref(Ch::kMul, w, true) : dest, sa, s, d, ia);
          check("overlay",
                Apply<_LICE_CombinePixelsOverlaySourceAlpha>(dest, sc[2], sc[1], sc[0], sa, ia),
                ref(Ch::kOverlay, w, true), sa, s, d, ia);
        }
      }
    }
  }
  EXPECT_EQ(failures, 0);
}

TEST(CombineRules, HSVMatchesReferenceOnRandomPixels)
{
  Rng rng(11);
  const int n = Scaled(2000000, 200000);
  for (int i = 0; i < n; ++i)
  {
    const LICE_pixel dest = rng.U32();
    const int r = rng.Int(0, 255), g = rng.Int(0, 255), b = rng.Int(0, 255), a = rng.Int(0, 255);
    const int ia = i % 4 == 0 ? 256 : rng.Int(1, 256);
    const LICE_pixel got = Apply<_LICE_CombinePixelsHSVAdjust>(dest, r, g, b, a, ia);
    ASSERT_EQ(got, RefHSV(dest, r, g, b, a, ia))
        << std::hex << "dest " << dest << " adj " << r << "," << g << "," << b << " ia " << std::dec
        << ia;
    const int w = ia * (a + 1) / 256;
    ASSERT_EQ(Apply<_LICE_CombinePixelsHSVAdjustSourceAlpha>(dest, r, g, b, a, ia),
              RefHSV(dest, r, g, b, a, w));
  }
}

TEST(CombineRules, HSVNeutralAdjustmentIsARoundTrip)
{
  // (128, 128, 128) shifts nothing: every colour comes back from its integer round trip within
  // a few steps, and the alpha becomes the source alpha. The hue is truncated to 1/64 of a
  // sector (up to 255 / 64 on a channel) and the saturation to 1/256: at most 5 in all.
  int worst = 0;
  const int step = Scaled(1, 3);
  for (int rr = 0; rr < 256; rr += step)
    for (int gg = 0; gg < 256; gg += step)
      for (int bb = 0; bb < 256; ++bb)
      {
        const LICE_pixel dest = LICE_RGBA(rr, gg, bb, 77);
        const LICE_pixel got = Apply<_LICE_CombinePixelsHSVAdjust>(dest, 128, 128, 128, 200, 256);
        ASSERT_EQ(LICE_GETA(got), 200u);
        worst = std::max({worst, std::abs((int)LICE_GETR(got) - rr),
                          std::abs((int)LICE_GETG(got) - gg), std::abs((int)LICE_GETB(got) - bb)});
      }
  EXPECT_LE(worst, 5);
  // Greys have no hue or saturation to lose.
  for (int v = 0; v < 256; ++v)
    EXPECT_EQ(Apply<_LICE_CombinePixelsHSVAdjust>(LICE_RGBA(v, v, v, 0), 128, 128, 128, 9, 100),
              LICE_RGBA(v, v, v, 9));
  // Red turned by 127 of 384 steps lands just short of pure green:
  // h = 0 + (213 + 106 - 192) = 127, red = q(63) = (16384 - 63 * 255) * 255 / 16384 = 4.
  EXPECT_EQ(Apply<_LICE_CombinePixelsHSVAdjust>(LICE_RGBA(255, 0, 0, 0), 213, 128, 128, 255, 256),
            LICE_RGBA(4, 255, 0, 255));
}

TEST(CombinePixels, SelectsTheRuleOfTheModeWord)
{
  const LICE_pixel dest = 0x80402010u, src = 0x40C0E0F0u;
  // Weight 0 (and NaN, negative) leaves the destination alone.
  EXPECT_EQ(LICE_CombinePixels(dest, src, 0.0f, LICE_COMBINE_ADD), dest);
  EXPECT_EQ(LICE_CombinePixels(dest, src, 0.003f, LICE_COMBINE_COPY), dest);
  EXPECT_EQ(LICE_CombinePixels(dest, src, NAN, LICE_COMBINE_COPY), dest);
  EXPECT_EQ(LICE_CombinePixels(dest, src, -1.0f, LICE_COMBINE_COPY), dest);
  // Copy at full weight (or more) stores the source exactly.
  EXPECT_EQ(LICE_CombinePixels(dest, src, 1.0f, LICE_COMBINE_COPY), src);
  EXPECT_EQ(LICE_CombinePixels(dest, src, 3.0f, LICE_COMBINE_COPY), src);
  // Unknown rules and channel copy draw nothing here.
  EXPECT_EQ(LICE_CombinePixels(dest, src, 1.0f, 6), dest);
  EXPECT_EQ(LICE_CombinePixels(dest, src, 1.0f, 0xF3), dest);
  // The filter bits play no part; the use-alpha bit selects the source-alpha forms.
  EXPECT_EQ(LICE_CombinePixels(dest, src, 0.5f, LICE_COMBINE_MUL | LICE_COMBINE_FILTER_BILINEAR),
            Apply<_LICE_CombinePixelsMulNoClamp>(dest, 0xC0, 0xE0, 0xF0, 0x40, 128));
  EXPECT_EQ(LICE_CombinePixels(dest, src, 1.0f, LICE_COMBINE_USE_ALPHA),
            Apply<_LICE_CombinePixelsCopySourceAlphaIgnoreAlphaParmNoClamp>(dest, 0xC0, 0xE0, 0xF0,
                                                                            0x40, 256));
  EXPECT_EQ(LICE_CombinePixels(dest, src, 0.5f, LICE_COMBINE_USE_ALPHA | LICE_COMBINE_DODGE),
            Apply<_LICE_CombinePixelsColorDodgeSourceAlpha>(dest, 0xC0, 0xE0, 0xF0, 0x40, 128));
  EXPECT_EQ(LICE_CombinePixels(dest, 0x00FFFFFFu, 1.0f, LICE_COMBINE_USE_ALPHA), dest);

  LICE_pixel p = dest;
  LICE_CombinePixels2(&p, 1, 2, 3, 4, 0, LICE_COMBINE_COPY);
  EXPECT_EQ(p, dest);
  LICE_CombinePixels2(&p, 1, 2, 3, 4, 256, LICE_COMBINE_COPY);
  EXPECT_EQ(p, LICE_RGBA(1, 2, 3, 4));
  // The clamping form limits the inputs: 300 and -5 become 255 and 0.
  p = dest;
  LICE_CombinePixels2Clamp(&p, 300, -5, 3, 999, 256, LICE_COMBINE_COPY);
  EXPECT_EQ(p, LICE_RGBA(255, 0, 3, 255));
  // Multiplying by 300 limited to 255: 255 * 255 >> 8 = 254, not the wrapped low byte of 298.
  p = 0xFFFFFFFFu;
  LICE_CombinePixels2Clamp(&p, 300, 300, 300, 300, 256, LICE_COMBINE_MUL);
  EXPECT_EQ(p, 0xFEFEFEFEu);
}

// ---- Vector kernels -------------------------------------------------------------------------

namespace
{

namespace simd = lice_detail::simd;

class SimdLevels : public ::testing::TestWithParam<simd::ELevel>
{
protected:
  void SetUp() override
  {
    if (GetParam() > simd::BestLevel()) GTEST_SKIP() << "processor lacks this level";
    mPrevious = simd::SetLevel(GetParam());
  }
  void TearDown() override { simd::SetLevel(mPrevious); }
  simd::ELevel mPrevious = simd::kScalar;
};

template <class Rule> void ScalarRow(LICE_pixel* d, const LICE_pixel* s, int n, int ia)
{
  for (int i = 0; i < n; ++i) lice_detail::CombineWord<Rule>(d + i, s[i], ia);
}

} // namespace

TEST_P(SimdLevels, KernelsMatchScalarRulesOnEveryByteCombination)
{
  // One row holds every (source byte, source alpha) pair, the source byte differently mapped in
  // each colour channel; in pass d the colour channel c of every destination pixel is 3d + c.
  // So for each channel mapping every (S, sa, D) triple occurs in some pass.
  std::vector<LICE_pixel> src(65536);
  for (int i = 0; i < 65536; ++i)
  {
    const int s = i & 255, sa = i >> 8;
    src[i] = LICE_RGBA(s, 255 - s, (s * 5) & 255, sa);
  }
  const int dStep = Scaled(1, 9);
  std::vector<LICE_pixel> got(65536), want(65536);
  for (int d = 0; d < 86; d += dStep)
  {
    const LICE_pixel dp = LICE_RGBA(std::min(3 * d + 2, 255), 3 * d + 1, 3 * d, (d * 7) & 255);
    for (int ia : {256, 255, 1, 77, 128})
    {
      auto run = [&](const char* name, auto kernel, auto scalar)
      {
        std::fill(got.begin(), got.end(), dp);
        std::fill(want.begin(), want.end(), dp);
        kernel(got.data(), src.data(), 65536, ia);
        scalar(want.data(), src.data(), 65536, ia);
        if (got == want) return;
        const size_t i = std::mismatch(got.begin(), got.end(), want.begin()).first - got.begin();
        FAIL() << name << " d=" << d << " ia=" << ia << std::hex << " src=" << src[i] << ": got "
               << got[i] << ", want " << want[i];
      };
      if (ia == 256)
        run(
            "over",
            [](LICE_pixel* a, const LICE_pixel* b, int n, int) { simd::SourceOverRow(a, b, n); },
            ScalarRow<_LICE_CombinePixelsCopySourceAlphaIgnoreAlphaParmNoClamp>);
      run("source-alpha copy", simd::SourceAlphaCopyRow,
          ScalarRow<_LICE_CombinePixelsCopySourceAlphaNoClamp>);
      if (ia < 256) run("copy", simd::CopyRow, ScalarRow<_LICE_CombinePixelsCopyNoClamp>);
    }
  }
}

TEST_P(SimdLevels, KernelsHandleEveryLengthAndOffset)
{
  // Short rows, odd lengths and unaligned starts exercise the tails; runs of opaque and clear
  // source pixels exercise the shortcuts.
  Rng rng(3);
  std::vector<LICE_pixel> src(80), d0(80), got(80), want(80);
  for (int iter = 0; iter < 400; ++iter)
  {
    for (auto& p : src) p = raster_test::ImagePixel(rng);
    if (iter % 3 == 0)
      for (int i = rng.Int(0, 40), e = i + rng.Int(0, 30); i < e && i < 80; ++i)
        src[i] |= 0xFF000000u;
    for (auto& p : d0) p = rng.U32();
    const int off = rng.Int(0, 7), n = rng.Int(0, 80 - off), ia = rng.Int(1, 255);
    const LICE_pixel color = rng.U32();
    const int a = rng.Int(0, 255);

    got = d0, want = d0;
    simd::SourceOverRow(got.data() + off, src.data() + off, n);
    ScalarRow<_LICE_CombinePixelsCopySourceAlphaIgnoreAlphaParmNoClamp>(want.data() + off,
                                                                        src.data() + off, n, 256);
    ASSERT_EQ(got, want) << "over n=" << n;

    got = d0, want = d0;
    simd::SourceAlphaCopyRow(got.data() + off, src.data() + off, n, ia);
    ScalarRow<_LICE_CombinePixelsCopySourceAlphaNoClamp>(want.data() + off, src.data() + off, n,
                                                         ia);
    ASSERT_EQ(got, want) << "source alpha n=" << n;

    got = d0, want = d0;
    simd::CopyRow(got.data() + off, src.data() + off, n, ia);
    ScalarRow<_LICE_CombinePixelsCopyNoClamp>(want.data() + off, src.data() + off, n, ia);
    ASSERT_EQ(got, want) << "copy n=" << n;

    got = d0, want = d0;
    simd::HalfMixRow(got.data() + off, src.data() + off, n);
    for (int i = off; i < off + n; ++i) want[i] = lice_detail::HalfMixWord(want[i], src[i]);
    ASSERT_EQ(got, want) << "half n=" << n;

    for (int kind = 0; kind < 4; ++kind)
    {
      got = d0, want = d0;
      simd::WordMixColorRow(got.data() + off, color, n, (simd::EWordMix)kind);
      for (int i = off; i < off + n; ++i)
        want[i] = kind == 0   ? color
                  : kind == 1 ? lice_detail::QuarterMixWord(want[i], color)
                  : kind == 2 ? lice_detail::HalfMixWord(want[i], color)
                              : lice_detail::ThreeQuarterMixWord(want[i], color);
      ASSERT_EQ(got, want) << "word mix " << kind << " n=" << n;
    }

    got = d0, want = d0;
    simd::CopyColorRow(got.data() + off, color, a, n, ia);
    for (int i = off; i < off + n; ++i)
      _LICE_CombinePixelsCopyNoClamp::doPix((unsigned char*)&want[i], (int)LICE_GETR(color),
                                            (int)LICE_GETG(color), (int)LICE_GETB(color), a, ia);
    ASSERT_EQ(got, want) << "colour n=" << n;
  }
}

INSTANTIATE_TEST_SUITE_P(Levels, SimdLevels, ::testing::Values(simd::kSSE2, simd::kAVX2),
                         [](const auto& info)
                         { return info.param == simd::kSSE2 ? "SSE2" : "AVX2"; });
