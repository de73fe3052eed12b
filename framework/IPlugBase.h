#pragma once
// The host-neutral core of every plug-in instance.
//
// IPlugBase owns the parameters, the preset slots, the legal channel configurations, one record
// per audio input and output channel, the plug-in lock and the identity the host asks for. It
// turns a host's audio call into calls of the product's ProcessDoubleReplacing on 64-bit
// buffers, converting from and to 32-bit float where the host works in float, and it routes
// parameter changes between editor, host and product. A host adapter derives from it and
// supplies the host calls (the pure virtuals); the product derives from the adapter.
//
// Threads and the lock. One recursive lock per instance (mMutex) serialises audio processing,
// parameter changes and state transfer, and is held only for as long as one of those takes: the
// adapter holds it for every audio callback, every host parameter get or set and every state
// request; the editor's changes take it in SetParameterFromGUI around the change alone. It is
// never held across a call to the host, window work or a join. The product's OnParamChange and
// Reset take it again from inside those calls, which is why it is recursive. Operations
// documented "no lock of its own" rely on the caller's hold.
//
// The processing frame. Attach...Buffers record the host's buffers per channel; ProcessBuffers
// and its siblings then run the product in slices of at most the block size (SetBlockSize), so
// that the float conversions never outgrow the scratch buffers, whatever the host sends. Nothing
// on this path allocates. Each slice hands ProcessDoubleReplacing one pointer per channel: the
// host's own 64-bit buffer (offset to the slice) for a connected channel in a 64-bit call, or
// the channel's scratch buffer otherwise. A disconnected input reads silence; what is written to
// a disconnected output goes nowhere.
//
// Floating-point mode. Each processing call runs the product and the conversions in the
// standard mode (round to nearest, subnormals kept, exceptions masked), whatever flush-to-zero,
// denormals-are-zero or rounding the host's thread uses, and puts the thread's MXCSR back
// exactly: the output's bits do not depend on the host. A float handed to the host is never
// subnormal: the nearest float of a value that small is written as a zero of its sign (so is an
// accumulated sum).

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "framework/ByteChunk.h"
#include "framework/FactoryPresets.h"
#include "framework/Hosts.h"
#include "framework/IParam.h"
#include "framework/IPlugStructs.h"
#include "framework/IPreset.h"
#include "framework/WDL_HeapBuf.h"
#include "framework/WDL_Mutex.h"
#include "framework/WDL_PtrList.h"
#include "framework/WDL_String.h"

class IGraphics;

// The plug-in interface a build talks to its host through.
enum EAPI : int
{
  kAPIVST2 = 0,
  kAPIVST3 = 1,
  kAPIAU = 2,
  kAPIRTAS = 3,
  kAPIAAX = 4,
  kAPISA = 5, // standalone
  kAPILV2 = 6
};

constexpr int kMaxEffectNameLen = 128; // effect, product and manufacturer names, with terminator

// The version header that opens every chunk handed to a host: the magic, then the version of
// this chunk format, both 32-bit little-endian.
constexpr int kIPlugVersionMagic = 0x70666674;
constexpr int kIPlugChunkVersion = 0x00010000;

// A four-character code, as unique and manufacturer IDs are written ('TOR1'): the first
// character in the most significant byte.
constexpr int FourCC(char a, char b, char c, char d)
{
  return static_cast<int>((static_cast<unsigned>(static_cast<unsigned char>(a)) << 24) |
                          (static_cast<unsigned>(static_cast<unsigned char>(b)) << 16) |
                          (static_cast<unsigned>(static_cast<unsigned char>(c)) << 8) |
                          static_cast<unsigned>(static_cast<unsigned char>(d)));
}

class IPlugBase
{
public:
  struct ChannelIO
  {
    int mIn;
    int mOut;
  };

