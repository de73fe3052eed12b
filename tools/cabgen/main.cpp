// torva-cabgen: makes TORVA Cab's built-in cabinets.
//
//   torva-cabgen DIR [--plot FILE.png]
//
// writes one 48 kHz mono float WAV per cabinet into DIR. The committed responses are made from
// the source tree with
//
//   build/regular/bin/torva-cabgen resources/ir
//
// and a test checks that this reproduces them byte for byte. --plot also draws every cabinet's
// magnitude response (20 Hz to 20 kHz across, +6 to -42 dB down, grid every decade and 6 dB).
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

#include "raster/lice.h"
#include "raster/lice_lines.h"
#include "tools/artgen/paint.h"
#include "tools/cabgen/cabgen.h"

namespace
{

bool WriteFile(const std::string& path, const std::vector<unsigned char>& bytes)
{
  FILE* f = std::fopen(path.c_str(), "wb");
  bool ok = f && std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  if (f) ok = std::fclose(f) == 0 && ok;
  return ok;
}

bool Plot(const std::string& path, std::string* error)
{
  constexpr int kW = 960, kH = 420, kTopDb = 6, kBottomDb = -42;
  LICE_MemBitmap bm(kW, kH);
  LICE_Clear(&bm, LICE_RGBA(24, 22, 20, 255));
  auto xOf = [&](double hz) { return (float)(std::log10(hz / 20.0) / 3.0 * (kW - 1)); };
  auto yOf = [&](double db) { return (float)((kTopDb - db) / (kTopDb - kBottomDb) * (kH - 1)); };
  for (double decade : {20.0, 200.0, 2000.0})
    for (int k = 1; k <= 9; ++k)
    {
      const float x = xOf(decade * k); // 100 Hz, 1 kHz and 10 kHz stand out
      LICE_Line(&bm, (int)x, 0, (int)x, kH - 1,
                k == 5 ? LICE_RGBA(90, 86, 80, 255) : LICE_RGBA(46, 44, 40, 255), 1.0f,
                LICE_COMBINE_COPY, false);
    }
  for (int db = kTopDb; db >= kBottomDb; db -= 6)
    LICE_Line(&bm, 0, (int)yOf(db), kW - 1, (int)yOf(db),
              db == 0 ? LICE_RGBA(110, 104, 96, 255) : LICE_RGBA(46, 44, 40, 255), 1.0f,
              LICE_COMBINE_COPY, false);
  const LICE_pixel colours[] = {LICE_RGBA(240, 190, 90, 255), LICE_RGBA(120, 200, 240, 255),
                                LICE_RGBA(160, 230, 130, 255), LICE_RGBA(240, 120, 140, 255)};
  for (int i = 0; i < cabgen::kNumVoicings; ++i)
  {
    const std::vector<double> taps = cabgen::Impulse(cabgen::kVoicings[i]);
    float px = -1, py = 0;
    for (int x = 0; x < kW; ++x)
    {
      const double hz = 20.0 * std::pow(10.0, 3.0 * x / (kW - 1));
      const float y = yOf(std::max((double)kBottomDb, cabgen::MagnitudeDb(taps, hz)));
      if (px >= 0)
        LICE_FLine(&bm, px, py, (float)x, y, colours[i % 4], 1.0f, LICE_COMBINE_COPY, true);
      px = (float)x, py = y;
    }
  }
  return artgen::WritePng(path, bm, false, error);
}

} // namespace

int main(int argc, char** argv)
{
  if (argc != 2 && !(argc == 4 && std::strcmp(argv[2], "--plot") == 0))
  {
    std::fprintf(stderr, "usage: torva-cabgen DIR [--plot FILE.png]\n");
    return 2;
  }
  for (int i = 0; i < cabgen::kNumVoicings; ++i)
  {
    const cabgen::Voicing& v = cabgen::kVoicings[i];
    const std::string path = std::string(argv[1]) + "/" + v.file + ".wav";
    if (!WriteFile(path, cabgen::WavBytes(cabgen::Impulse(v))))
    {
      std::fprintf(stderr, "torva-cabgen: cannot write %s\n", path.c_str());
      return 1;
    }
  }
  std::string error;
  if (argc == 4 && !Plot(argv[3], &error))
  {
    std::fprintf(stderr, "torva-cabgen: %s\n", error.c_str());
    return 1;
  }
  return 0;
}
