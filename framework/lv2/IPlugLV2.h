#pragma once
// IPlugLV2: the plug-in base as an LV2 plug-in, and as the product side of its LV2 editor.
//
// One class serves both halves the format separates. A DSP instance (made by the plug-in
// descriptor) owns the audio and control ports; a run reads every control port and turns each
// changed value into a parameter change through SetParameterFromHost, then processes through the
// base's frame (ProcessBuffers), which slices, converts and sets the floating-point mode exactly
// as for a VST 2 host. An editor instance (made by the UI descriptor) is the same product without
// audio: it owns the editor window opened inside the host's parent, takes port events as host
// changes, and queues the user's gestures, which the host's idle call on its UI thread hands to
// the host's write and touch functions.
//
// Ports, in index order: the audio inputs, the audio outputs, then one control input per
// parameter in the parameter's plain units; a product whose state names a file (a
// FilePropertyLabel) adds an atom input and an atom output carrying patch messages, through which
// hosts read and write that file as a writable atom:Path property (and our editor, when it is an
// instance of its own, does the same).
//
// Threads: run on the host's audio thread, state save and restore on another thread (never at the
// same time as run, as the format demands), all under the plug-in mutex. On the editor side,
// port events, idle and cleanup come from the host's UI thread; gestures from the editor thread
// without the plug-in mutex; the queue between them has a lock of its own.

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include <lv2/atom/forge.h>
#include <lv2/core/lv2.h>
#include <lv2/state/state.h>
#include <lv2/ui/ui.h>
#include <lv2/urid/urid.h>

#include "framework/GestureQueue.h"
#include "framework/IPlugBase.h"

// What the entry functions hand the product's constructor: nothing for a DSP instance; for an
// editor instance the host's write function and its optional touch feature.
struct IPlugInstanceInfo
{
  bool mEditor = false;
  LV2UI_Write_Function mWrite = nullptr;
  LV2UI_Controller mController = nullptr;
  LV2UI_Touch const* mTouch = nullptr;
};

class IPlugLV2 : public IPlugBase
{
public:
  // Same arguments as the VST 2 adapter's, so that the product's constructor is written once.
  // The unique and manufacturer IDs and the side-chain channels are not used by the format.
  IPlugLV2(IPlugInstanceInfo instanceInfo, int nParams, char const* channelIOStr, int nPresets,
           char const* effectName, char const* productName, char const* mfrName, int vendorVersion,
           int uniqueID, int mfrID, int latency = 0, bool plugDoesMidi = false,
           bool plugDoesChunks = false, bool plugIsInst = false, int plugScChans = 0);
  ~IPlugLV2() override;

  // Editor side: queued for the host's UI thread (Idle). DSP side: nothing, a plug-in cannot
  // write its own input ports.
  void BeginInformHostOfParamChange(int idx) override;
  void InformHostOfParamChange(int idx, double normalizedValue) override;
  void EndInformHostOfParamChange(int idx) override;
  void InformHostOfProgramChange() override {}

  // No transport without the time extension: zeros, as from a host that reports nothing.
  int GetSamplePos() override { return 0; }
  double GetTempo() override { return 0.0; }
  void GetTimeSig(int* pNum, int* pDenom) override;
  void GetTime(ITimeInfo*) override {}
  void ResizeGraphics(int, int) override {}
  bool SendMidiMsg(IMidiMsg*) override { return false; }

  // ---- Ports ------------------------------------------------------------------------------

  uint32_t NPorts() const { return ControlPort() + (HasFileProperty() ? 2u : 0u); }
  uint32_t FirstParamPort() const { return static_cast<uint32_t>(NInChannels() + NOutChannels()); }
  // The atom ports of the file property: patch messages in, and out to the host.
  bool HasFileProperty() const { return FilePropertyLabel() != nullptr; }
  uint32_t ControlPort() const { return FirstParamPort() + static_cast<uint32_t>(NParams()); }
  uint32_t NotifyPort() const { return ControlPort() + 1; }
  // The parameter behind a port, or -1 for an audio port or an index out of range.
  int ParamOfPort(uint32_t port) const;
  // A two-valued parameter without texts: a toggled port, where any value above 0 means on.
  static bool IsToggle(IParam const& param);

  // Largest number of frames the base converts at once; longer runs are sliced by the base.
  static constexpr int kBlockSize = 4096;
  // Largest state chunk a restore accepts (bytes), as for a VST 2 host's chunk.
  static constexpr int kMaxChunkSize = 16 << 20;

  // ---- Descriptors (what the module's two exported functions return) ----------------------