  struct InChannel
  {
    bool mConnected = false;
    double** mSrc = nullptr; // this channel's entry of the input pointer array
    WDL_TypedBuf<double> mScratchBuf;
    WDL_String mLabel;
    // The host buffer recorded by the last attach (at most one of the two is set).
    double* mHost64 = nullptr;
    float* mHost32 = nullptr;
  };

  struct OutChannel
  {
    bool mConnected = false;
    double** mDest = nullptr; // this channel's entry of the output pointer array
    float* mFDest = nullptr;  // host float buffer the scratch is written to after processing
    WDL_TypedBuf<double> mScratchBuf;
    WDL_String mLabel;
    double* mHost64 = nullptr; // host 64-bit buffer recorded by the last attach
  };

  // nParams default parameters, nPresets empty slots, and the channels the configuration string
  // ("1-1 2-2": input-output pairs separated by single spaces) allows at most. Names longer than
  // kMaxEffectNameLen - 1 characters are cut.
  IPlugBase(int nParams, char const* channelIOStr, int nPresets, char const* effectName,
            char const* productName, char const* mfrName, int vendorVersion, int uniqueID,
            int mfrID, int latency, bool plugDoesMidi, bool plugDoesChunks, bool plugIsInst,
            EAPI plugAPI);
  IPlugBase(IPlugBase const&) = delete;
  IPlugBase& operator=(IPlugBase const&) = delete;

  // Releases the editor, parameters, presets, channels, configurations and labels.
  virtual ~IPlugBase();

  // ---- Virtual operations, in slot order --------------------------------------------------

