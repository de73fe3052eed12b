// The built-in cabinets: the committed responses are what the generator makes, byte for byte,
// and each has the shape of the cabinet it stands for: its loudest frequency at 0 dB, the bass
// falling away below the cabinet's low cut, the top end far down above the roll-off, and an end
// in silence. Through the convolver, an impulse comes out as the response; resampled to the
// rates hosts run at, it sounds the same.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "TORVACab/CabConvolver.h"
#include "TORVACab/ImpulseFile.h"
#include "support/TempFiles.h"
#include "tools/cabgen/cabgen.h"

namespace
{
double MagnitudeDbAt(const std::vector<double>& taps, double rate, double hz)
{
  double re = 0, im = 0;
  for (size_t n = 0; n < taps.size(); ++n)
  {
    re += taps[n] * std::cos(2 * M_PI * hz * (double)n / rate);
    im -= taps[n] * std::sin(2 * M_PI * hz * (double)n / rate);
  }
  return 10 * std::log10(re * re + im * im);
}

TEST(Cabinets, CommittedResponsesAndTheirShapes)
{
  for (int i = 0; i < cabgen::kNumVoicings; ++i)
  {
    const cabgen::Voicing& v = cabgen::kVoicings[i];
    SCOPED_TRACE(v.name);
    const std::vector<double> taps = cabgen::Impulse(v);
    EXPECT_TRUE(torva_test::ReadFile(std::string(TORVA_SOURCE_DIR) + "/resources/ir/" + v.file +
                                     ".wav") == cabgen::WavBytes(taps))
        << "differs; rerun build/regular/bin/torva-cabgen resources/ir";

    double loudest = -1e9;
    for (double hz = 20; hz < 20000; hz *= 1.01)
      loudest = std::max(loudest, cabgen::MagnitudeDb(taps, hz));
    EXPECT_NEAR(loudest, 0.0, 0.05);
    const double mid = cabgen::MagnitudeDb(taps, 1000);
    EXPECT_LT(cabgen::MagnitudeDb(taps, v.lowCutHz / 2), mid - 9) << "bass below the low cut";
    EXPECT_LT(cabgen::MagnitudeDb(taps, v.rollOffHz * 2), mid - 20) << "the top end";
    EXPECT_LT(std::fabs(taps.back()), 1e-6);

    CabConvolver c;
    ASSERT_TRUE(c.Prepare(cabgen::kTaps));
    c.SetImpulse(taps.data(), cabgen::kTaps);
    std::vector<float> in(cabgen::kTaps, 0.0f), out(cabgen::kTaps);
    in[0] = 1.0f;
    c.Process(in.data(), out.data(), cabgen::kTaps);
    for (int n = 0; n < cabgen::kTaps; ++n) ASSERT_NEAR(out[n], taps[n], 1e-7) << n;

    const ImpulseResponse at48{{taps}, cabgen::kRate};
    for (double rate : {44100.0, 96000.0, 192000.0})
    {
      ImpulseResponse atRate;
      std::string why;
      ASSERT_TRUE(ResampleImpulse(at48, rate, &atRate, &why)) << why;
      for (double hz : {200.0, 1000.0, 3000.0})
        EXPECT_NEAR(MagnitudeDbAt(atRate.channels[0], rate, hz), cabgen::MagnitudeDb(taps, hz),
                    0.25)
            << rate << " Hz, at " << hz << " Hz";
    }
  }
}
} // namespace
