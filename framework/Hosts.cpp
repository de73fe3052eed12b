#include "framework/Hosts.h"

#include <sys/utsname.h>

#include <cctype>
#include <cstdio>
#include <cstring>

namespace
{
struct HostRow
{
  char const* mSubstring; // lower case
  EHost mHost;
};

// Searched in this order; the first substring found decides. "live" sits early, so any product
// string that merely contains those four letters counts as Live.
constexpr HostRow kHostRows[] = {
    {"cubase", kHostCubase},
    {"reaper", kHostReaper},
    {"nuendo", kHostNuendo},
    {"cakewalk", kHostSonar},
    {"samplitude", kHostSamplitude},
    {"fruity", kHostFL},
    {"live", kHostAbletonLive},
    {"melodyne", kHostMelodyne},
    {"vstmanlib", kHostVSTScanner},
    {"aulab", kHostAULab},
    {"garageband", kHostGarageBand},
    {"forte", kHostForte},
    {"chainer", kHostChainer},
    {"audition", kHostAudition},
    {"orion", kHostOrion},
    {"sawstudio", kHostSAWStudio},
    {"logic", kHostLogic},
    {"digital", kHostDigitalPerformer},
    {"audiomulch", kHostAudioMulch},
    {"presonus", kHostStudioOne},
    {"vst3plugintesthost", kHostVST3TestHost},
    {"protools", kHostProTools},
    {"ardour", kHostArdour},
    {"openmpt", kHostOpenMPT},
    {"renoise", kHostRenoise},
    {"standalone", kHostStandalone},
};

struct HostName
{
  EHost mHost;
  char const* mName;
};

constexpr HostName kHostNames[] = {
    {kHostReaper, "Reaper"},
    {kHostProTools, "ProTools"},
    {kHostCubase, "Cubase"},
    {kHostNuendo, "Nuendo"},
    {kHostSonar, "Sonar"},
    {kHostVegas, "Vegas"},
    {kHostFL, "FLStudio"},
    {kHostSamplitude, "Samplitude"},
    {kHostAbletonLive, "Live"},
    {kHostVSTScanner, "VSTScanner"},
    {kHostAULab, "AULab"},
    {kHostForte, "Forte"},
    {kHostChainer, "Chainer"},
    {kHostAudition, "Audition"},
    {kHostOrion, "Orion"},
    {kHostSAWStudio, "SAWStudio"},
    {kHostLogic, "Logic"},
    {kHostGarageBand, "GarageBand"},
    {kHostDigitalPerformer, "DigitalPerformer"},
    {kHostStandalone, "Standalone"},
    {kHostAudioMulch, "AudioMulch"},
    {kHostStudioOne, "StudioOne"},
    {kHostVST3TestHost, "VST3PluginTestHost"},
    {kHostArdour, "Ardour"},
    {kHostRenoise, "Renoise"},
    {kHostOpenMPT, "OpenMPT"},
};

// True when the lower-case needle occurs in hay, comparing hay through tolower. Same answer as
// lower-casing a copy of hay first, without a buffer to overflow.
bool ContainsLowered(char const* hay, char const* needle)
{
  for (; *hay; ++hay)
  {
    char const* h = hay;
    char const* n = needle;
    while (*n && *h &&
           std::tolower(static_cast<unsigned char>(*h)) == static_cast<unsigned char>(*n))
    {
      ++h;
      ++n;
    }
    if (!*n) return true;
    if (!*h) return false; // the rest of hay is shorter than the needle
  }
  return false;
}

// Reads a decimal number at s, advancing s; 0 when no digit stands there. Saturates instead of
// overflowing on absurd input.
int ReadNumber(char const*& s)
{
  int v = 0;
  while (*s >= '0' && *s <= '9')
  {
    if (v < 100000) v = v * 10 + (*s - '0');
    ++s;
  }
  return v;
}
} // namespace

void GetVersionParts(int version, int* pMajor, int* pMinor, int* pPatch)
{
  unsigned const v = static_cast<unsigned>(version);
  if (pMajor) *pMajor = static_cast<int>(v >> 16);
  if (pMinor) *pMinor = static_cast<int>((v >> 8) & 0xFF);
  if (pPatch) *pPatch = static_cast<int>(v & 0xFF);
}

int GetDecimalVersion(int version)
{
  int major, minor, patch;
  GetVersionParts(version, &major, &minor, &patch);
  return major * 10000 + minor * 100 + patch;
}

void GetVersionStr(int version, char* str)
{
  int major, minor, patch;
  GetVersionParts(version, &major, &minor, &patch);
  std::snprintf(str, kVersionStrLen, "v%d.%d.%d", major, minor, patch);
}

EHost LookUpHost(char const* inHost)
{
  if (!inHost) return kHostUnknown;
  for (HostRow const& row : kHostRows)
  {
    if (ContainsLowered(inHost, row.mSubstring)) return row.mHost;
  }
  return kHostUnknown;
}

void GetHostNameStr(EHost host, char* str)
{
  char const* name = "Unknown";
  for (HostName const& row : kHostNames)
  {
    if (row.mHost == host)
    {
      name = row.mName;
      break;
    }
  }
  std::snprintf(str, kHostNameStrLen, "%s", name);
}

int GetSystemVersion()
{
  utsname u;
  if (uname(&u) != 0) return 0;
  return PackKernelRelease(u.release);
}

int PackKernelRelease(char const* s)
{
  if (!s) return 0;
  int const major = ReadNumber(s);
  int minor = 0, patch = 0;
  if (*s == '.')
  {
    ++s;
    minor = ReadNumber(s);
    if (*s == '.')
    {
      ++s;
      patch = ReadNumber(s);
    }
  }
  if (minor > 255) minor = 255;
  if (patch > 255) patch = 255;
  if (major > 32767) return 0;
  return (major << 16) | (minor << 8) | patch;
}
