// A recording VST 2 plug-in for the host tests. It multiplies every input by its "Gain"
// parameter (0.5 by default) and writes one line per request it receives to the file named by
// TORVA_FAKE_LOG, so that a test can check what a host did and in which order.
//
// TORVA_FAKE_FLAGS overrides the effect flags (decimal), TORVA_FAKE_IO the channel counts
// ("2-2", "1-2", ...). TORVA_FAKE_ENUM makes "Odd=Name" a three-way switch that displays "Off",
// "Low" and "High" and reads no text. TORVA_FAKE_NAME1 renames that second parameter.
// TORVA_FAKE_LATENCY=N reports a latency of N frames and delays its output by as many. Built
// twice: with both entry names, and with `main` only as "Fake Main", so that a chain of the
// two tells them apart as TORVA and TORVA Cab are told apart.
//
// With effFlagsHasEditor among the flags it has a small editor: a child window of the host's
// window on a connection of its own, in one solid colour with a patch of another near its top
// left corner. TORVA_FAKE_EDITOR changes it: "fail" refuses effEditOpen, "wide" asks for a
// window 4000 pixels wide, "close" asks the host's window to close (as a window manager does)
// and "term" sends the process SIGTERM, both at the third effEditIdle.

#include "framework/vst2/VstAbi.h"

#include <signal.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

