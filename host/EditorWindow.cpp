#include "host/EditorWindow.h"

#include "host/StopSignals.h"
#include "host/VstHost.h"

#include <png.h>
#include <poll.h>
#include <xcb/xcb.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <chrono>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace
{
using Clock = std::chrono::steady_clock;

constexpr auto kIdleInterval = std::chrono::microseconds(1000000 / 30);
constexpr auto kMapTimeout = std::chrono::seconds(10); // a window manager may be slow to map
constexpr int kMaxSide = 16384;
// The editor scale request some Linux hosts send: index 'PreS', value 'AeCs', factor in opt.
constexpr VstInt32 kHostScaleRequest = 0x50726553;
constexpr VstIntPtr kHostScaleValue = 0x41654373;

struct Size
{
  int mWidth = 0;
  int mHeight = 0;
  bool Valid() const
  {
    return mWidth > 0 && mHeight > 0 && mWidth <= kMaxSide && mHeight <= kMaxSide;
  }
  bool operator==(const Size&) const = default;
};

// effEditGetRect; an empty size when the plug-in gives none (some only know it once open).
Size EditorSize(VstHost& host)
{
  ERect* rect = nullptr;
  host.Dispatch(effEditGetRect, 0, 0, &rect);
  if (!rect) return {};
  Size s{rect->right - rect->left, rect->bottom - rect->top};
  return s.Valid() ? s : Size{};
}

class Window
{
public:
  ~Window()
  {
    if (!mConn) return;
    if (mWindow) xcb_destroy_window(mConn, mWindow);
    xcb_disconnect(mConn);
  }

  bool Connect(std::string& error)
  {
    const char* name = std::getenv("DISPLAY");
    if (!name || !*name)
    {
      error = "cannot open the display (DISPLAY is not set)";
      return false;
    }
    int screenNumber = 0;
    mConn = xcb_connect(name, &screenNumber);
    if (xcb_connection_has_error(mConn))
    {
      error = std::string("cannot open the display ") + name;
      return false;
    }
    xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(mConn));
    for (int i = 0; i < screenNumber && it.rem; ++i) xcb_screen_next(&it);
    mScreen = it.rem ? it.data : nullptr;
    if (!mScreen)
    {
      error = std::string("cannot open the display ") + name + " (no such screen)";
      return false;
    }
    return true;
  }

  void Create(Size size, const std::string& title)
  {
    mSize = size;
    mWindow = xcb_generate_id(mConn);
    const uint32_t values[] = {mScreen->black_pixel, XCB_EVENT_MASK_STRUCTURE_NOTIFY};
    xcb_create_window(mConn, XCB_COPY_FROM_PARENT, mWindow, mScreen->root, 0, 0,
                      uint16_t(size.mWidth), uint16_t(size.mHeight), 0,
                      XCB_WINDOW_CLASS_INPUT_OUTPUT, mScreen->root_visual,
                      XCB_CW_BACK_PIXEL | XCB_CW_EVENT_MASK, values);
    mProtocols = Atom("WM_PROTOCOLS");
    mDeleteWindow = Atom("WM_DELETE_WINDOW");
    xcb_change_property(mConn, XCB_PROP_MODE_REPLACE, mWindow, mProtocols, XCB_ATOM_ATOM, 32, 1,
                        &mDeleteWindow);
    xcb_change_property(mConn, XCB_PROP_MODE_REPLACE, mWindow, XCB_ATOM_WM_NAME, XCB_ATOM_STRING, 8,
                        uint32_t(title.size()), title.data());
    xcb_change_property(mConn, XCB_PROP_MODE_REPLACE, mWindow, Atom("_NET_WM_NAME"),
                        Atom("UTF8_STRING"), 8, uint32_t(title.size()), title.data());
    static const char kClass[] = "torva\0Torva"; // instance and class, each NUL-ended
    xcb_change_property(mConn, XCB_PROP_MODE_REPLACE, mWindow, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING,
                        8, sizeof kClass, kClass);
    SetSizeHints();
    Sync();
  }

  // The editor asked for another size once open.
  void Resize(Size size)
  {
    mSize = size;
    const uint32_t values[] = {uint32_t(size.mWidth), uint32_t(size.mHeight)};
    xcb_configure_window(mConn, mWindow, XCB_CONFIG_WINDOW_WIDTH | XCB_CONFIG_WINDOW_HEIGHT,
                         values);
    SetSizeHints();
    Sync();
  }

  void Map()
  {
    xcb_map_window(mConn, mWindow);
    xcb_flush(mConn);
  }

  // Whether anything, the plug-in's window above all, sits inside ours.
  bool HasChildren()
  {
    xcb_query_tree_reply_t* tree =
        xcb_query_tree_reply(mConn, xcb_query_tree(mConn, mWindow), nullptr);
    const bool any = tree && tree->children_len > 0;
    std::free(tree);
    return any;
  }

  // Handles what has arrived; false once the window is to close.
  bool Pump()
  {
    bool open = true;
    while (xcb_generic_event_t* event = xcb_poll_for_event(mConn))
    {
      switch (event->response_type & 0x7F)
      {
      case XCB_MAP_NOTIFY:
        if (reinterpret_cast<xcb_map_notify_event_t*>(event)->window == mWindow && !mMapped)
        {
          mMapped = true;
          mMappedAt = Clock::now();
        }
        break;
      case XCB_DESTROY_NOTIFY:
        if (reinterpret_cast<xcb_destroy_notify_event_t*>(event)->window == mWindow)
        {
          mWindow = 0; // destroyed by someone else
          open = false;
        }
        break;
      case XCB_CLIENT_MESSAGE:
      {
        const auto* message = reinterpret_cast<xcb_client_message_event_t*>(event);
        if (message->type == mProtocols && message->format == 32 &&
            message->data.data32[0] == mDeleteWindow)
          open = false;
        break;
      }
      default:
        break;
      }
      std::free(event);
    }
    return open;
  }

  bool Broken() const { return xcb_connection_has_error(mConn) != 0; }
  int Descriptor() const { return xcb_get_file_descriptor(mConn); }
  void Flush() { xcb_flush(mConn); }
  bool Mapped() const { return mMapped; }
  Clock::time_point MappedAt() const { return mMappedAt; }
  xcb_window_t Id() const { return mWindow; }
  Size CurrentSize() const { return mSize; }

  // The window's contents as packed RGB.
  bool Capture(std::vector<uint8_t>& rgb, std::string& error)
  {
    // The server only gives pictures of windows that lie wholly on the screen.
    if (mSize.mWidth > mScreen->width_in_pixels || mSize.mHeight > mScreen->height_in_pixels)
    {
      error = "the editor (" + std::to_string(mSize.mWidth) + "x" + std::to_string(mSize.mHeight) +
              ") does not fit on the " + std::to_string(mScreen->width_in_pixels) + "x" +
              std::to_string(mScreen->height_in_pixels) + " screen, so it cannot be pictured";
      return false;
    }
    xcb_generic_error_t* xerror = nullptr;
    xcb_get_image_reply_t* image =
        xcb_get_image_reply(mConn,
                            xcb_get_image(mConn, XCB_IMAGE_FORMAT_Z_PIXMAP, mWindow, 0, 0,
                                          uint16_t(mSize.mWidth), uint16_t(mSize.mHeight), ~0u),
                            &xerror);
    if (!image)
    {
      // BadMatch: a window manager placed it partly off the screen.
      error = "cannot read the editor window's picture (X error " +
              std::to_string(xerror ? xerror->error_code : 0) +
              (xerror && xerror->error_code == XCB_MATCH ? ": not wholly on the screen)" : ")");
      std::free(xerror);
      return false;
    }
    const xcb_setup_t* setup = xcb_get_setup(mConn);
    const xcb_format_t* format = nullptr;
    for (xcb_format_iterator_t it = xcb_setup_pixmap_formats_iterator(setup); it.rem;
         xcb_format_next(&it))
      if (it.data->depth == image->depth) format = it.data;
    PixelLayout layout;
    layout.mMsbFirst = setup->image_byte_order == XCB_IMAGE_ORDER_MSB_FIRST;
    if (const xcb_visualtype_t* visual = Visual(
            image->visual != XCB_NONE ? xcb_visualid_t(image->visual) : mScreen->root_visual))
    {
      layout.mRed = visual->red_mask;
      layout.mGreen = visual->green_mask;
      layout.mBlue = visual->blue_mask;
    }
    bool ok = format && format->bits_per_pixel == 32;
    if (!ok)
      error = "pictures need a display of 24 or 32 bits per pixel; this one has depth " +
              std::to_string(image->depth);
    else
    {
      const size_t pad = format->scanline_pad ? format->scanline_pad : 32;
      const size_t stride = (size_t(mSize.mWidth) * 32 + pad - 1) / pad * pad / 8;
      ok = PixelsToRgb(xcb_get_image_data(image), size_t(xcb_get_image_data_length(image)),
                       mSize.mWidth, mSize.mHeight, stride, layout, rgb);
      if (!ok) error = "the editor window's picture came back incomplete";
    }
    std::free(image);
    return ok;
  }

private:
  xcb_atom_t Atom(const char* name)
  {
    xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(
        mConn, xcb_intern_atom(mConn, 0, uint16_t(std::strlen(name)), name), nullptr);
    const xcb_atom_t atom = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    std::free(reply);
    return atom;
  }

  // Fixed size: the editor draws for exactly the size it asked for.
  void SetSizeHints()
  {
    constexpr uint32_t kMinSize = 1u << 4, kMaxSize = 1u << 5;
    uint32_t hints[18] = {};
    hints[0] = kMinSize | kMaxSize;
    hints[5] = hints[7] = uint32_t(mSize.mWidth);
    hints[6] = hints[8] = uint32_t(mSize.mHeight);
    xcb_change_property(mConn, XCB_PROP_MODE_REPLACE, mWindow, XCB_ATOM_WM_NORMAL_HINTS,
                        XCB_ATOM_WM_SIZE_HINTS, 32, 18, hints);
  }

  const xcb_visualtype_t* Visual(xcb_visualid_t id) const
  {
    for (xcb_depth_iterator_t d = xcb_screen_allowed_depths_iterator(mScreen); d.rem;
         xcb_depth_next(&d))
      for (xcb_visualtype_iterator_t v = xcb_depth_visuals_iterator(d.data); v.rem;
           xcb_visualtype_next(&v))
        if (v.data->visual_id == id) return v.data;
    return nullptr;
  }

  void Sync() { std::free(xcb_get_input_focus_reply(mConn, xcb_get_input_focus(mConn), nullptr)); }

  xcb_connection_t* mConn = nullptr;
  xcb_screen_t* mScreen = nullptr;
  xcb_window_t mWindow = 0;
  xcb_atom_t mProtocols = XCB_ATOM_NONE;
  xcb_atom_t mDeleteWindow = XCB_ATOM_NONE;
  Size mSize;
  bool mMapped = false;
  Clock::time_point mMappedAt;
};

