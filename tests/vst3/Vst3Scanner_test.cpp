// TORVA.vst3 as Ardour's plug-in scanner sees it: the one check of our ABI header against an
// implementation of the interface that is not ours. Skips where Ardour is not installed, and in
// sanitized builds (the scanner cannot load such a module).

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "support/Sanitized.h"
#include "support/TempFiles.h"
#include "vst3/Vst3Host.h"

namespace
{
constexpr char kScanner[] = "/usr/lib/ardour7/ardour-vst3-scanner";

TEST(Vst3Scanner, ArdourListsTheClassWithItsNameCategoryAndChannels)
{
  if (torva_test::Sanitized()) GTEST_SKIP() << "the scanner cannot load a sanitized module";
  if (access(kScanner, X_OK) != 0) GTEST_SKIP() << "ardour is not installed";
  std::string module = vst3host::ModulePath();
  std::string const bundle = module.substr(0, module.rfind("/Contents/"));
  torva_test::TempDir home; // the scanner's cache goes there
  std::string const command = "HOME='" + home.Path() + "' LD_LIBRARY_PATH=/usr/lib/ardour7 " +
                              kScanner + " -f -v '" + bundle + "' 2>&1";
  std::string out;
  if (FILE* pipe = popen(command.c_str(), "r"))
  {
    char buffer[4096];
    for (size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) out.append(buffer, n);
    EXPECT_EQ(pclose(pipe), 0) << out;
  }
  EXPECT_NE(out.find("uid=\"42726369544F523156535433506C7567\" name=\"TORVA\" "
                     "vendor=\"BrindleCircuits\" category=\"Fx|Distortion\" version=\"1.0.0\""),
            std::string::npos)
      << out;
  EXPECT_NE(out.find("n_inputs=\"2\" n_outputs=\"2\" n_aux_inputs=\"0\""), std::string::npos);
}
} // namespace