  // Sample rate or block size changed, or processing stopped. Adapter's dispatcher thread, lock
  // held. Base: takes and releases the lock.
  virtual void Reset();
  // Parameter idx has a new value. Any thread that holds the lock (host parameter call,
  // dispatcher, editor via SetParameterFromGUI, state loading). Base: takes and releases the lock.
  virtual void OnParamChange(int paramIdx);
  // The product's audio: nFrames samples, at most the block size, one pointer per channel.
  // Audio thread, lock held. Base: copies input i to output i, zero-fills the other outputs.
  virtual void ProcessDoubleReplacing(double** inputs, double** outputs, int nFrames);
  // The host opened or closed the editor window. Dispatcher thread, lock held. Base: nothing.
  virtual void OnGUIOpen() {}
  virtual void OnGUIClose() {}
  // Idle time from the host. Base: nothing. No adapter calls it yet: the editor keeps time on its
  // own thread and no product needs the host's idle calls.
  virtual void OnIdle() {}
  // Processing switched on or off. Dispatcher thread, lock held. Base: takes and releases the lock.
  virtual void OnActivate(bool active);
  // A MIDI message for this block. Dispatcher thread, lock held. Base: MIDI thru.
  virtual void ProcessMidiMsg(IMidiMsg* pMsg);
  virtual void ProcessSysEx(ISysEx*) {}
  // Name of a MIDI note for the host's key list. Base: "" and false.
  virtual bool MidiNoteName(int noteNumber, char* rName);
  // The product's state into / out of a chunk. Dispatcher or editor thread; the base
  // implementations take the lock. Base: the parameter values (SerializeParams).
  virtual bool SerializeState(ByteChunk* pChunk);
  virtual int UnserializeState(ByteChunk* pChunk, int startPos);
  // True when every parameter equals, to single precision within 1e-5, the doubles stored at
  // data + (startPos + i) * 8 bytes (startPos counts doubles). data must hold them all.
  virtual bool CompareState(unsigned char const* incomingState, int startPos);
  virtual void OnWindowResize() {}
  // The host asks the plug-in to show its about box; true when it did. No caller: neither VST 2
  // nor LV2 has such a request.
  virtual bool HostRequestingAboutBox() { return false; }
  // Called once the host is known (adapter, dispatcher thread). Base: nothing.
  virtual void OnHostIdentified() {}
  // The host's own menu for a parameter at (x, y) in the editor. No caller yet: neither VST 2 nor
  // LV2 lets a plug-in open it (VST 3 does, through its component handler).
  virtual void PopupHostContextMenuForParam(int, int, int) {}
  // The editor moved a control. Editor thread. SetNormalized on the parameter and OnParamChange
  // under the lock, then, with the lock let go, the host informed of the value exactly as given.
  // A non-finite value or an index out of range does nothing.
  virtual void SetParameterFromGUI(int idx, double normalizedValue);
  // A plain value from the host (a typed text, an LV2 control port): clamped into the range (an
  // infinity lands on its bound), shown by the editor, set, then OnParamChange. NaN or an index
  // out of range does nothing and returns false. No lock of its own; allocates nothing.
  bool SetParameterFromHost(int idx, double value);
  // Host calls, supplied by the adapter. Begin/End bracket an editor gesture; Inform reports an
  // automated value. Editor thread (or DirtyParameters' thread), never with the lock held.
  virtual void BeginInformHostOfParamChange(int idx) = 0;
  virtual void InformHostOfParamChange(int idx, double normalizedValue) = 0;
  virtual void EndInformHostOfParamChange(int idx) = 0;
  // The presets changed under the host (preset files); editor or tool thread, lock not held.
  virtual void InformHostOfProgramChange() = 0;
  virtual bool IsRenderingOffline() { return false; }
  // Transport queries to the host; audio thread, lock held.
  virtual int GetSamplePos() = 0;
  virtual double GetTempo() = 0;
  virtual void GetTimeSig(int* pNum, int* pDenom) = 0;
  virtual void GetTime(ITimeInfo* pTimeInfo) = 0;
  // The host code; an adapter may identify the host lazily here. Base: the stored code. Any
  // thread.
  virtual EHost GetHost() { return HostOf(mHostIdentity.load(std::memory_order_acquire)); }
  virtual EAPI GetAPI() { return mAPI; }
  // The editor changed its size. Editor thread.
  virtual void ResizeGraphics(int w, int h) = 0;
  // The editor asks for its window to become w x h (the user chose another size). The adapter
  // asks the host, on the thread it talks to the host on, and hands the answer to the editor's
  // EditorSizeAnswered. Editor thread, lock not held. Base: refused at once.
  virtual void RequestEditorSize(int w, int h);
  // Host-specific set-up when the host opens the plug-in. Dispatcher thread. Base: nothing.
  virtual void HostSpecificInit() {}
  // Takes ownership of the editor: pushes every parameter's normalised value into it, prepares
  // its drawing, then keeps it. Product's constructor thread; takes the lock. Null is ignored.
  virtual void AttachGraphics(IGraphics* pGraphics);
  // Samples of delay reported to the host. Dispatcher thread, lock held.
  virtual void SetLatency(int samples);
  // Sends a MIDI message or system-exclusive message to the host; audio or dispatcher thread,
  // lock held.
  virtual bool SendMidiMsg(IMidiMsg* pMsg) = 0;
  virtual bool SendSysEx(ISysEx*) { return false; }
  // Moves the editor's controls to the parameters' plain values. No lock of its own.
  virtual void RedrawParamControls();
  // Tells a host that shows a compare indicator that the state now differs from the stored one.
  // No caller yet: neither VST 2 nor LV2 has that indicator.
  virtual void DirtyPTCompareState() {}
  // The host renamed or restored a preset. Dispatcher thread, lock held. Base: nothing.
  virtual void PresetsChangedByHost() {}
  // Maximum frames per audio call: resizes and zero-fills every scratch buffer when it changes.
  // Dispatcher thread, lock held (never during audio). A negative size counts as 0; a size the
  // machine cannot hold leaves the block size at 0 (silence) rather than half-sized buffers.
  virtual void SetBlockSize(int blockSize);

  // ---- A file the state names -------------------------------------------------------------