uint8_t Channel(uint32_t word, uint32_t mask)
{
  const int shift = std::countr_zero(mask);
  const int bits = std::popcount(mask);
  const uint32_t v = (word & mask) >> shift;
  if (bits >= 8) return uint8_t(v >> (bits - 8));
  const uint32_t top = (1u << bits) - 1;
  return uint8_t((v * 255 + top / 2) / top);
}

// An editor open in a window of its own.
struct Editor
{
  VstHost* mHost = nullptr;
  std::unique_ptr<Window> mWindow;
  bool mOpen = false;
};

// Opens the editor of `editor.mHost` in a new window; false with a one-line error.
bool OpenEditor(Editor& editor, const EditorOptions& options, std::string& error)
{
  VstHost& host = *editor.mHost;
  if (!(host.Effect()->flags & effFlagsHasEditor))
  {
    error = host.Path() + " has no editor";
    return false;
  }
  editor.mWindow = std::make_unique<Window>();
  Window& window = *editor.mWindow;
  if (!window.Connect(error)) return false;
  if (options.mScale > 0)
    host.Dispatch(effVendorSpecific, kHostScaleRequest, kHostScaleValue, nullptr,
                  float(options.mScale) / 100.0f);
  Size size = EditorSize(host);
  const Size asked = size;
  if (!size.Valid()) size = {640, 480}; // asked again once the editor is open
  std::string title = host.EffectName();
  if (title.empty()) title = host.Path().substr(host.Path().find_last_of('/') + 1);
  window.Create(size, title);

  const VstIntPtr opened =
      host.Dispatch(effEditOpen, 0, 0, reinterpret_cast<void*>(uintptr_t(window.Id())));
  // Not all plug-ins answer 1 when they succeed; one that put a window into ours has opened.
  if (!opened && !window.HasChildren())
  {
    error = host.Path() + " could not open its editor";
    return false;
  }
  editor.mOpen = true;
  const Size now = EditorSize(host);
  if (now.Valid() && !(now == size))
    window.Resize(now);
  else if (!asked.Valid() && !now.Valid())
    std::fprintf(stderr, "torva: warning: the editor gives no size; the window is %dx%d\n",
                 size.mWidth, size.mHeight);
  window.Map();
  host.SetSizeWindowHandler(
      [&window](int w, int h)
      {
        if (w <= 0 || h <= 0 || w > kMaxSide || h > kMaxSide) return false;
        window.Resize({w, h});
        return true;
      });
  return true;
}

