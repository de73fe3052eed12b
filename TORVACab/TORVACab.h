#pragma once

// TORVA Cab: the speaker-cabinet plug-in.
//
// Six parameters: the cabinet (four built-in responses, or the user's file), a low and a high
// cut on the cabinet's sound, the dry/wet mix, the output level and Bypass. The signal path is
// CabEngine; this class adds the file the user chose, which is part of the plug-in's state (its
// path follows the parameters in the chunk) and which hosts that can (LV2) show and set as a
// property of its own.
//
// Threads. A file is read on the plug-in's loading thread, never on the caller's: a request
// (from the editor, the host or a restored state) only copies the path under a lock of its own,
// held for that copy, and wakes the thread. The loaded response reaches the audio thread through
// CabEngine's delivery slot. What the editor shows of the file (its name, the last message) sits
// behind a third lock that no audio path takes.

#include <semaphore.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

#include "TORVACab/CabEngine.h"
#include "framework/IPlugAdapter.h"

class TORVACab : public IPlugAdapter
{
public:
  enum EParams
  {
    kCabinet = 0,
    kLowCut,
    kHighCut,
    kMix,
    kLevel,
    kBypass,
    kNumParams
  };
  static constexpr int kFileCabinet = kNumBuiltInCabinets; // the Cabinet value of "File"
  static constexpr size_t kMaxFilePath = 4096;

  explicit TORVACab(IPlugInstanceInfo instanceInfo);
  ~TORVACab() override;

  // The responses at the host's rate, the histories cleared. Dispatcher thread, lock held,
  // audio stopped.
  void Reset() override;
  void OnParamChange(int paramIdx) override;
  void ProcessDoubleReplacing(double** inputs, double** outputs, int nFrames) override;

  // The parameters, then the file's path.
  bool SerializeState(ByteChunk* pChunk) override;
  int UnserializeState(ByteChunk* pChunk, int startPos) override;

  // ---- The user's file --------------------------------------------------------------------

  char const* FilePropertyLabel() const override { return "Impulse response"; }
  // A path that does not fit kMaxFilePath is refused. An empty path lets go of the file.
  bool SetFileFromHost(char const* path, size_t len) override;
  size_t GetFileForHost(char* buf, size_t cap) const override;
  unsigned FileGeneration() const override { return mGeneration.load(std::memory_order_acquire); }
  void OnFileInForce(char const* path) override;

  // What the editor shows: the file in force (its path, its base name) and the last thing said
  // about a file (refused, cut short, missing), "" when nothing. Any thread but the audio one.
  struct FileStatus
  {
    std::string path, name, message;
    bool missing = false; // named by the state, but unreadable: the first cabinet plays
  };
  FileStatus GetFileStatus() const;

  // Until every file requested so far has been handled, at most seconds. Not for the audio
  // thread; without the plug-in lock. False on time-out.
  bool WaitForFiles(double seconds);

  const CabEngine& Engine() const { return mEngine; }
  const CabEngine::Settings& GetSettings() const { return mSettings; }

private:
  void RequestFile(char const* path, size_t len, bool fromState);
  void LoaderMain();
  // One request on the loading thread.
  void Load(std::string const& path, bool fromState);
  // Frees what the audio thread let go of, and prepares again a delivery it refused.
  void CollectRetired();
  void SetInForce(std::string const& path);
  void SetStatus(std::string const& path, std::string const& message, bool missing);

  CabEngine mEngine;
  CabEngine::Settings mSettings;

  // The request: the latest path asked for and its number (mRequestMutex).
  std::mutex mRequestMutex;
  char mRequested[kMaxFilePath + 1] = {};
  size_t mRequestedLen = 0;
  bool mRequestFromState = false;
  unsigned mRequestSeq = 0;
  std::atomic<unsigned> mRequestCount{0}, mHandledCount{0};
  std::mutex mSettledMutex;
  std::condition_variable mSettled;

  // The file in force, as the state and the host see it (plug-in lock).
  char mInForce[kMaxFilePath + 1] = {};
  size_t mInForceLen = 0;
  std::atomic<unsigned> mGeneration{0};

  mutable std::mutex mStatusMutex;
  FileStatus mStatus;

  sem_t mWake;
  std::atomic<bool> mQuit{false};
  std::thread mLoader;
};

class IGraphicsLinux;
// The editor of the cabinet (TORVACab/CabEditor.cpp); null where it cannot be built. Opens no
// window.
IGraphicsLinux* MakeCabEditor(TORVACab* pPlug);