  // A product whose state names a file the user chose (an impulse response, say) labels it here;
  // adapters that can let hosts show and choose it (LV2: a writable atom:Path property). Null,
  // the base: no such file. The path travels in the product's state (SerializeState).
  virtual char const* FilePropertyLabel() const { return nullptr; }
  // The host chose a file (len bytes, not terminated). Any thread, the audio thread included,
  // lock held: the product copies the path and loads it elsewhere. False, the base: refused.
  virtual bool SetFileFromHost(char const*, size_t) { return false; }
  // The file in force, for the host to show: at most cap - 1 bytes and a terminator into buf;
  // returns the path's length ("" and 0, the base). Lock held.
  virtual size_t GetFileForHost(char* buf, size_t cap) const;
  // Counts the changes of the file in force, so that an adapter can tell the host of one.
  // Any thread.
  virtual unsigned FileGeneration() const { return 0; }
  // The editor chose a file. Editor thread, lock not held. Base: SetFileFromHost under the lock;
  // an adapter whose editor is not the audio's instance passes it to the host instead.
  virtual void SetFileFromGUI(char const* path);
  // In an editor-only instance, the file the audio's instance reports in force. Host's UI thread.
  // Base: nothing.
  virtual void OnFileInForce(char const*) {}

  // ---- Identity ---------------------------------------------------------------------------

  char const* GetEffectName() const { return mEffectName; }
  char const* GetProductName() const { return mProductName; }
  char const* GetMfrName() const { return mMfrName; }
  int GetUniqueID() const { return mUniqueID; }
  int GetMfrID() const { return mMfrID; }
  bool DoesStateChunks() const { return mStateChunks; }
  bool IsInst() const { return mIsInst; }
  bool DoesMIDI() const { return mDoesMIDI; }

  // The plug-in's version, packed or in decimal form; as "v%d.%d.%d" into rVersionStr
  // (kVersionStrLen characters).
  int GetEffectVersion(bool decimal) const;
  void GetEffectVersionStr(char* rVersionStr) const;
  // The host's version likewise; both ask GetHost() first so a lazy adapter identifies the host.
  // Any thread.
  int GetHostVersion(bool decimal);
  void GetHostVersionStr(char* rVersionStr);
  // Identifies the host from its product string (LookUpHost) and stores its packed version.
  // Any thread: code and version are published together, so no reader sees one without the
  // other.
  void SetHost(char const* host, int version);

  // "VST2", "VST3", "AU", "RTAS", "AAX", "Standalone", or "" for another API.
  char const* GetAPIString();
  char const* GetArchString() const { return "x64"; }

  // ---- Parameters -------------------------------------------------------------------------

  int NParams() const { return mParams.GetSize(); }
  // The parameter, or null for an index out of range.
  IParam* GetParam(int idx) const { return mParams.Get(idx); }
  IGraphics* GetGUI() const { return mGraphics; }
  // The plug-in lock.
  WDL_Mutex* GetMutex() { return &mMutex; }

  // Tells the host every parameter's normalised value: read under the lock, sent without it.
  void DirtyParameters();
  // OnParamChange for every parameter in index order.
  void OnParamReset();

  // ---- Channels ---------------------------------------------------------------------------

  int NInChannels() const { return mInChannels.GetSize(); }
  int NOutChannels() const { return mOutChannels.GetSize(); }
  // True when some configuration matches; a negative count matches any.
  bool LegalIO(int nIn, int nOut) const;
  // Channels first .. first + count - 1 (within the channel count). Connecting sets the flag;
  // disconnecting also points the channel at its scratch buffer, and an input's scratch is
  // cleared so that it reads silence.
  void SetInputChannelConnections(int idx, int n, bool connected);
  void SetOutputChannelConnections(int idx, int n, bool connected);
  // Inputs from 2 on are disconnected; outputs from 2 on are flagged connected.
  void LimitToStereoIO();
  // False for an index outside the channels.
  bool IsInChannelConnected(int chIdx) const;
  bool IsOutChannelConnected(int chIdx) const;
  // Labels of single channels ("" outside the channels); setting one outside does nothing.
  void SetInputLabel(int idx, char const* label);
  void SetOutputLabel(int idx, char const* label);
  char const* GetInputLabel(int idx) const;
  char const* GetOutputLabel(int idx) const;
  // Bus labels: an existing label at idx is replaced (the list closes up, then the new one is
  // inserted at min(idx, size)). Inputs accept indexes 0 and 1, outputs any index >= 0.
  void SetInputBusLabel(int idx, char const* label);
  void SetOutputBusLabel(int idx, char const* label);
  char const* GetInputBusLabel(int idx) const;
  char const* GetOutputBusLabel(int idx) const;