// effEditClose, then the window goes.
void CloseEditor(Editor& editor)
{
  if (editor.mOpen)
  {
    editor.mHost->Dispatch(effEditClose);
    editor.mHost->SetSizeWindowHandler(nullptr);
    editor.mOpen = false;
  }
  editor.mWindow.reset();
}

// Idles every open editor until the last window closes, a stop signal arrives or the picture
// of the first one is taken; a window closed by the user closes its editor meanwhile.
bool Loop(std::vector<Editor>& editors, const EditorOptions& options, std::vector<uint8_t>& rgb,
          Size& pictureSize, std::string& error)
{
  const bool picture = !options.mPngPath.empty();
  const auto wait = std::chrono::duration_cast<Clock::duration>(
      std::chrono::duration<double>(options.mAfterSeconds));
  const auto started = Clock::now();
  auto nextIdle = started;
  std::vector<pollfd> fds;
  for (;;)
  {
    if (StopSignals::Requested()) return true;
    fds.clear();
    for (Editor& editor : editors)
    {
      if (editor.mOpen && !editor.mWindow->Pump()) CloseEditor(editor);
      if (!editor.mOpen) continue;
      if (editor.mWindow->Broken())
      {
        error = "lost the connection to the display";
        return false;
      }
      fds.push_back({editor.mWindow->Descriptor(), POLLIN, 0});
    }
    if (fds.empty()) return true;
    auto now = Clock::now();
    if (now >= nextIdle)
    {
      for (Editor& editor : editors)
        if (editor.mOpen)
        {
          editor.mHost->Dispatch(effEditIdle);
          editor.mWindow->Flush();
        }
      nextIdle += kIdleInterval;
      now = Clock::now();
      if (nextIdle < now) nextIdle = now + kIdleInterval; // a slow idle does not pile up calls
    }
    Window* first = editors.front().mOpen ? editors.front().mWindow.get() : nullptr;
    const bool shown = first && first->Mapped();
    if (picture && shown && now >= first->MappedAt() + wait)
    {
      pictureSize = first->CurrentSize();
      return first->Capture(rgb, error);
    }
    if (picture && !shown && now >= started + kMapTimeout)
    {
      error = "the editor window was never shown";
      return false;
    }
    auto until = nextIdle;
    if (picture && shown) until = std::min(until, first->MappedAt() + wait);
    // Rounded up, so that the wait never ends just before the next tick.
    const auto ms = std::chrono::ceil<std::chrono::milliseconds>(until - now).count();
    poll(fds.data(), nfds_t(fds.size()), int(std::max<long long>(ms, 0)));
  }
}

