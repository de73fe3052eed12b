#pragma once
// Internal to the X11 editor host: one open editor window, its connection and its thread.

#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "graphics/IGraphicsStructs.h"

class IGraphicsLinux;
class IControl;
class IParam;
class IPopupMenu;
class LICE_IBitmap;
class LICE_MemBitmap;

namespace x11editor
{

// The text field drawn over a control while a value is typed.
struct TextEntry
{
  xcb_window_t mWindow = 0;
  IRECT mRect;
  IControl* mControl = nullptr;
  IParam* mParam = nullptr;
  IText mStyle;
  std::string mText;   // UTF-8
  size_t mCaret = 0;   // byte offset, on a character boundary
  std::string mAccept; // allowed ASCII characters; empty with mFiltered: none
  bool mFiltered = false;
  int mMaxChars = 0; // 0: no limit
  std::unique_ptr<LICE_MemBitmap> mBitmap;
};

struct Session
{
  explicit Session(IGraphicsLinux* pOwner);
  ~Session();
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  // ---- Host thread, before the editor thread starts --------------------------------------
  // Connects, checks the parent and the pixel format, creates and maps the window. False (and
  // everything released) on any failure.
  bool Open(uint32_t parent);
  void Start();

  // ---- Any thread -------------------------------------------------------------------------
  void RequestStop();
  void RequestWake();
  // Waits until the thread has ended (true) or is inside a host call (false: it ends once the
  // host answers, and is joined later).
  bool WaitEnded();
  bool IsEditorThread() const { return std::this_thread::get_id() == mThreadID.load(); }

  // ---- Editor thread ----------------------------------------------------------------------
  void Run();
  // One pass of waiting: flushes, then sleeps until an event, a wake-up or the timeout.
  void Wait(int timeoutMs);
  // Draws what is dirty (every 1/fps seconds).
  void TickIfDue();
  void HandleEvent(xcb_generic_event_t* ev);
  // Presents a rectangle of a bitmap in a window at (dx, dy).
  void PutImage(xcb_window_t win, const LICE_IBitmap* pBitmap, int sx, int sy, int w, int h, int dx,
                int dy);
  // Presents a rectangle of the back bitmap, in its pixels.
  bool Present(const IRECT& r);
  void SetSizeHints();
  // The shared-memory segment of the window's size, when the server takes one.
  void AttachShm();
  void ReleaseShm();
  // Resizes the window and the back bitmap to a size the host agreed to.
  void ApplyScale(int scale);
  // Destroys every window, frees the server resources and closes the connection.
  void TeardownX();
  bool Alive() const { return mConn && !mStop.load() && !xcb_connection_has_error(mConn); }

  // Editor thread: entering or leaving a call to the host.
  void SetInHostCall(bool inside);

  // Input.
  IMouseMod ModFromState(uint16_t state, bool left, bool right) const;
  void OnButton(const xcb_button_press_event_t* ev, bool press);
  void OnMotion(const xcb_motion_notify_event_t* ev);
  void OnKey(const xcb_key_press_event_t* ev);
  xcb_keysym_t KeySym(xcb_keycode_t code, uint16_t state) const;

  // Text entry (IGraphicsLinuxPrompts.cpp).
  void OpenEntry(IControl* pControl, const IText* pText, const IRECT& r, const char* str,
                 IParam* pParam);
  void CloseEntry(bool commit);
  void DrawEntry();
  // True when the key was the entry's.
  bool EntryKey(xcb_keysym_t sym, uint16_t state);
  // Popup menu, modal on this thread.
  IPopupMenu* RunMenu(IPopupMenu* pMenu, const IRECT& r);

  // Clipboard (IGraphicsLinuxOS.cpp).
  bool ReadClipboard(std::string* pOut);
  xcb_atom_t Atom(const char* name);

  IGraphicsLinux* mOwner;
  xcb_connection_t* mConn = nullptr;
  xcb_screen_t* mScreen = nullptr;
  xcb_window_t mWindow = 0;
  xcb_window_t mParent = 0;
  uint32_t mOwnerID = 0; // the window id the owner hands out (kept after the window went)
  xcb_visualid_t mVisual = 0;
  xcb_colormap_t mColormap = 0;
  xcb_gcontext_t mGC = 0;
  xcb_key_symbols_t* mKeySyms = nullptr;
  int mW = 0, mH = 0;
  uint32_t mMaxRequestBytes = 0;

  // MIT-SHM presentation (server-side segment attached; -1 when plain put-image is used).
  int mShmID = -1;
  uint32_t mShmSeg = 0;
  uint8_t* mShmAddr = nullptr;
  bool mShmBusy = false; // a put from the segment may still be read by the server

  int mWakeFD = -1;
  std::atomic<bool> mStop{false};
  std::atomic<bool> mEndEntryRequest{false};
  std::thread mThread;
  std::atomic<std::thread::id> mThreadID{};

  std::mutex mEndMutex;
  std::condition_variable mEndCond;
  bool mEnded = false;    // the thread has left Run
  int mHostCallDepth = 0; // calls to the host this thread is inside

  int64_t mNextTickMs = 0;
  bool mFullRedraw = true;

  // Double-click detection.
  uint32_t mLastPressTime = 0;
  int mLastPressX = -1000, mLastPressY = -1000;
  bool mHaveLastPress = false;
  int mPrevX = 0, mPrevY = 0;
  int mRootX = -1, mRootY = -1; // pointer at the last button or motion event, root coordinates

  // Cursor hiding.
  xcb_cursor_t mBlankCursor = 0;
  int mHiddenRootX = 0, mHiddenRootY = 0;

  std::unique_ptr<TextEntry> mEntry;
  bool mEntrySelectAll = false; // typing replaces the whole text (as when the field opens)
  // Events read while waiting for a reply (clipboard), handled by the loop next.
  std::vector<xcb_generic_event_t*> mDeferred;
  bool mInMenu = false;
};

// The session served by the calling thread, null on other threads.
Session* tCurrentSession();
// Milliseconds of a monotonic clock.
int64_t NowMs();
// Whole-editor draw lock: the font cache and its scratch bitmaps are shared process-wide, so
// editors on several threads draw one at a time.
std::mutex& DrawMutex();

} // namespace x11editor