  // ---- Audio (adapter's audio thread, lock held) ------------------------------------------

  // Record host buffers for the connected channels first .. first + count - 1: each connected
  // channel in range takes the next pointer of data, in channel order. A null data array or
  // pointer reads as silence (inputs) or is skipped (outputs). With nFrames <= 0 the float
  // inputs consume nothing.
  void AttachInputBuffers(int idx, int n, double** ppData);
  void AttachInputBuffers(int idx, int n, float** ppData, int nFrames);
  void AttachOutputBuffers(int idx, int n, double** ppData);
  void AttachOutputBuffers(int idx, int n, float** ppData);
  // Run the product over nFrames frames. The first argument selects the host sample type only:
  // the float forms write (or add, accumulating) each connected output to its float buffer.
  // nFrames <= 0 does nothing; with no block size set the outputs are silenced (replacing) or
  // left alone (accumulating).
  void ProcessBuffers(double, int nFrames);
  void ProcessBuffers(float, int nFrames);
  void ProcessBuffersAccumulating(float, int nFrames);
  // As ProcessBuffers, but input i is copied to output i and the other outputs are zeroed.
  void PassThroughBuffers(double, int nFrames);
  void PassThroughBuffers(float, int nFrames);
  void ZeroScratchBuffers();

  double GetSampleRate() const { return mSampleRate; }
  void SetSampleRate(double sampleRate) { mSampleRate = sampleRate; }
  int GetBlockSize() const { return mBlockSize; }
  int GetLatency() const { return mLatency; }
  int GetTailSize() const { return mTailSize; }
  // sample rate * 60 / tempo, or 0 without a tempo.
  double GetSamplesPerBeat();

  // Sends each message with SendMidiMsg; true when all were taken.
  bool SendMidiMsgs(WDL_TypedBuf<IMidiMsg>* pMsgs);

  // ---- State chunks -----------------------------------------------------------------------

  // Every parameter's plain value as a little-endian double, in index order. Takes the lock.
  bool SerializeParams(ByteChunk* pChunk);
  // Reads the doubles back from startPos, each clamped into its parameter's range, until the
  // data runs out (the first parameter without data gets 0.0 clamped, the rest keep their
  // values); a non-finite double leaves its parameter as it was. Then OnParamChange for every
  // parameter. Returns the position after the data, or -1 when it ran out. Takes the lock.
  int UnserializeParams(ByteChunk* pChunk, int startPos);

  // Clears the chunk and writes the version header.
  static void InitChunkWithIPlugVer(ByteChunk* pChunk);
  // Reads the version header at *pPos: returns the chunk-format version and advances *pPos by 8.
  // Without the magic at *pPos, returns 0 and leaves *pPos (a bare state chunk follows); with
  // the magic but no room for the version, returns 0 and sets *pPos to -1.
  static int GetIPlugVerFromChunk(ByteChunk* pChunk, int* pPos);

  // The chunk the host stores in its project (dispatcher thread, lock held): the version header
  // followed by the product's state (program) or, for a bank, by every preset slot after the
  // current slot has taken the live state. False when nothing could be written.
  bool GetHostChunk(ByteChunk* pChunk, bool isBank);
  // Applies a chunk the host stored: a program chunk, or any chunk whose header is missing or
  // older than the bank format, is read as one state into the live parameters and the current
  // slot; a bank chunk reloads every slot. False when the data ran out (the parameters still
  // end inside their ranges). On success the editor's controls follow.
  bool SetHostChunk(ByteChunk* pChunk, bool isBank);
  // SetHostChunk on a copy of size bytes at pData (the host may hand back our own buffer), all
  // or nothing: a chunk that fails leaves every parameter, slot and the product's state as they
  // were. Takes the lock; allocates.
  bool LoadHostChunk(void const* pData, int size, bool isBank);