// libpng reports failures by longjmp; nothing here lives across it.
bool Encode(png_structp png, png_infop info, std::FILE* file, int width, int height,
            const png_const_bytep* rows)
{
  if (setjmp(png_jmpbuf(png))) return false;
  png_init_io(png, file);
  png_set_IHDR(png, info, png_uint_32(width), png_uint_32(height), 8, PNG_COLOR_TYPE_RGB,
               PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  png_write_rows(png, const_cast<png_bytepp>(rows), png_uint_32(height));
  png_write_end(png, nullptr);
  return true;
}
} // namespace

bool PixelsToRgb(const uint8_t* data, size_t length, int width, int height, size_t stride,
                 const PixelLayout& layout, std::vector<uint8_t>& rgb)
{
  if (width <= 0 || height <= 0 || stride < size_t(width) * 4 || !layout.mRed || !layout.mGreen ||
      !layout.mBlue || length < stride * size_t(height - 1) + size_t(width) * 4)
    return false;
  rgb.resize(size_t(width) * size_t(height) * 3);
  uint8_t* out = rgb.data();
  for (int y = 0; y < height; ++y)
  {
    const uint8_t* p = data + stride * size_t(y);
    for (int x = 0; x < width; ++x, p += 4)
    {
      const uint32_t word =
          layout.mMsbFirst
              ? uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3]
              : uint32_t(p[3]) << 24 | uint32_t(p[2]) << 16 | uint32_t(p[1]) << 8 | p[0];
      *out++ = Channel(word, layout.mRed);
      *out++ = Channel(word, layout.mGreen);
      *out++ = Channel(word, layout.mBlue);
    }
  }
  return true;
}

