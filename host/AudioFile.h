// Audio files for the `torva` host: reading and writing through libsndfile, block by block.
//
// Samples travel as interleaved floats or doubles in [-1, 1] (libsndfile's normalised view of
// every format); a render reads and writes in the precision it processes in. Writes clip instead of
// wrapping when the file holds integers.

#pragma once

#include <sndfile.h>

#include <string>

class AudioFileReader
{
public:
  AudioFileReader() = default;
  ~AudioFileReader();
  AudioFileReader(const AudioFileReader&) = delete;
  AudioFileReader& operator=(const AudioFileReader&) = delete;

  // Opens any format libsndfile reads. On failure returns false with one line in `error`:
  // a missing or unreadable file, or a file that is no audio libsndfile knows.
  bool Open(const std::string& path, std::string& error);

  // Reads up to `frames` frames into `interleaved`; returns the frames read, 0 at the end.
  long Read(double* interleaved, long frames);
  long Read(float* interleaved, long frames);

  int Channels() const { return mInfo.channels; }
  int SampleRate() const { return mInfo.samplerate; }
  long long Frames() const { return mInfo.frames; }
  int Format() const { return mInfo.format; }

private:
  SNDFILE* mFile = nullptr;
  SF_INFO mInfo = {};
};

class AudioFileWriter
{
public:
  AudioFileWriter() = default;
  ~AudioFileWriter(); // closes and keeps the file; call Discard to remove a failed one
  AudioFileWriter(const AudioFileWriter&) = delete;
  AudioFileWriter& operator=(const AudioFileWriter&) = delete;

  // Creates (or truncates) `path` with the given libsndfile format word.
  bool Open(const std::string& path, int format, int channels, int sampleRate, std::string& error);
  // Writes `frames` interleaved frames; false (with `error`) when the disk refuses them.
  bool Write(const double* interleaved, long frames, std::string& error);
  bool Write(const float* interleaved, long frames, std::string& error);
  // Flushes and closes; false when the last bytes could not be written.
  bool Close(std::string& error);
  // Closes and deletes the file, for a render that failed half way.
  void Discard();

private:
  SNDFILE* mFile = nullptr;
  std::string mPath;
  bool mRegularFile = false;
};

// The format word to write `outPath` with: the input's format, unless the file name's
// extension names another container (".wav", ".flac", ".aiff", ".ogg", ...), in which case
// that container with the input's sample encoding when it can hold it, else a sensible one
// (24-bit PCM, Vorbis for Ogg). 0 when libsndfile cannot write the result at all.
int ChooseOutputFormat(int inputFormat, const std::string& outPath, int channels, int sampleRate);

// Short name of a format word for messages ("WAV 24-bit PCM").
std::string DescribeFormat(int format);