  static LV2_Descriptor const* PluginDescriptor();
  static LV2UI_Descriptor const* EditorDescriptor();

  // The URIs of the plug-in, its editor and the state property holding the chunk; derived from
  // LV2PluginURI().
  static char const* EditorURI();
  static char const* ChunkKeyURI();
  static char const* FilePropertyURI();
  // Longest path the file property passes on, in bytes.
  static constexpr size_t kMaxPath = 4096;

  // ---- DSP side (the descriptor's callbacks; public for tests that drive an instance) -------

  // Sample rate (ignored unless finite and positive), block size, URID map when offered, then
  // every parameter announced to the product. Instantiating thread.
  void InitDSP(double sampleRate, LV2_Feature const* const* features);
  void ConnectPort(uint32_t port, void* data);
  void Activate(bool active);
  void Run(uint32_t nFrames);
  // The program chunk a VST 2 host would store, as one atom:Chunk property.
  LV2_State_Status SaveState(LV2_State_Store_Function store, LV2_State_Handle handle);
  // Only a chunk of that property and type, starting with the version header, is applied, and
  // then all or nothing; otherwise nothing changes.
  LV2_State_Status RestoreState(LV2_State_Retrieve_Function retrieve, LV2_State_Handle handle);

  // ---- Editor side ------------------------------------------------------------------------

  // Opens the editor inside the parent; the host's resize feature is told its size. The
  // editor's Window id, or 0.
  uintptr_t OpenEditor(void* pParent, LV2UI_Resize const* pResize);
  void PortEvent(uint32_t port, uint32_t bufferSize, uint32_t format, void const* pBuffer);
  // Hands queued gestures to the host. 0 while the editor window lives, 1 once it went away.
  int Idle();
  // Asked of the host's resize feature in the next Idle; no feature is a refusal.
  void RequestEditorSize(int w, int h) override;
  // Editor instance: sent to the audio's instance as a patch:Set in the next Idle.
  void SetFileFromGUI(char const* path) override;
  // The URIs the file property's messages use, mapped once. Instantiating thread.
  void MapURIDs(LV2_URID_Map const* pMap);

private:
  // A gesture of the editor thread, its value in the port's plain units.
  void Queue(GestureQueue::Gesture::EKind kind, int idx, double plainValue);
  // A port's value into parameter idx unless it is the parameter's value in single precision
  // already (a default no float holds exactly, a host's echo). Lock held.
  void SetFromPort(int idx, float value);

  bool mEditor;
  LV2UI_Write_Function mWrite;
  LV2UI_Controller mController;
  LV2UI_Touch const* mTouch;
  LV2UI_Resize const* mResize = nullptr;

  std::vector<float*> mAudioIn, mAudioOut;
  std::vector<float const*> mControls;
  // The value each control port had at the last run (NaN before the first).
  std::vector<float> mLastControl;
  LV2_URID mChunkKey = 0, mChunkType = 0;

  // A patch message from the host's control port; audio thread, lock held.
  void HandleMessage(LV2_Atom const* pAtom);
  // The file in force as a patch:Set on the notify port, when it changed or the host asked.
  void WriteNotifications();
  // A patch:Set of our property, or null: the path atom it carries.
  LV2_Atom const* FileOfSet(LV2_Atom const* pAtom) const;

  struct URIDs
  {
    LV2_URID atomPath = 0, atomObject = 0, atomBlank = 0, atomURID = 0, eventTransfer = 0;
    LV2_URID patchSet = 0, patchGet = 0, patchProperty = 0, patchValue = 0, file = 0;
  } mURID;
  LV2_Atom_Forge mForge{};
  LV2_Atom_Sequence const* mControlIn = nullptr;
  LV2_Atom_Sequence* mNotifyOut = nullptr;
  unsigned mNotifiedGeneration = ~0u;
  bool mNotifyAsked = false;
  std::vector<char> mFileText; // kMaxPath + 1, made before audio starts
  // Editor side: the file the editor chose, until Idle sends it; the host is asked once for the
  // file in force.
  std::mutex mFileQueueMutex;
  std::string mQueuedFile;
  std::atomic<bool> mFileQueued{false};
  bool mFileAsked = false;

  GestureQueue mGestures;
  std::vector<GestureQueue::Gesture> mDraining; // the host's UI thread's, in Idle
};

// Defined by each plug-in module, like MakePlug: the plug-in's URI.
char const* LV2PluginURI();
// The product's factory for both halves.
IPlugLV2* MakePlug(IPlugInstanceInfo const& instanceInfo);
