#pragma once
// Host identification and version numbers.
//
// A version number packs major * 65536 + minor * 256 + patch into one int (0x10000 is 1.0.0);
// its decimal form is major * 10000 + minor * 100 + patch. Both the plug-in's own version and
// the host's use it, and the preset files carry the decimal form.
//
// A host is identified once, from the product string it reports, by the first of a fixed list
// of substrings found in the lower-cased string (LookUpHost). The order of that list is part of
// the behaviour: a string holding both "logic" and "cubase" is Cubase.

// Host identity code. The values are stored and compared as plain ints; gaps are codes that
// the lookup never returns and that display as "Unknown".
enum EHost : int
{
  kHostUninit = -1, // not yet identified
  kHostUnknown = 0, // identified, but no known host
  kHostReaper = 1,
  kHostProTools = 2,
  kHostCubase = 3,
  kHostNuendo = 4,
  kHostSonar = 5,
  kHostVegas = 6,
  kHostFL = 7,
  kHostSamplitude = 8,
  kHostAbletonLive = 9,
  kHostMelodyne = 12,
  kHostVSTScanner = 13,
  kHostAULab = 14,
  kHostForte = 15,
  kHostChainer = 16,
  kHostAudition = 17,
  kHostOrion = 18,
  kHostSAWStudio = 20,
  kHostLogic = 21,
  kHostGarageBand = 22,
  kHostDigitalPerformer = 23,
  kHostStandalone = 24,
  kHostAudioMulch = 25,
  kHostStudioOne = 26,
  kHostVST3TestHost = 27,
  kHostArdour = 28,
  kHostRenoise = 29,
  kHostOpenMPT = 30
};

// Room a caller gives GetVersionStr ("v65535.255.255" and its terminator fit) and
// GetHostNameStr (the longest display name is 18 characters).
constexpr int kVersionStrLen = 16;
constexpr int kHostNameStrLen = 32;

// Splits a packed version: major = version / 65536 taken as unsigned, minor = bits 8-15,
// patch = bits 0-7. Null outputs are skipped.
void GetVersionParts(int version, int* pMajor, int* pMinor, int* pPatch);

// major * 10000 + minor * 100 + patch (0x10000 -> 10000, 0x010203 -> 10203).
int GetDecimalVersion(int version);

// Writes "v<major>.<minor>.<patch>" into str, which holds kVersionStrLen chars.
void GetVersionStr(int version, char* str);

// The host code for a host's product string; kHostUnknown when nothing matches or the
// string is null. Case-insensitive over the whole string, whatever its length.
EHost LookUpHost(char const* inHost);

// Writes the display name of a host code into str (kHostNameStrLen chars); codes without a
// name, kHostUnknown and kHostUninit included, give "Unknown".
void GetHostNameStr(EHost host, char* str);

// The operating system's version, packed like a version number: the kernel release from uname
// ("6.1.0-18-amd64" -> 0x060100), minor and patch saturated at 255; 0 when it cannot be read.
int GetSystemVersion();

// The packing GetSystemVersion applies to a kernel release string; 0 for null.
int PackKernelRelease(char const* release);
