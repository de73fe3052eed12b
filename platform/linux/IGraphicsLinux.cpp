// IGraphicsLinux: the editor inside a host's X11 window.
//
// Connection. Every open editor has its own XCB connection (DISPLAY of the process), made by
// OpenWindow and closed by the editor thread when the window goes. XCB reports X errors as
// events on that connection, so nothing here touches process-wide X state: no Xlib, no error
// handler, no XInitThreads. Constructing the object touches no X server.
//
// Threads. One editor thread per open window owns the connection; after OpenWindow hands it
// over, only that thread makes X requests. It sleeps in poll() on the connection and a wake-up
// eventfd with a timeout of 1/fps seconds. Each timeout is a timer tick: the controls' OnGUIIdle
// (outside the draw lock), IsDirty, then Draw of the dirty region. All IGraphics entry points of
// the editor (drawing, input, prompts) run on it. Host threads only store parameter values into the
// controls (SetParameterFromPlug).
//
// The plug-in lock. The editor thread does not hold it while it handles input, waits for the X
// server or draws: a user's change takes it inside SetParameterFromGUI for the change alone, and
// the host hears of it (begin, automate, end) through the adapter without it. Hosts open and
// close the editor without it too, so CloseWindow can always wait for the editor thread, except
// when that thread is inside a call to the host (SetInHostCall): the host may be waiting for the
// very thread that closes. Such a thread is told to stop and left to end by itself once the host
// answers; it is joined by the next OpenWindow, CloseWindow or the destructor. One draw lock,
// shared by every editor in the process, serialises editors that draw on their threads at the
// same moment (the font cache and its scratch bitmaps are shared).
//
// Presentation (TORVA_X11_NO_SHM=1 forces plain put-image). The back bitmap's pixel word is the
// 32-bit little-endian TrueColor pixel of a depth-24 visual, so pixels go to the server
// unconverted: with MIT-SHM the dirty rows are copied into a shared segment and put from there (one
// round trip before the segment is written again); without it plain put-image requests in strips
// below the request limit. Expose events present their rectangle from the back bitmap.
//
// Lifecycle:
//   state      event                                  action                          next
//   closed     OpenWindow(parent)                     connect, create, map, thread    open
//   closed     OpenWindow: no display/parent/format   nothing left behind, null       closed
//   open       OpenWindow(other parent)               CloseWindow, then open again    open
//   open       CloseWindow, host thread               stop, join, X released          closed
//   open       CloseWindow on the editor thread       stop; ends when the callback    closing
//                                                     returns, joined later
//   open       CloseWindow while the editor thread    stop; ends when the host        closing
//              is inside a host call                  answers, joined later
//   open       parent destroyed / connection lost     thread releases X and ends      gone
//   gone       CloseWindow / OpenWindow               join, harmless                  closed
//   any        destructor                             CloseWindow, join every thread, -
//                                                     end a file dialog still open
//
// A gesture still open when the thread ends (the window closed mid-drag) gets its end-edit then.
//
// Input. Buttons 1 and 3 are left and right, 4 and 5 wheel steps +1 and -1; Shift, Control and
// Mod1 are shift, control and alt. A left press within 400 ms and 4 pixels of the previous one
// is a double-click. Motion with a button held is a drag, without one a mouse-over; leaving
// the window is a mouse-out. Keys: space 0, arrows 1-4, digits 5-14, letters 15-40.

#include "platform/linux/IGraphicsLinux.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/ipc.h>
#include <sys/shm.h>
#include <unistd.h>
#include <xcb/shm.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "framework/IPlugBase.h"
#include "graphics/IControl.h"
#include "platform/linux/EditorScale.h"
#include "platform/linux/IGraphicsLinuxSession.h"
#include "raster/lice.h"

