// The built-in cabinets: the committed responses are what the generator makes, byte for byte,
// and each has the shape of the cabinet it stands for: its loudest frequency at 0 dB, the bass
// falling away below the cabinet's low cut, the top end far down above the roll-off, and an end
// in silence. Through the convolver, an impulse comes out as the response.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "TORVACab/CabConvolver.h"
#include "support/TempFiles.h"
#include "tools/cabgen/cabgen.h"

namespace
{
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
  }
}
} // namespace