  // Everything a rejected host chunk or preset file has to put back: every parameter's value
  // bit for bit (a host may have set one below its minimum, which no clamping path restores),
  // the product's state, every preset slot and the current slot. Taken and restored with the
  // lock held; copies are made at construction, so it is no tool for the audio thread.
  class StateSnapshot
  {
  public:
    explicit StateSnapshot(IPlugBase* pPlug);
    ~StateSnapshot();
    StateSnapshot(StateSnapshot const&) = delete;
    StateSnapshot& operator=(StateSnapshot const&) = delete;

    // False when the copies could not be made: refuse the change rather than risk it.
    bool Ok() const { return mOk; }
    // Slots first, then the product's state (UnserializeState, which tells the product), then
    // any value that came back other than it was (OnParamChange for each), the current slot and
    // the editor's controls.
    void Restore();

  private:
    IPlugBase* mPlug;
    int mCurrentPresetIdx;
    bool mOk = true;
    ByteChunk mLive;
    WDL_PtrList<IParam> mParams;
    WDL_PtrList<IPreset> mPresets;
  };

  // ---- Presets (no lock of their own; SerializeState/UnserializeState take it) ------------

  int NPresets() const { return mPresets.GetSize(); }
  int GetCurrentPresetIdx() const { return mCurrentPresetIdx; }
  IPreset* GetPreset(int idx) const { return mPresets.Get(idx); }
  // The slot's name, or "" for an index outside the slots.
  char const* GetPresetName(int idx) const;

  // Fill the first uninitialised slot(s); with none left they do nothing.
  // count slots named name ("Empty" for null) with the current state.
  void MakeDefaultPreset(char const* name = nullptr, int nPresets = 1);
  // Every remaining slot becomes "Empty" with the current state.
  void EnsureDefaultPreset();
  // One value per parameter in index order: int for bool, int and enum parameters, double
  // otherwise. Both forms store the product's current state beyond its parameters after the
  // values.
  void MakePreset(char const* name, ...);
  // nParamsNamed pairs (parameter index as int, then its value typed as for MakePreset); the
  // parameters not named keep their current values. A pair with an index out of range ends the
  // list, since the type of the value that follows it cannot be known.
  void MakePresetFromNamedParams(char const* name, int nParamsNamed, ...);
  void MakePresetFromChunk(char const* name, ByteChunk* pChunk);
  // blob is base64 text decoded into exactly sizeOfChunk bytes, zero-filled past the decoded
  // data. A negative size does nothing.
  void MakePresetFromBlob(char const* name, char const* blob, int sizeOfChunk);
  // Deletes the slots that hold nothing; the others keep their order.
  void PruneUninitializedPresets();

  // Loads slot idx into the parameters (an uninitialised slot first takes the current state
  // under the name "user preset N"), makes it current and moves the controls.
  bool RestorePreset(int idx);
  // The first slot of that exact name.
  bool RestorePreset(char const* name);
  // The current slot takes the live state and, when name is non-empty, the name.
  void ModifyCurrentPreset(char const* name = nullptr);
  // Every slot as name, initialised byte and (when initialised) its stored state.
  bool SerializePresets(ByteChunk* pChunk);
  // Reads the slots back from startPos, loading each stored state into the parameters and
  // re-storing it, then restores the current slot. Returns the position after the data, or -1.
  int UnserializePresets(ByteChunk* pChunk, int startPos);

  // ---- Factory presets --------------------------------------------------------------------
  // The product's table (FactoryPresets.h), kept by pointer: a static table of the product's.
  // Apart from the one program slot above, which hosts store and which stays as it is.

