// Showing a VST 2 plug-in's editor the way a Linux host does, for `torva editor`.
//
//   effVendorSpecific       'PreS' / 'AeCs' with the scale factor, when a scale is given
//   effEditGetRect          the editor's size
//   top-level window        of that size, on the host's own XCB connection; titled with the
//                           effect name, fixed size, closed through WM_DELETE_WINDOW
//   effEditOpen             the window's id as ptr; the plug-in embeds its own child window
//   effEditIdle             30 times a second from the host's loop, until the window is closed,
//                           SIGINT or SIGTERM arrives, or the picture has been taken
//   audioMasterSizeWindow   resizes the window (the user chose another size in the editor)
//   effEditClose            before the window is destroyed
//
// Several plug-ins get a window each, idled in turn from the same loop.
//
// A picture is read back from the server (the top-level window's contents, the plug-in's child
// window included) and written as an RGB PNG.

#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class VstHost;

struct EditorOptions
{
  std::string mPngPath;       // empty: stay open until closed
  double mAfterSeconds = 1.0; // idling time before the picture, counted from the window's mapping
  int mScale = 0;             // percent, asked the way Linux hosts ask ('PreS'); 0: not asked
};

// Runs an editor session on loaded and opened plug-ins, a window each, until the last window
// is closed (a picture is of the first). Plug-ins without an editor are passed over with a
// warning when there are several. Returns false with a one-line error (no display, no editor,
// effEditOpen failed, the picture could not be taken or written).
bool RunEditors(const std::vector<VstHost*>& hosts, const EditorOptions& options,
                std::string& error);

// How a 32-bit Z-pixmap's words are laid out: byte order and the visual's channel masks.
struct PixelLayout
{
  bool mMsbFirst = false;
  uint32_t mRed = 0xFF0000;
  uint32_t mGreen = 0x00FF00;
  uint32_t mBlue = 0x0000FF;
};

// Packs width x height pixels of 32 bits (rows `stride` bytes apart) into 8-bit RGB triples.
// False when the data is too short or a mask is empty.
bool PixelsToRgb(const uint8_t* data, size_t length, int width, int height, size_t stride,
                 const PixelLayout& layout, std::vector<uint8_t>& rgb);

// Writes packed RGB rows as an 8-bit RGB PNG; false with a one-line error (no file left).
bool WriteRgbPng(const std::string& path, int width, int height, const std::vector<uint8_t>& rgb,
                 std::string& error);