namespace x11editor
{
namespace
{
thread_local Session* tCurrent = nullptr;

constexpr uint32_t kDoubleClickMs = 400;
constexpr int kDoubleClickPixels = 4;

int KeyCode(xcb_keysym_t sym)
{
  switch (sym)
  {
  case 0x20:
    return 0; // space
  case 0xff52:
  case 0xff97:
    return 1; // Up, KP_Up
  case 0xff54:
  case 0xff99:
    return 2; // Down
  case 0xff51:
  case 0xff96:
    return 3; // Left
  case 0xff53:
  case 0xff98:
    return 4; // Right
  default:
    break;
  }
  if (sym >= '0' && sym <= '9') return 5 + (int)(sym - '0');
  if (sym >= 0xffb0 && sym <= 0xffb9) return 5 + (int)(sym - 0xffb0); // keypad digits
  if (sym >= 'a' && sym <= 'z') return 15 + (int)(sym - 'a');
  if (sym >= 'A' && sym <= 'Z') return 15 + (int)(sym - 'A');
  return -1;
}

// A depth-24 TrueColor visual whose pixel is 0x00RRGGBB, the root visual when it qualifies.
xcb_visualtype_t* FindVisual(xcb_screen_t* screen)
{
  xcb_visualtype_t* found = nullptr;
  for (auto d = xcb_screen_allowed_depths_iterator(screen); d.rem; xcb_depth_next(&d))
  {
    if (d.data->depth != 24) continue;
    for (auto v = xcb_depth_visuals_iterator(d.data); v.rem; xcb_visualtype_next(&v))
    {
      const xcb_visualtype_t* t = v.data;
      if (t->_class != XCB_VISUAL_CLASS_TRUE_COLOR || t->red_mask != 0xff0000 ||
          t->green_mask != 0xff00 || t->blue_mask != 0xff)
        continue;
      if (t->visual_id == screen->root_visual) return v.data;
      if (!found) found = v.data;
    }
  }
  return found;
}

// Depth 24 is stored in 32-bit words, least significant byte first.
bool PixelFormatMatches(const xcb_setup_t* setup)
{
  if (setup->image_byte_order != XCB_IMAGE_ORDER_LSB_FIRST) return false;
  for (auto f = xcb_setup_pixmap_formats_iterator(setup); f.rem; xcb_format_next(&f))
    if (f.data->depth == 24) return f.data->bits_per_pixel == 32;
  return false;
}
} // namespace

Session* tCurrentSession()
{
  return tCurrent;
}

int64_t NowMs()
{
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

std::mutex& DrawMutex()
{
  static std::mutex sMutex;
  return sMutex;
}

Session::Session(IGraphicsLinux* pOwner) : mOwner(pOwner)
{
  mW = pOwner->ScaledWidth(pOwner->Scale());
  mH = pOwner->ScaledHeight(pOwner->Scale());
}

Session::~Session()
{
  if (mThread.joinable())
  {
    if (mThread.get_id() == std::this_thread::get_id())
      mThread.detach();
    else
      mThread.join();
  }
  TeardownX();
  if (mWakeFD >= 0) close(mWakeFD);
}

bool Session::Open(uint32_t parent)
{
  const char* display = std::getenv("DISPLAY");
  if (!parent || !display || !*display || mW <= 0 || mH <= 0) return false;
  {
    std::lock_guard<std::mutex> lock(editor_scale::ConnectMutex());
    mConn = xcb_connect(display, nullptr);
  }
  if (xcb_connection_has_error(mConn))
  {
    TeardownX();
    return false;
  }
  const xcb_setup_t* setup = xcb_get_setup(mConn);
  xcb_get_geometry_reply_t* geo =
      xcb_get_geometry_reply(mConn, xcb_get_geometry(mConn, parent), nullptr);
  if (!geo || !PixelFormatMatches(setup))
  {
    free(geo);
    TeardownX();
    return false;
  }
  const xcb_window_t root = geo->root;
  free(geo);
  for (auto s = xcb_setup_roots_iterator(setup); s.rem; xcb_screen_next(&s))
    if (s.data->root == root) mScreen = s.data;
  xcb_visualtype_t* visual = mScreen ? FindVisual(mScreen) : nullptr;
  if (!visual)
  {
    TeardownX();
    return false;
  }
  mVisual = visual->visual_id;
  mParent = parent;

  mColormap = xcb_generate_id(mConn);
  xcb_create_colormap(mConn, XCB_COLORMAP_ALLOC_NONE, mColormap, root, mVisual);
  mWindow = xcb_generate_id(mConn);
  const uint32_t events = XCB_EVENT_MASK_EXPOSURE | XCB_EVENT_MASK_BUTTON_PRESS |
                          XCB_EVENT_MASK_BUTTON_RELEASE | XCB_EVENT_MASK_POINTER_MOTION |
                          XCB_EVENT_MASK_LEAVE_WINDOW | XCB_EVENT_MASK_KEY_PRESS |
                          XCB_EVENT_MASK_FOCUS_CHANGE | XCB_EVENT_MASK_STRUCTURE_NOTIFY;
  const uint32_t values[] = {XCB_BACK_PIXMAP_NONE, 0, events, mColormap};
  xcb_void_cookie_t made = xcb_create_window_checked(
      mConn, 24, mWindow, parent, 0, 0, (uint16_t)mW, (uint16_t)mH, 0,
      XCB_WINDOW_CLASS_INPUT_OUTPUT, mVisual,
      XCB_CW_BACK_PIXMAP | XCB_CW_BORDER_PIXEL | XCB_CW_EVENT_MASK | XCB_CW_COLORMAP, values);
  if (xcb_generic_error_t* err = xcb_request_check(mConn, made))
  {
    free(err);
    mWindow = 0;
    TeardownX();
    return false;
  }

  SetSizeHints();
  const uint32_t xembed[2] = {0, 1}; // protocol version 0, XEMBED_MAPPED
  const xcb_atom_t xembedAtom = Atom("_XEMBED_INFO");
  if (xembedAtom)
    xcb_change_property(mConn, XCB_PROP_MODE_REPLACE, mWindow, xembedAtom, xembedAtom, 32, 2,
                        xembed);

  mGC = xcb_generate_id(mConn);
  const uint32_t gcValues[] = {0};
  xcb_create_gc(mConn, mGC, mWindow, XCB_GC_GRAPHICS_EXPOSURES, gcValues);
  mMaxRequestBytes = xcb_get_maximum_request_length(mConn) * 4u;
  mKeySyms = xcb_key_symbols_alloc(mConn);

  AttachShm();

  mWakeFD = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  xcb_map_window(mConn, mWindow);
  xcb_flush(mConn);
  mOwnerID = mWindow;
  if (mWakeFD < 0 || xcb_connection_has_error(mConn))
  {
    TeardownX();
    return false;
  }
  return true;
}

void Session::SetSizeHints()
{
  // Fixed size for embedders and window managers: min = max = base = the editor's size.
  uint32_t hints[18] = {};
  hints[0] = (1u << 3) | (1u << 4) | (1u << 5) | (1u << 8); // PSize PMinSize PMaxSize PBaseSize
  hints[3] = hints[5] = hints[7] = hints[15] = (uint32_t)mW;
  hints[4] = hints[6] = hints[8] = hints[16] = (uint32_t)mH;
  xcb_change_property(mConn, XCB_PROP_MODE_REPLACE, mWindow, XCB_ATOM_WM_NORMAL_HINTS,
                      XCB_ATOM_WM_SIZE_HINTS, 32, 18, hints);
}

void Session::AttachShm()
{
  // MIT-SHM when the server offers it and can attach our segment (not over the network);
  // TORVA_X11_NO_SHM=1 asks for plain put-image (servers whose shared memory misbehaves).
  const xcb_query_extension_reply_t* shmExt = xcb_get_extension_data(mConn, &xcb_shm_id);
  const size_t shmBytes = (size_t)mW * (size_t)mH * 4;
  const char* noShm = std::getenv("TORVA_X11_NO_SHM");
  if (shmExt && shmExt->present && !(noShm && std::strcmp(noShm, "1") == 0))
  {
    mShmID = shmget(IPC_PRIVATE, shmBytes, IPC_CREAT | 0600);
    if (mShmID >= 0)
    {
      void* addr = shmat(mShmID, nullptr, 0);
      mShmAddr = addr == (void*)-1 ? nullptr : static_cast<uint8_t*>(addr);
      if (mShmAddr)
      {
        mShmSeg = xcb_generate_id(mConn);
        xcb_generic_error_t* err =
            xcb_request_check(mConn, xcb_shm_attach_checked(mConn, mShmSeg, (uint32_t)mShmID, 0));
        if (err)
        {
          free(err);
          mShmSeg = 0;
        }
      }
      // Gone as soon as both sides detach, whatever happens to the process.
      shmctl(mShmID, IPC_RMID, nullptr);
      if (!mShmSeg)
      {
        if (mShmAddr) shmdt(mShmAddr);
        mShmAddr = nullptr;
        mShmID = -1;
      }
    }
  }
}

void Session::ReleaseShm()
{
  if (mShmSeg)
  {
    xcb_shm_detach(mConn, mShmSeg);
    mShmSeg = 0;
  }
  // The server reads the segment until it has handled the detach.
  if (mShmAddr && !xcb_connection_has_error(mConn))
    free(xcb_get_input_focus_reply(mConn, xcb_get_input_focus(mConn), nullptr));
  if (mShmAddr) shmdt(mShmAddr);
  mShmAddr = nullptr;
  mShmID = -1;
  mShmBusy = false;
}

void Session::ApplyScale(int scale)
{
  if (mEntry) CloseEntry(false); // its field sits at the old size
  {
    std::lock_guard<std::mutex> lock(DrawMutex());
    mOwner->SetScale(scale);
  }
  const int w = mOwner->ScaledWidth(mOwner->Scale()), h = mOwner->ScaledHeight(mOwner->Scale());
  if (w == mW && h == mH) return;
  mW = w;
  mH = h;
  const uint32_t size[] = {(uint32_t)w, (uint32_t)h};
  xcb_configure_window(mConn, mWindow, XCB_CONFIG_WINDOW_WIDTH | XCB_CONFIG_WINDOW_HEIGHT, size);
  SetSizeHints();
  const bool shm = mShmSeg != 0;
  ReleaseShm();
  if (shm) AttachShm();
  mFullRedraw = true;
  mNextTickMs = NowMs(); // the new size is drawn at once
}

void Session::Start()
{
  mThread = std::thread([this] { Run(); });
}

void Session::RequestStop()
{
  mStop.store(true);
  RequestWake();
}

void Session::RequestWake()
{
  if (mWakeFD >= 0)
  {
    const uint64_t one = 1;
    [[maybe_unused]] ssize_t n = write(mWakeFD, &one, sizeof one);
  }
}

bool Session::WaitEnded()
{
  std::unique_lock<std::mutex> lock(mEndMutex);
  mEndCond.wait(lock, [this] { return mEnded || mHostCallDepth > 0; });
  return mEnded;
}

void Session::SetInHostCall(bool inside)
{
  {
    std::lock_guard<std::mutex> lock(mEndMutex);
    mHostCallDepth += inside ? 1 : -1;
  }
  mEndCond.notify_all();
}

void Session::Run()
{
  mThreadID.store(std::this_thread::get_id());
  tCurrent = this;
  mNextTickMs = NowMs();
  std::vector<xcb_generic_event_t*> batch;
  while (Alive())
  {
    // Drain what has arrived; of consecutive pointer motions only the last counts.
    batch.swap(mDeferred);
    while (xcb_generic_event_t* ev = xcb_poll_for_event(mConn))
    {
      if (!batch.empty() && (ev->response_type & 0x7f) == XCB_MOTION_NOTIFY &&
          (batch.back()->response_type & 0x7f) == XCB_MOTION_NOTIFY)
      {
        free(batch.back());
        batch.back() = ev;
      }
      else
        batch.push_back(ev);
    }
    for (xcb_generic_event_t* ev : batch)
    {
      if (Alive()) HandleEvent(ev);
      free(ev);
    }
    batch.clear();
    if (!Alive()) break;
    if (mEndEntryRequest.exchange(false)) CloseEntry(false);
    if (const int scale = mOwner->TakeAcceptedScale()) ApplyScale(scale);
    TickIfDue();
    Wait((int)std::max<int64_t>(0, mNextTickMs - NowMs()));
  }
  for (xcb_generic_event_t* ev : batch) free(ev);
  mOwner->ReleaseMouseCapture(); // a drag cut short by the close still ends for the host
  TeardownX();
  tCurrent = nullptr;
  {
    std::lock_guard<std::mutex> lock(mEndMutex);
    mEnded = true;
  }
  mEndCond.notify_all();
}

void Session::Wait(int timeoutMs)
{
  if (!mConn) return;
  xcb_flush(mConn);
  pollfd fds[2] = {{xcb_get_file_descriptor(mConn), POLLIN, 0}, {mWakeFD, POLLIN, 0}};
  if (poll(fds, 2, timeoutMs) > 0 && (fds[1].revents & POLLIN))
  {
    uint64_t count;
    [[maybe_unused]] ssize_t n = read(mWakeFD, &count, sizeof count);
  }
}

void Session::TickIfDue()
{
  const int64_t now = NowMs();
  if (now < mNextTickMs) return;
  const int64_t period = 1000 / std::max(1, mOwner->FPS());
  mNextTickMs += period;
  if (mNextTickMs <= now) mNextTickMs = now + period;

  // The controls' own work at the tick, before drawing and outside the draw lock: it may read
  // files or ask the plug-in.
  mOwner->OnGUIIdle();
  std::lock_guard<std::mutex> lock(DrawMutex());
  if (mFullRedraw)
  {
    mFullRedraw = false;
    if (!mOwner->IsStrictDrawing()) mOwner->SetAllControlsDirty();
    IRECT all(0, 0, mOwner->Width(), mOwner->Height());
    if (mOwner->NControls() == 0)
      Present(IRECT(0, 0, mW, mH));
    else
      mOwner->Draw(&all);
    return;
  }
  IRECT r;
  if (mOwner->IsDirty(&r)) mOwner->Draw(&r);
}

void Session::PutImage(xcb_window_t win, const LICE_IBitmap* pBitmap, int sx, int sy, int w, int h,
                       int dx, int dy)
{
  if (w <= 0 || h <= 0 || !mConn) return;
  const size_t rowBytes = (size_t)w * 4;
  const size_t limit = mMaxRequestBytes > 256 ? mMaxRequestBytes - 64 : 0;
  const int stripRows = (int)std::min<size_t>((size_t)h, limit / rowBytes);
  if (stripRows < 1) return;
  const LICE_pixel* bits = pBitmap->getBits();
  const int span = pBitmap->getRowSpan();
  std::vector<LICE_pixel> strip;
  for (int row = 0; row < h; row += stripRows)
  {
    const int rows = std::min(stripRows, h - row);
    const LICE_pixel* src = bits + (size_t)(sy + row) * span + sx;
    if (span != w)
    {
      strip.resize((size_t)w * rows);
      for (int y = 0; y < rows; ++y)
        std::memcpy(&strip[(size_t)y * w], src + (size_t)y * span, rowBytes);
      src = strip.data();
    }
    xcb_put_image(mConn, XCB_IMAGE_FORMAT_Z_PIXMAP, win, mGC, (uint16_t)w, (uint16_t)rows,
                  (int16_t)dx, (int16_t)(dy + row), 0, 24, (uint32_t)(rowBytes * rows),
                  reinterpret_cast<const uint8_t*>(src));
  }
}

bool Session::Present(const IRECT& r)
{
  LICE_IBitmap* bmp = mOwner->GetDrawBitmap();
  if (!bmp || !mConn || !mWindow) return false;
  const int l = std::max(0, r.mL), t = std::max(0, r.mT);
  const int rr = std::min({r.mR, mW, bmp->getWidth()}), b = std::min({r.mB, mH, bmp->getHeight()});
  if (rr <= l || b <= t) return true;
  if (mShmSeg)
  {
    if (mShmBusy) free(xcb_get_input_focus_reply(mConn, xcb_get_input_focus(mConn), nullptr));
    const LICE_pixel* bits = bmp->getBits();
    const int span = bmp->getRowSpan();
    for (int y = t; y < b; ++y)
      std::memcpy(mShmAddr + ((size_t)y * mW + l) * 4, bits + (size_t)y * span + l,
                  (size_t)(rr - l) * 4);
    xcb_shm_put_image(mConn, mWindow, mGC, (uint16_t)mW, (uint16_t)mH, (uint16_t)l, (uint16_t)t,
                      (uint16_t)(rr - l), (uint16_t)(b - t), (int16_t)l, (int16_t)t, 24,
                      XCB_IMAGE_FORMAT_Z_PIXMAP, 0, mShmSeg, 0);
    mShmBusy = true;
  }
  else
    PutImage(mWindow, bmp, l, t, rr - l, b - t, l, t);
  xcb_flush(mConn);
  mOwner->mPresentCount.fetch_add(1);
  return true;
}

void Session::TeardownX()
{
  if (!mConn) return;
  if (mEntry)
  {
    if (mEntry->mWindow) xcb_destroy_window(mConn, mEntry->mWindow);
    mEntry.reset();
    mOwner->mEntryOpen.store(false);
  }
  if (mBlankCursor) xcb_free_cursor(mConn, mBlankCursor);
  if (mGC) xcb_free_gc(mConn, mGC);
  if (mWindow) xcb_destroy_window(mConn, mWindow);
  if (mColormap) xcb_free_colormap(mConn, mColormap);
  if (mKeySyms) xcb_key_symbols_free(mKeySyms);
  for (xcb_generic_event_t* ev : mDeferred) free(ev);
  mDeferred.clear();
  ReleaseShm();
  xcb_disconnect(mConn);
  uint32_t id = mOwnerID;
  if (id) mOwner->mWindowID.compare_exchange_strong(id, 0);
  mConn = nullptr;
  mBlankCursor = mGC = mWindow = mColormap = 0;
  mKeySyms = nullptr;
}

IMouseMod Session::ModFromState(uint16_t state, bool left, bool right) const
{
  return IMouseMod(left, right, (state & XCB_MOD_MASK_SHIFT) != 0,
                   (state & XCB_MOD_MASK_CONTROL) != 0, (state & XCB_MOD_MASK_1) != 0);
}

void Session::HandleEvent(xcb_generic_event_t* ev)
{
  switch (ev->response_type & 0x7f)
  {
  case 0:
  {
    // An error about the editor's own window means it is gone (host destroyed the parent).
    const auto* err = reinterpret_cast<xcb_generic_error_t*>(ev);
    if (err->resource_id == mWindow &&
        (err->error_code == XCB_WINDOW || err->error_code == XCB_DRAWABLE))
    {
      mWindow = 0;
      mStop.store(true);
    }
    break;
  }
  case XCB_EXPOSE:
  {
    const auto* e = reinterpret_cast<xcb_expose_event_t*>(ev);
    if (e->window == mWindow)
      Present(IRECT(e->x, e->y, e->x + e->width, e->y + e->height));
    else if (mEntry && e->window == mEntry->mWindow && e->count == 0)
      DrawEntry();
    break;
  }
  case XCB_BUTTON_PRESS:
  case XCB_BUTTON_RELEASE:
    OnButton(reinterpret_cast<xcb_button_press_event_t*>(ev),
             (ev->response_type & 0x7f) == XCB_BUTTON_PRESS);
    break;
  case XCB_MOTION_NOTIFY:
    OnMotion(reinterpret_cast<xcb_motion_notify_event_t*>(ev));
    break;
  case XCB_LEAVE_NOTIFY:
  {
    const auto* e = reinterpret_cast<xcb_leave_notify_event_t*>(ev);
    if (e->event == mWindow && e->detail != XCB_NOTIFY_DETAIL_INFERIOR) mOwner->OnMouseOut();
    break;
  }
  case XCB_KEY_PRESS:
    OnKey(reinterpret_cast<xcb_key_press_event_t*>(ev));
    break;
  case XCB_FOCUS_OUT:
  {
    const auto* e = reinterpret_cast<xcb_focus_out_event_t*>(ev);
    if (mEntry && e->event == mWindow && e->detail != XCB_NOTIFY_DETAIL_INFERIOR &&
        e->detail != XCB_NOTIFY_DETAIL_POINTER && e->mode == XCB_NOTIFY_MODE_NORMAL)
      CloseEntry(true);
    break;
  }
  case XCB_DESTROY_NOTIFY:
    if (reinterpret_cast<xcb_destroy_notify_event_t*>(ev)->window == mWindow)
    {
      mWindow = 0;
      mStop.store(true);
    }
    break;
  case XCB_MAPPING_NOTIFY:
    if (mKeySyms) xcb_refresh_keyboard_mapping(mKeySyms, (xcb_mapping_notify_event_t*)ev);
    break;
  default:
    break;
  }
}

void Session::OnButton(const xcb_button_press_event_t* ev, bool press)
{
  if (ev->event != mWindow) return;
  const int x = ev->event_x, y = ev->event_y;
  mPrevX = x;
  mPrevY = y;
  mRootX = ev->root_x;
  mRootY = ev->root_y;
  const int button = ev->detail;
  if (button != 1 && button != 3 && button != 4 && button != 5) return;
  if (mEntry && press)
  {
    // Wheel ends the entry as the field's owner would; a click elsewhere is focus loss.
    if (button == 4 || button == 5)
      CloseEntry(false);
    else if (!mEntry->mRect.Contains(x, y))
      CloseEntry(true);
    else
      return;
  }
  // The editor's own units from here on; the double-click distance stays in pixels.
  const int lx = mOwner->ToLogical(x), ly = mOwner->ToLogical(y);
  if (button == 4 || button == 5)
  {
    if (press)
    {
      IMouseMod mod = ModFromState(ev->state, true, false);
      mOwner->OnMouseWheel(lx, ly, &mod, button == 4 ? 1 : -1);
    }
    return;
  }
  const bool left = button == 1;
  IMouseMod mod = ModFromState(ev->state, left, !left);
  if (!press)
    mOwner->OnMouseUp(lx, ly, &mod);
  else if (left && mHaveLastPress && ev->time - mLastPressTime <= kDoubleClickMs &&
           std::abs(x - mLastPressX) <= kDoubleClickPixels &&
           std::abs(y - mLastPressY) <= kDoubleClickPixels)
  {
    mHaveLastPress = false;
    mOwner->OnMouseDblClick(lx, ly, &mod);
  }
  else
  {
    if (left)
    {
      mHaveLastPress = true;
      mLastPressTime = ev->time;
      mLastPressX = x;
      mLastPressY = y;
    }
    mOwner->OnMouseDown(lx, ly, &mod);
  }
}

void Session::OnMotion(const xcb_motion_notify_event_t* ev)
{
  if (ev->event != mWindow) return;
  const int x = ev->event_x, y = ev->event_y;
  mPrevX = x;
  mPrevY = y;
  mRootX = ev->root_x;
  mRootY = ev->root_y;
  const bool left = (ev->state & XCB_BUTTON_MASK_1) != 0;
  const bool right = (ev->state & XCB_BUTTON_MASK_3) != 0;
  if ((left || right) && mEntry) return;
  const int lx = mOwner->ToLogical(x), ly = mOwner->ToLogical(y);
  if (left || right)
  {
    IMouseMod mod = ModFromState(ev->state, left, right && !left);
    mOwner->OnMouseDrag(lx, ly, &mod);
  }
  else
  {
    IMouseMod mod = ModFromState(ev->state, true, false);
    mOwner->OnMouseOver(lx, ly, &mod);
  }
}

xcb_keysym_t Session::KeySym(xcb_keycode_t code, uint16_t state) const
{
  if (!mKeySyms) return 0;
  const bool shift = (state & XCB_MOD_MASK_SHIFT) != 0;
  xcb_keysym_t sym = xcb_key_symbols_get_keysym(mKeySyms, code, shift ? 1 : 0);
  if (!sym && shift) sym = xcb_key_symbols_get_keysym(mKeySyms, code, 0);
  if ((state & XCB_MOD_MASK_LOCK) && sym >= 'a' && sym <= 'z') sym -= 'a' - 'A';
  return sym;
}

void Session::OnKey(const xcb_key_press_event_t* ev)
{
  const xcb_keysym_t sym = KeySym(ev->detail, ev->state);
  if (mEntry)
  {
    EntryKey(sym, ev->state);
    return;
  }
  const int code = KeyCode(sym);
  if (code >= 0) mOwner->OnKeyDown(mOwner->ToLogical(mPrevX), mOwner->ToLogical(mPrevY), code);
}

} // namespace x11editor

using x11editor::Session;

IGraphicsLinux::IGraphicsLinux(IPlugBase* pPlug, int w, int h, int fps)
    : IGraphics(pPlug, w, h, fps)
{
}

IGraphicsLinux::~IGraphicsLinux()
{
  CloseWindow();
  std::vector<std::unique_ptr<Session>> retired;
  {
    std::lock_guard<std::mutex> lock(mLifeMutex);
    retired.swap(mRetired);
  }
  // Each session joins its thread: no host call is in progress once the plug-in is deleted.
  retired.clear();
  EndFileDialog(); // no editor thread polls it any more
}

bool IGraphicsLinux::OnEditorThread() const
{
  return x11editor::tCurrent && x11editor::tCurrent->mOwner == this;
}

void IGraphicsLinux::SetInHostCall(bool inside)
{
  if (OnEditorThread()) x11editor::tCurrent->SetInHostCall(inside);
}

void IGraphicsLinux::ReapRetired()
{
  // Every stopped session but the calling thread's own is waited for and joined, outside the
  // lock; one whose thread is inside a host call stays retired.
  std::vector<std::unique_ptr<Session>> waiting, done;
  {
    std::lock_guard<std::mutex> lock(mLifeMutex);
    for (size_t i = 0; i < mRetired.size();)
    {
      if (!mRetired[i]->IsEditorThread())
      {
        waiting.push_back(std::move(mRetired[i]));
        mRetired.erase(mRetired.begin() + (long)i);
      }
      else
        ++i;
    }
  }
  for (std::unique_ptr<Session>& s : waiting)
  {
    if (s->WaitEnded())
      done.push_back(std::move(s));
    else
    {
      std::lock_guard<std::mutex> lock(mLifeMutex);
      mRetired.push_back(std::move(s));
    }
  }
  done.clear(); // joins
}

void* IGraphicsLinux::OpenWindow(void* pParentWnd)
{
  CloseWindow();
  const auto parent = (uint32_t)(uintptr_t)pParentWnd;
  if (!parent) return nullptr;
  const int scale = ResolveScale();
  mServerScale.store(-1); // asked again for the next editor
  if (!GetDrawBitmap()) PrepDraw();
  SetScale(scale);
  TakeAcceptedScale(); // a host's late answer for the last window is not this one's
  auto s = std::make_unique<Session>(this);
  if (!s->Open(parent)) return nullptr;
  const uint32_t id = s->mOwnerID;
  mWindowID.store(id);
  s->Start();
  {
    std::lock_guard<std::mutex> lock(mLifeMutex);
    mSession = std::move(s);
  }
  return (void*)(uintptr_t)id;
}

void IGraphicsLinux::CloseWindow()
{
  std::unique_ptr<Session> s;
  {
    std::lock_guard<std::mutex> lock(mLifeMutex);
    s = std::move(mSession);
  }
  if (s)
  {
    mWindowID.store(0);
    s->RequestStop();
    std::lock_guard<std::mutex> lock(mLifeMutex);
    mRetired.push_back(std::move(s));
  }
  // Joins it, unless this is its own thread (closed from inside a host callback) or it is
  // inside a host call: then it ends by itself and is joined later.
  ReapRetired();
}

void* IGraphicsLinux::GetWindow()
{
  return (void*)(uintptr_t)mWindowID.load();
}

bool IGraphicsLinux::DrawScreen(IRECT* pR)
{
  Session* s = x11editor::tCurrent;
  if (!pR || !s || s->mOwner != this || !s->mConn) return false;
  return s->Present(ToPhysical(*pR));
}

void IGraphicsLinux::ForceEndUserEdit()
{
  if (OnEditorThread())
  {
    x11editor::tCurrent->CloseEntry(false);
    return;
  }
  std::lock_guard<std::mutex> lock(mLifeMutex);
  if (mSession)
  {
    mSession->mEndEntryRequest.store(true);
    mSession->RequestWake();
  }
}

void IGraphicsLinux::CreateTextEntry(IControl* pControl, IText* pText, IRECT* pR, const char* str,
                                     IParam* pParam)
{
  if (!OnEditorThread() || !pControl || !pR) return;
  x11editor::tCurrent->OpenEntry(pControl, pText, ToPhysical(*pR), str, pParam);
}

IPopupMenu* IGraphicsLinux::CreateIPopupMenu(IPopupMenu* pMenu, IRECT* pR)
{
  ClearCapture(); // the menu takes the mouse; its answer lands inside the gesture
  if (!OnEditorThread() || !pMenu || !pR) return nullptr;
  return x11editor::tCurrent->RunMenu(pMenu, ToPhysical(*pR));
}

int IGraphicsLinux::PlatformScale()
{
  if (const int env = editor_scale::ParseScaleText(std::getenv("TORVA_SCALE"))) return env;
  // The server is asked once per editor opening, not on each of a host's size queries.
  int server = mServerScale.load();
  if (server < 0)
  {
    server = editor_scale::QueryServerScale();
    mServerScale.store(server);
  }
  return server;
}

int IGraphicsLinux::StoredUserScale()
{
  return editor_scale::ReadStoredScale(editor_scale::SettingsPath());
}

void IGraphicsLinux::StoreUserScale(int scale)
{
  editor_scale::WriteStoredScale(editor_scale::SettingsPath(), scale);
}

void IGraphicsLinux::WakeEditor()
{
  std::lock_guard<std::mutex> lock(mLifeMutex);
  if (mSession) mSession->RequestWake();
}
