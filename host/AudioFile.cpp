#include "host/AudioFile.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace
{
struct ContainerRow
{
  const char* mExtension; // lower case, without the dot
  int mMajor;
  int mDefaultSub; // when the input's encoding does not fit the container
};

constexpr ContainerRow kContainers[] = {
    {"wav", SF_FORMAT_WAV, SF_FORMAT_PCM_24},   {"wave", SF_FORMAT_WAV, SF_FORMAT_PCM_24},
    {"flac", SF_FORMAT_FLAC, SF_FORMAT_PCM_24}, {"aif", SF_FORMAT_AIFF, SF_FORMAT_PCM_24},
    {"aiff", SF_FORMAT_AIFF, SF_FORMAT_PCM_24}, {"aifc", SF_FORMAT_AIFF, SF_FORMAT_PCM_24},
    {"ogg", SF_FORMAT_OGG, SF_FORMAT_VORBIS},   {"oga", SF_FORMAT_OGG, SF_FORMAT_VORBIS},
    {"opus", SF_FORMAT_OGG, SF_FORMAT_OPUS},    {"caf", SF_FORMAT_CAF, SF_FORMAT_PCM_24},
    {"w64", SF_FORMAT_W64, SF_FORMAT_PCM_24},   {"rf64", SF_FORMAT_RF64, SF_FORMAT_PCM_24},
    {"au", SF_FORMAT_AU, SF_FORMAT_PCM_24},     {"snd", SF_FORMAT_AU, SF_FORMAT_PCM_24},
};

std::string LowerExtension(const std::string& path)
{
  const size_t slash = path.find_last_of('/');
  const size_t dot = path.find_last_of('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return {};
  std::string ext = path.substr(dot + 1);
  for (char& c : ext) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  return ext;
}

bool Writable(int format, int channels, int sampleRate)
{
  SF_INFO info = {};
  info.format = format;
  info.channels = channels;
  info.samplerate = sampleRate;
  return sf_format_check(&info) != 0;
}

// Why a file libsndfile refused cannot be read: the system's reason when there is one, so
// that "missing" and "not audio" read differently.
std::string ReadProblem(const std::string& path)
{
  struct stat st;
  if (stat(path.c_str(), &st) != 0) return std::strerror(errno);
  if (S_ISDIR(st.st_mode)) return "is a directory";
  if (access(path.c_str(), R_OK) != 0) return std::strerror(errno);
  return {};
}
} // namespace

AudioFileReader::~AudioFileReader()
{
  if (mFile) sf_close(mFile);
}

bool AudioFileReader::Open(const std::string& path, std::string& error)
{
  if (const std::string problem = ReadProblem(path); !problem.empty())
  {
    error = "cannot read " + path + ": " + problem;
    return false;
  }
  mInfo = {};
  mFile = sf_open(path.c_str(), SFM_READ, &mInfo);
  if (!mFile)
  {
    error = path + ": unsupported audio format (" + sf_strerror(nullptr) + ")";
    return false;
  }
  if (mInfo.channels < 1 || mInfo.samplerate < 1)
  {
    error = path + ": unsupported audio format (no channels or no sample rate)";
    sf_close(mFile);
    mFile = nullptr;
    return false;
  }
  return true;
}

long AudioFileReader::Read(double* interleaved, long frames)
{
  if (!mFile || frames <= 0) return 0;
  return static_cast<long>(sf_readf_double(mFile, interleaved, frames));
}

long AudioFileReader::Read(float* interleaved, long frames)
{
  if (!mFile || frames <= 0) return 0;
  return static_cast<long>(sf_readf_float(mFile, interleaved, frames));
}

AudioFileWriter::~AudioFileWriter()
{
  if (mFile) sf_close(mFile);
}

bool AudioFileWriter::Open(const std::string& path, int format, int channels, int sampleRate,
                           std::string& error)
{
  SF_INFO info = {};
  info.format = format;
  info.channels = channels;
  info.samplerate = sampleRate;
  mFile = sf_open(path.c_str(), SFM_WRITE, &info);
  if (!mFile)
  {
    error = "cannot write " + path + ": " + sf_strerror(nullptr);
    return false;
  }
  mPath = path;
  struct stat st;
  mRegularFile = stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
  // Integer formats would otherwise wrap an overshoot around to the opposite sign.
  sf_command(mFile, SFC_SET_CLIPPING, nullptr, SF_TRUE);
  // A float file's PEAK chunk carries the time of writing: without it, one render is one file.
  sf_command(mFile, SFC_SET_ADD_PEAK_CHUNK, nullptr, SF_FALSE);
  return true;
}

bool AudioFileWriter::Write(const double* interleaved, long frames, std::string& error)
{
  if (frames <= 0) return true;
  if (mFile && sf_writef_double(mFile, interleaved, frames) == frames) return true;
  error = "cannot write " + mPath + ": " + (mFile ? sf_strerror(mFile) : "not open");
  return false;
}

bool AudioFileWriter::Write(const float* interleaved, long frames, std::string& error)
{
  if (frames <= 0) return true;
  if (mFile && sf_writef_float(mFile, interleaved, frames) == frames) return true;
  error = "cannot write " + mPath + ": " + (mFile ? sf_strerror(mFile) : "not open");
  return false;
}

bool AudioFileWriter::Close(std::string& error)
{
  if (!mFile) return true;
  const int result = sf_close(mFile);
  mFile = nullptr;
  if (result != 0)
  {
    error = "cannot write " + mPath + ": " + sf_error_number(result);
    return false;
  }
  return true;
}

void AudioFileWriter::Discard()
{
  if (mFile) sf_close(mFile);
  mFile = nullptr;
  // Only a file of our own making goes; a device or pipe given as OUT stays.
  if (!mPath.empty() && mRegularFile) std::remove(mPath.c_str());
}

int ChooseOutputFormat(int inputFormat, const std::string& outPath, int channels, int sampleRate)
{
  const std::string ext = LowerExtension(outPath);
  const ContainerRow* row =
      std::find_if(std::begin(kContainers), std::end(kContainers),
                   [&](const ContainerRow& r) { return ext == r.mExtension; });
  int format = inputFormat;
  if (row != std::end(kContainers) && (inputFormat & SF_FORMAT_TYPEMASK) != row->mMajor)
  {
    format = row->mMajor | (inputFormat & SF_FORMAT_SUBMASK);
    if (!Writable(format, channels, sampleRate)) format = row->mMajor | row->mDefaultSub;
  }
  else if (row != std::end(kContainers) && row->mDefaultSub == SF_FORMAT_OPUS &&
           (inputFormat & SF_FORMAT_SUBMASK) != SF_FORMAT_OPUS)
  {
    format = row->mMajor | row->mDefaultSub; // ".opus" from a Vorbis file
  }
  if (!Writable(format, channels, sampleRate))
  {
    // The input's own format may be read-only in libsndfile (e.g. some raw variants).
    format = (format & SF_FORMAT_TYPEMASK) | SF_FORMAT_PCM_24;
    if (!Writable(format, channels, sampleRate)) return 0;
  }
  return format;
}

std::string DescribeFormat(int format)
{
  SF_FORMAT_INFO info = {};
  std::string text;
  info.format = format & SF_FORMAT_TYPEMASK;
  if (sf_command(nullptr, SFC_GET_FORMAT_INFO, &info, sizeof(info)) == 0 && info.name)
    text = info.name;
  else
    text = "unknown container";
  info = {};
  info.format = format & SF_FORMAT_SUBMASK;
  if (sf_command(nullptr, SFC_GET_FORMAT_INFO, &info, sizeof(info)) == 0 && info.name)
    text += std::string(", ") + info.name;
  return text;
}