  void SetFactoryPresets(const FactoryPreset* rows, int count)
  {
    mFactoryPresets = rows;
    mNFactoryPresets = rows ? count : 0;
  }
  int NFactoryPresets() const { return mNFactoryPresets; }
  const FactoryPreset* GetFactoryPreset(int idx) const
  {
    return idx >= 0 && idx < mNFactoryPresets ? &mFactoryPresets[idx] : nullptr;
  }

  // ---- Preset files and dumps -------------------------------------------------------------

  // Source lines for a product's constructor, one enumerator name per parameter.
  void DumpPresetSrcCode(char const* file, char const* paramEnumNames[]);
  void DumpPresetBlob(char const* file);
  void DumpBankBlob(char const* file);
  // VST 2 preset (.fxp) and bank (.fxb) files; false for an empty path or a failed write/read.
  // Editor or tool thread, without the lock: each takes it, and a load tells the host
  // (InformHostOfProgramChange) only after letting it go, since the host may call back in from
  // other threads while it handles that.
  bool SaveProgramAsFXP(WDL_String* pFileName);
  bool SaveBankAsFXB(WDL_String* pFileName);
  bool LoadProgramFromFXP(WDL_String* pFileName);
  bool LoadBankFromFXB(WDL_String* pFileName);

protected:
  // One slice of the processing frame: point the pointer arrays at the host buffers or the
  // scratch buffers for frames offset .. offset + nFrames - 1.
  enum class EProcessMode
  {
    kDouble,
    kFloatReplacing,
    kFloatAccumulating
  };
  void RunSliced(int nFrames, EProcessMode mode, bool passThrough);
  void PrepareSlice(int offset, int nFrames);
  void WriteFloatOutputs(int offset, int nFrames, bool accumulate);
  void SilenceHostOutputs(int nFrames, EProcessMode mode);
  // The first uninitialised slot, or null.
  IPreset* FirstUninitializedPreset() const;
  // The product's state beyond its parameters, appended to a slot made of values alone.
  void AppendStateBeyondParams(ByteChunk* pChunk);

  WDL_PtrList<ChannelIO> mChannelIO;
  WDL_Mutex mMutex;
  char mEffectName[kMaxEffectNameLen] = {};
  char mProductName[kMaxEffectNameLen] = {};
  char mMfrName[kMaxEffectNameLen] = {};
  int mUniqueID;
  int mMfrID;
  int mVersion;
  EAPI mAPI;
  // The host's code (high half) and packed version (low half), published as one.
  static constexpr uint64_t PackHost(EHost host, int version)
  {
    return (static_cast<uint64_t>(static_cast<uint32_t>(host)) << 32) |
           static_cast<uint32_t>(version);
  }
  static EHost HostOf(uint64_t identity) { return static_cast<EHost>(int32_t(identity >> 32)); }
  static int HostVersionOf(uint64_t identity) { return int32_t(identity & 0xFFFFFFFFu); }
  std::atomic<uint64_t> mHostIdentity{PackHost(kHostUninit, 0)};
  bool mStateChunks;
  bool mIsInst;
  bool mDoesMIDI;
  int mCurrentPresetIdx = 0;
  const FactoryPreset* mFactoryPresets = nullptr;
  int mNFactoryPresets = 0;
  double mSampleRate = 44100.0;
  int mBlockSize = 0;
  int mLatency;
  int mTailSize = 0;
  IGraphics* mGraphics = nullptr;
  WDL_PtrList<IParam> mParams;
  WDL_PtrList<IPreset> mPresets;
  WDL_TypedBuf<double*> mInData;
  WDL_TypedBuf<double*> mOutData;
  WDL_PtrList<InChannel> mInChannels;
  WDL_PtrList<OutChannel> mOutChannels;
  WDL_PtrList<WDL_String> mInputBusLabels;
  WDL_PtrList<WDL_String> mOutputBusLabels;
};
