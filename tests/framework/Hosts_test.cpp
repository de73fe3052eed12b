#include "framework/Hosts.h"

#include <gtest/gtest.h>

#include <string>

namespace
{
std::string HostName(int code)
{
  char buf[kHostNameStrLen];
  GetHostNameStr(static_cast<EHost>(code), buf);
  return buf;
}

std::string VersionStr(int v)
{
  char buf[kVersionStrLen];
  GetVersionStr(v, buf);
  return buf;
}
} // namespace

TEST(Hosts, VersionPacking)
{
  EXPECT_EQ(GetDecimalVersion(0x10000), 10000);
  EXPECT_EQ(GetDecimalVersion(0x010203), 10203);
  EXPECT_EQ(VersionStr(0x010203), "v1.2.3");
  EXPECT_EQ(VersionStr(0), "v0.0.0");

  // The major part is the unsigned quotient, so a negative word still splits cleanly and the
  // longest possible text fits the documented buffer.
  int major, minor, patch;
  GetVersionParts(-1, &major, &minor, &patch);
  EXPECT_EQ(major, 65535);
  EXPECT_EQ(minor, 255);
  EXPECT_EQ(patch, 255);
  EXPECT_EQ(VersionStr(-1), "v65535.255.255");
  GetVersionParts(0x0A0B0C, nullptr, &minor, nullptr);
  EXPECT_EQ(minor, 11);
}

TEST(Hosts, LookUpByProductString)
{
  struct Case
  {
    char const* product;
    int code;
  };
  Case const cases[] = {
      {"Cubase LE AI Elements", kHostCubase},
      {"REAPER64", kHostReaper},
      {"Ableton Live 9", kHostAbletonLive},
      {"Deliverance", kHostAbletonLive},    // contains "live"
      {"Logic inside Cubase", kHostCubase}, // the earlier row wins
      {"cubase logic", kHostCubase},
      {"Digital Performer", kHostDigitalPerformer},
      {"Live and Nuendo", kHostNuendo}, // row order, not position in the string
      {"PreSonus Studio One", kHostStudioOne},
      {"VST3PluginTestHost", kHostVST3TestHost},
      {"ProTools", kHostProTools},
      {"Ardour", kHostArdour},
      {"OpenMPT", kHostOpenMPT},
      {"Renoise", kHostRenoise},
      {"TORVA standalone", kHostStandalone},
      {"Melodyne", kHostMelodyne},
      {"Bitwig Studio", kHostUnknown},
      {"", kHostUnknown},
      {nullptr, kHostUnknown},
      {"reape", kHostUnknown},     // a prefix of a name is not the name
      {"\xC4reaper", kHostReaper}, // bytes above 127 are safe for tolower
  };
  for (Case const& c : cases)
    EXPECT_EQ(LookUpHost(c.product), c.code) << (c.product ? c.product : "(null)");
}

TEST(Hosts, LookUpHandlesLongStrings)
{
  // Far beyond any fixed buffer; the name still counts wherever it stands.
  std::string s(5000, 'x');
  EXPECT_EQ(LookUpHost(s.c_str()), kHostUnknown);
  s += "ArDoUr";
  EXPECT_EQ(LookUpHost(s.c_str()), kHostArdour);
  s = std::string(300, 'y') + "reaper" + std::string(300, 'z');
  EXPECT_EQ(LookUpHost(s.c_str()), kHostReaper);
}

TEST(Hosts, DisplayNames)
{
  EXPECT_EQ(HostName(kHostCubase), "Cubase");
  EXPECT_EQ(HostName(kHostSonar), "Sonar");
  EXPECT_EQ(HostName(kHostVegas), "Vegas");
  EXPECT_EQ(HostName(kHostFL), "FLStudio");
  EXPECT_EQ(HostName(kHostVST3TestHost), "VST3PluginTestHost");
  EXPECT_EQ(HostName(kHostStudioOne), "StudioOne");
  // Codes with no name, including the two special ones and the one the lookup does return.
  for (int code : {-1, 0, 10, 11, 12, 19, 31, 1000}) EXPECT_EQ(HostName(code), "Unknown") << code;
}

TEST(Hosts, KernelRelease)
{
  EXPECT_EQ(PackKernelRelease("6.1.0-18-amd64"), 0x060100);
  EXPECT_EQ(PackKernelRelease("5.15.153.1-microsoft-standard-WSL2"), 0x050F99);
  EXPECT_EQ(PackKernelRelease("4.19.304"), 0x0413FF); // patch saturates at 255
  EXPECT_EQ(PackKernelRelease("6"), 0x060000);
  EXPECT_EQ(PackKernelRelease("6.2-rc3"), 0x060200);
  EXPECT_EQ(PackKernelRelease(""), 0);
  EXPECT_EQ(PackKernelRelease("garbage"), 0);
  EXPECT_EQ(PackKernelRelease(nullptr), 0);

  int major = 0;
  GetVersionParts(GetSystemVersion(), &major, nullptr, nullptr);
  EXPECT_GE(major, 2); // any kernel this runs on
}
