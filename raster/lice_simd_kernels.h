// Vector bodies of the row kernels in lice_simd.h, written once over a register traits class
// (V) and instantiated for SSE2 (lice_simd.cpp) and AVX2 (lice_simd_avx2.cpp, compiled for that
// target). Include only inside an anonymous namespace: the instantiations must stay local to
// their translation unit so that no AVX2 code can stand in for the SSE2 one at link time.
//
// The copy rule D = S + (D - S) * inv / 256 truncates toward zero, which on bytes is
//   t = (|D - S| * inv) >> 8;  D = D >= S ? S + t : S - t
// with |D - S| from the two unsigned saturating differences (one of them is zero); the product
// (at most 255 * 256) fits a 16-bit lane.

// The copy rule at one inverse weight per pixel: invlo/invhi hold inv in every 16-bit lane of
// the pixel (pixels unpacked to 16 bits, low and high halves of the register).
template <class V>
inline typename V::T CopyMix(typename V::T d, typename V::T s, typename V::T invlo,
                             typename V::T invhi)
{
  using T = typename V::T;
  const T zero = V::zero();
  const T pos = V::subs_u8(d, s), neg = V::subs_u8(s, d);
  const T diff = V::or_(pos, neg);
  const T tlo = V::srli16(V::mullo16(V::unpacklo8(diff, zero), invlo), 8);
  const T thi = V::srli16(V::mullo16(V::unpackhi8(diff, zero), invhi), 8);
  const T t = V::packus16(tlo, thi);
  const T up = V::cmpeq8(neg, zero); // D >= S
  return V::sub8(V::add8(s, V::and_(up, t)), V::andnot(up, t));
}

// The use-alpha copy rules. kWeighted = false: the full-weight form (inv = 255 - sa, alpha
// gains sa); true: w = ia * (sa + 1) / 256, inv = 256 - w, alpha gains w (ia 1..255).
template <class V, bool kWeighted>
void SourceAlphaRowV(LICE_pixel* d, const LICE_pixel* s, int n, int ia)
{
  using T = typename V::T;
  constexpr int kN = V::kPixels;
  const T zero = V::zero();
  const T alphaMask = V::set1_32((int)0xFF000000u);
  const T base16 = V::set1_16(kWeighted ? 256 : 255);
  const T iaHigh = V::set1_16(ia << 8);
  const T one16 = V::set1_16(1);
  int i = 0;
  for (; i + kN <= n; i += kN)
  {
    const T sv = V::load(s + i);
    const T av = V::and_(sv, alphaMask);
    const T transparent = V::cmpeq32(av, zero);
    const unsigned tmask = V::movemask8(transparent);
    if (tmask == V::kAllMask) continue;
    if (!kWeighted && V::movemask8(V::cmpeq32(av, alphaMask)) == V::kAllMask)
    {
      V::store(d + i, sv);
      continue;
    }
    const T dv = V::load(d + i);
    T wlo = V::alpha16(V::unpacklo8(sv, zero));
    T whi = V::alpha16(V::unpackhi8(sv, zero));
    if (kWeighted)
    {
      // (ia * 256 * (sa + 1)) >> 16 = ia * (sa + 1) / 256
      wlo = V::mulhi_u16(V::add16(wlo, one16), iaHigh);
      whi = V::mulhi_u16(V::add16(whi, one16), iaHigh);
    }
    const T colour = CopyMix<V>(dv, sv, V::sub16(base16, wlo), V::sub16(base16, whi));
    const T alpha = V::and_(V::adds_u8(dv, V::packus16(wlo, whi)), alphaMask);
    T result = V::or_(V::andnot(alphaMask, colour), alpha);
    if (tmask) result = V::or_(V::and_(transparent, dv), V::andnot(transparent, result));
    V::store(d + i, result);
  }
  for (; i < n; ++i)
  {
    if (kWeighted)
      CombineWord<_LICE_CombinePixelsCopySourceAlphaNoClamp>(d + i, s[i], ia);
    else
      CombineWord<_LICE_CombinePixelsCopySourceAlphaIgnoreAlphaParmNoClamp>(d + i, s[i], ia);
  }
}

// The copy rule at weight ia (1..255) from a source row, or from one colour when s is null.
template <class V>
void CopyRowV(LICE_pixel* d, const LICE_pixel* s, LICE_pixel color, int n, int ia)
{
  using T = typename V::T;
  constexpr int kN = V::kPixels;
  const T inv = V::set1_16(256 - ia);
  const T cv = V::set1_32((int)color);
  int i = 0;
  for (; i + kN <= n; i += kN)
  {
    const T sv = s ? V::load(s + i) : cv;
    V::store(d + i, CopyMix<V>(V::load(d + i), sv, inv, inv));
  }
  for (; i < n; ++i) CombineWord<_LICE_CombinePixelsCopyNoClamp>(d + i, s ? s[i] : color, ia);
}

// The whole-word mixes of a source row (or, with s null, of one colour word) into d:
// kind 0 stores, 1 quarter, 2 half, 3 three-quarter mix (formulas in lice_combine.h).
template <class V, int kKind>
void WordMixRowV(LICE_pixel* d, const LICE_pixel* s, LICE_pixel color, int n)
{
  using T = typename V::T;
  constexpr int kN = V::kPixels;
  const T m1 = V::set1_32(0x7F7F7F7F), m2 = V::set1_32(0x3F3F3F3F);
  const T cv = V::set1_32((int)color);
  int i = 0;
  for (; i + kN <= n; i += kN)
  {
    const T c = s ? V::load(s + i) : cv;
    if (kKind == 0)
    {
      V::store(d + i, c);
      continue;
    }
    const T p = V::load(d + i);
    T r;
    if (kKind == 1)
      r = V::add32(V::add32(V::and_(V::srli32(c, 2), m2), V::and_(V::srli32(p, 2), m2)),
                   V::and_(V::srli32(p, 1), m1));
    else if (kKind == 2)
      r = V::add32(V::and_(V::srli32(p, 1), m1), V::and_(V::srli32(c, 1), m1));
    else
      r = V::add32(V::add32(V::and_(V::srli32(c, 1), m1), V::and_(V::srli32(c, 2), m2)),
                   V::and_(V::srli32(p, 2), m2));
    V::store(d + i, r);
  }
  for (; i < n; ++i)
  {
    const LICE_pixel c = s ? s[i] : color;
    d[i] = kKind == 0   ? c
           : kKind == 1 ? QuarterMixWord(d[i], c)
           : kKind == 2 ? HalfMixWord(d[i], c)
                        : ThreeQuarterMixWord(d[i], c);
  }
}