namespace
{
struct Fake
{
  AEffect mEffect = {};
  audioMasterCallback mHost = nullptr;
  std::FILE* mLog = nullptr;
  float mParams[2] = {0.5f, 0.0f};
  int mBlockSize = 0;
  bool mNan = false; // TORVA_FAKE_NAN: the first output sample of every block is NaN
  bool mEnum = false;
  std::string mName1 = "Odd=Name";
  std::vector<std::vector<double>> mDelay; // one ring of initialDelay samples per output
  size_t mDelayAt = 0;
  ERect mRect = {0, 0, 100, 160};    // the editor's size
  xcb_connection_t* mConn = nullptr; // while the editor is open
  xcb_window_t mParent = 0;
  int mIdles = 0;
  std::string mEditorMode; // TORVA_FAKE_EDITOR
};

Fake* Get(AEffect* e)
{
  return static_cast<Fake*>(e->object);
}

void Log(Fake* f, const std::string& line)
{
  if (!f->mLog) return;
  std::fprintf(f->mLog, "%s\n", line.c_str());
  std::fflush(f->mLog);
}

std::string TimeNote(Fake* f)
{
  const VstIntPtr level =
      f->mHost(&f->mEffect, audioMasterGetCurrentProcessLevel, 0, 0, nullptr, 0.0f);
  const auto* t = reinterpret_cast<const VstTimeInfo*>(f->mHost(
      &f->mEffect, audioMasterGetTime, 0, kVstPpqPosValid | kVstTempoValid, nullptr, 0.0f));
  char buf[160];
  std::snprintf(buf, sizeof(buf), " level=%d pos=%.0f tempo=%.0f playing=%d", int(level),
                t ? t->samplePos : -1.0, t ? t->tempo : -1.0,
                t ? int((t->flags & kVstTransportPlaying) != 0) : -1);
  return buf;
}

template <typename T>
void Run(AEffect* e, T** in, T** out, VstInt32 frames, const char* kind, bool accumulate)
{
  Fake* f = Get(e);
  Log(f, std::string("process ") + kind + " frames=" + std::to_string(frames) + TimeNote(f) +
             (frames > f->mBlockSize ? " OVERFLOW" : ""));
  const size_t delay = size_t(e->initialDelay);
  for (int c = 0; c < e->numOutputs; ++c)
  {
    const T* src = in[c < e->numInputs ? c : 0];
    for (VstInt32 i = 0; i < frames; ++i)
    {
      T v = src[i] * static_cast<T>(f->mParams[0]);
      if (delay)
      {
        double& held = f->mDelay[size_t(c)][(f->mDelayAt + size_t(i)) % delay];
        const T late = static_cast<T>(held);
        held = v;
        v = late;
      }
      out[c][i] = accumulate ? out[c][i] + v : v;
    }
  }
  if (delay) f->mDelayAt = (f->mDelayAt + size_t(frames)) % delay;
  if (f->mNan && frames > 0) out[0][0] = std::numeric_limits<T>::quiet_NaN();
}

void ProcessReplacing(AEffect* e, float** in, float** out, VstInt32 n)
{
  Run(e, in, out, n, "float", false);
}
void ProcessAccumulating(AEffect* e, float** in, float** out, VstInt32 n)
{
  Run(e, in, out, n, "accumulate", true);
}
void ProcessDouble(AEffect* e, double** in, double** out, VstInt32 n)
{
  Run(e, in, out, n, "double", false);
}

void SetParameter(AEffect* e, VstInt32 index, float value)
{
  if (index < 0 || index > 1) return;
  Get(e)->mParams[index] = value;
  Log(Get(e), "set " + std::to_string(index) + " " + std::to_string(value));
}

float GetParameter(AEffect* e, VstInt32 index)
{
  return index >= 0 && index <= 1 ? Get(e)->mParams[index] : 0.0f;
}

void Copy(void* ptr, const char* text)
{
  std::strcpy(static_cast<char*>(ptr), text);
}

xcb_window_t MakeWindow(xcb_connection_t* c, xcb_window_t parent, int x, int y, int w, int h,
                        uint32_t colour)
{
  const xcb_window_t win = xcb_generate_id(c);
  xcb_create_window(c, XCB_COPY_FROM_PARENT, win, parent, int16_t(x), int16_t(y), uint16_t(w),
                    uint16_t(h), 0, XCB_WINDOW_CLASS_INPUT_OUTPUT, XCB_COPY_FROM_PARENT,
                    XCB_CW_BACK_PIXEL, &colour);
  xcb_map_window(c, win);
  return win;
}

// What the host's window looks like to the editor: "title=... size=WxH".
std::string DescribeParent(xcb_connection_t* c, xcb_window_t parent)
{
  std::string text = "title=";
  if (xcb_get_property_reply_t* p = xcb_get_property_reply(
          c, xcb_get_property(c, 0, parent, XCB_ATOM_WM_NAME, XCB_ATOM_STRING, 0, 64), nullptr))
  {
    text.append(static_cast<const char*>(xcb_get_property_value(p)),
                size_t(xcb_get_property_value_length(p)));
    free(p);
  }
  if (xcb_get_geometry_reply_t* g = xcb_get_geometry_reply(c, xcb_get_geometry(c, parent), nullptr))
  {
    text += " size=" + std::to_string(g->width) + "x" + std::to_string(g->height);
    free(g);
  }
  return text;
}

VstIntPtr OpenEditor(Fake* f, void* ptr, std::string& line)
{
  const auto parent = xcb_window_t(reinterpret_cast<uintptr_t>(ptr));
  line += " window=" + std::string(parent ? "set" : "none");
  if (!parent || f->mConn || f->mEditorMode == "fail") return 0;
  xcb_connection_t* c = xcb_connect(nullptr, nullptr);
  if (xcb_connection_has_error(c))
  {
    xcb_disconnect(c);
    return 0;
  }
  line += " " + DescribeParent(c, parent);
  // Colours as a 24-bit TrueColor screen takes them.
  const xcb_window_t editor = MakeWindow(c, parent, 0, 0, 160, 100, 0x3080C0);
  MakeWindow(c, editor, 10, 5, 20, 10, 0xE05010);
  xcb_flush(c);
  f->mConn = c;
  f->mParent = parent;
  return 1;
}

void IdleEditor(Fake* f)
{
  if (!f->mConn || ++f->mIdles != 3) return;
  if (f->mEditorMode == "term") kill(getpid(), SIGTERM);
  if (f->mEditorMode != "close") return;
  xcb_client_message_event_t message = {};
  message.response_type = XCB_CLIENT_MESSAGE;
  message.format = 32;
  message.window = f->mParent;
  for (xcb_atom_t* to : {&message.type, &message.data.data32[0]})
  {
    const char* name = to == &message.type ? "WM_PROTOCOLS" : "WM_DELETE_WINDOW";
    xcb_intern_atom_reply_t* r = xcb_intern_atom_reply(
        f->mConn, xcb_intern_atom(f->mConn, 0, uint16_t(std::strlen(name)), name), nullptr);
    *to = r ? r->atom : xcb_atom_t(XCB_ATOM_NONE);
    free(r);
  }
  xcb_send_event(f->mConn, 0, f->mParent, XCB_EVENT_MASK_NO_EVENT,
                 reinterpret_cast<const char*>(&message));
  xcb_flush(f->mConn);
}

void CloseEditor(Fake* f)
{
  if (!f->mConn) return;
  xcb_disconnect(f->mConn); // the server destroys the editor's windows with the connection
  f->mConn = nullptr;
}

VstIntPtr Dispatch(AEffect* e, VstInt32 op, VstInt32 index, VstIntPtr value, void* ptr, float opt)
{
  Fake* f = Get(e);
  std::string line = "op " + std::to_string(op);
  VstIntPtr result = 0;
  switch (op)
  {
  case effSetSampleRate:
    line += " " + std::to_string(int(opt));
    break;
  case effSetBlockSize:
    f->mBlockSize = int(value);
    line += " " + std::to_string(value);
    break;
  case effMainsChanged:
  case effSetProcessPrecision:
  case effSetProgram:
    line += " " + std::to_string(value);
    break;
  case effSetSpeakerArrangement:
  {
    const auto* in = reinterpret_cast<const VstSpeakerArrangement*>(value);
    const auto* out = static_cast<const VstSpeakerArrangement*>(ptr);
    line += " in=" + std::to_string(in ? in->numChannels : -1) +
            " out=" + std::to_string(out ? out->numChannels : -1);
    result = 1;
    break;
  }
  case effGetParamName:
    Copy(ptr, index == 0 ? "Gain" : f->mName1.c_str());
    break;
  case effGetParamLabel:
    Copy(ptr, "");
    break;
  case effGetParamDisplay:
    if (index == 1 && f->mEnum)
      Copy(ptr, f->mParams[1] < 1.0f / 3 ? "Off" : f->mParams[1] < 2.0f / 3 ? "Low" : "High");
    else if (index >= 0 && index <= 1)
      std::snprintf(static_cast<char*>(ptr), 24, "%.3f", f->mParams[index]);
    break;
  case effGetEffectName:
#ifdef FAKE_MAIN_ONLY
    Copy(ptr, "Fake Main");
#else
    Copy(ptr, "Fake");
#endif
    return 1;
  case effGetVendorString:
    Copy(ptr, "Tests");
    return 1;
  case effGetProgramName:
    Copy(ptr, "Init");
    break;
  case effString2Parameter:
  {
    line += " " + std::to_string(index) + " " + (ptr ? static_cast<const char*>(ptr) : "(null)");
    char* end = nullptr;
    const double v = ptr ? std::strtod(static_cast<const char*>(ptr), &end) : 0.0;
    if (ptr && end != ptr && v >= 0.0 && v <= 1.0 && index >= 0 && index <= 1 &&
        !(index == 1 && f->mEnum))
    {
      f->mParams[index] = float(v);
      result = 1;
    }
    break;
  }
  case effSetChunk:
  {
    const auto* bytes = static_cast<const unsigned char*>(ptr);
    line += " " + std::to_string(index) + " " + std::to_string(value);
    for (VstIntPtr i = 0; i < value && i < 8; ++i) line += " " + std::to_string(bytes[i]);
    result = 1;
    break;
  }
  case effGetChunk:
  {
    static unsigned char state[3] = {7, 8, 9};
    *static_cast<void**>(ptr) = state;
    line += " " + std::to_string(index);
    result = 3;
    break;
  }
  case effSetProgramName:
    line += std::string(" ") + static_cast<const char*>(ptr);
    break;
  case effEditGetRect:
    if (ptr) *static_cast<ERect**>(ptr) = &f->mRect;
    result = 1;
    break;
  case effEditOpen:
    result = OpenEditor(f, ptr, line);
    break;
  case effEditIdle:
    IdleEditor(f);
    break;
  case effEditClose:
    line += f->mConn ? " open" : " not-open";
    CloseEditor(f);
    result = 1;
    break;
  case effClose:
    CloseEditor(f);
    Log(f, line);
    if (f->mLog) std::fclose(f->mLog);
    delete f;
    return 0;
  default:
    break;
  }
  if (op != effGetParamName && op != effGetParamLabel && op != effGetParamDisplay) Log(f, line);
  return result;
}

AEffect* Create(audioMasterCallback host)
{
  Fake* f = new Fake;
  f->mHost = host;
  if (const char* path = std::getenv("TORVA_FAKE_LOG")) f->mLog = std::fopen(path, "a");
  AEffect& e = f->mEffect;
  e.magic = kEffectMagic;
  e.dispatcher = Dispatch;
  e.process = ProcessAccumulating;
  e.processReplacing = ProcessReplacing;
  e.processDoubleReplacing = ProcessDouble;
  e.setParameter = SetParameter;
  e.getParameter = GetParameter;
  e.numPrograms = 1;
  e.numParams = 2;
  e.numInputs = 2;
  e.numOutputs = 2;
  e.flags = effFlagsCanReplacing | effFlagsCanDoubleReplacing;
  e.ioRatio = 1.0f;
  e.object = f;
  e.uniqueID = TORVA_VST_FOURCC('F', 'a', 'k', 'e');
  if (const char* flags = std::getenv("TORVA_FAKE_FLAGS")) e.flags = std::atoi(flags);
  f->mNan = std::getenv("TORVA_FAKE_NAN") != nullptr;
  f->mEnum = std::getenv("TORVA_FAKE_ENUM") != nullptr;
  if (const char* mode = std::getenv("TORVA_FAKE_EDITOR")) f->mEditorMode = mode;
  if (f->mEditorMode == "wide") f->mRect.right = 4000;
  if (const char* io = std::getenv("TORVA_FAKE_IO"))
    std::sscanf(io, "%d-%d", &e.numInputs, &e.numOutputs);
  if (const char* name = std::getenv("TORVA_FAKE_NAME1")) f->mName1 = name;
  if (const char* latency = std::getenv("TORVA_FAKE_LATENCY")) e.initialDelay = std::atoi(latency);
  f->mDelay.assign(size_t(e.numOutputs), std::vector<double>(size_t(e.initialDelay), 0.0));
  char vendor[kVstMaxVendorStrLen] = {};
  host(nullptr, audioMasterGetProductString, 0, 0, vendor, 0.0f);
  Log(f, "entry version=" + std::to_string(host(nullptr, audioMasterVersion, 0, 0, nullptr, 0.0f)) +
             " host=" + vendor);
  return &e;
}
} // namespace

extern "C"
{
#ifndef FAKE_MAIN_ONLY
  __attribute__((visibility("default"))) AEffect* VSTPluginMain(audioMasterCallback host)
  {
    return Create(host);
  }
#endif
  // Named by its symbol only: a C++ function called main would be the program's entry.
  __attribute__((visibility("default"))) AEffect*
  FakeMain(audioMasterCallback host) __asm__("main");
  AEffect* FakeMain(audioMasterCallback host)
  {
    return Create(host);
  }
}