bool WriteRgbPng(const std::string& path, int width, int height, const std::vector<uint8_t>& rgb,
                 std::string& error)
{
  if (width <= 0 || height <= 0 || rgb.size() < size_t(width) * size_t(height) * 3)
  {
    error = "no picture to write to " + path;
    return false;
  }
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (!file)
  {
    error = "cannot write " + path + ": " + std::strerror(errno);
    return false;
  }
  std::vector<png_const_bytep> rows(static_cast<size_t>(height));
  for (int y = 0; y < height; ++y) rows[size_t(y)] = rgb.data() + size_t(y) * size_t(width) * 3;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  bool ok = png && info && Encode(png, info, file, width, height, rows.data());
  png_destroy_write_struct(&png, &info);
  ok = std::fclose(file) == 0 && ok;
  if (!ok)
  {
    std::remove(path.c_str());
    error = "cannot write " + path;
  }
  return ok;
}

bool RunEditors(const std::vector<VstHost*>& hosts, const EditorOptions& options,
                std::string& error)
{
  std::vector<Editor> editors;
  for (VstHost* host : hosts)
    if (hosts.size() == 1 || (host->Effect()->flags & effFlagsHasEditor))
      editors.push_back({host, nullptr, false});
    else
      std::fprintf(stderr, "torva: warning: %s has no editor\n", host->Path().c_str());
  if (editors.empty())
  {
    error = "none of the plug-ins has an editor";
    return false;
  }
  const StopSignals signals;
  std::vector<uint8_t> rgb;
  Size pictureSize;
  bool ok = true;
  for (Editor& editor : editors) ok = ok && OpenEditor(editor, options, error);
  if (ok) ok = Loop(editors, options, rgb, pictureSize, error);
  for (Editor& editor : editors) CloseEditor(editor);
  if (ok && !options.mPngPath.empty())
  {
    if (rgb.empty())
    {
      error = "the editor was closed before its picture was taken";
      return false;
    }
    ok = WriteRgbPng(options.mPngPath, pictureSize.mWidth, pictureSize.mHeight, rgb, error);
  }
  return ok;
}
