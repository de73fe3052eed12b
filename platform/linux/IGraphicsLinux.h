#pragma once
// The editor's X11 host: IGraphics on an XCB connection of its own, served by one editor
// thread per open window. See IGraphicsLinux.cpp for the manual (threads, presentation,
// lifecycle).

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "graphics/IGraphics.h"

namespace x11editor
{
struct Session;
}

class IGraphicsLinux : public IGraphics
{
public:
  // Touches no X server: scanners construct plug-ins without a display.
  IGraphicsLinux(IPlugBase* pPlug, int w, int h, int fps = 0);
  // Closes an open window first (joins its thread).
  ~IGraphicsLinux() override;

  bool DrawScreen(IRECT* pR) override;
  void ForceEndUserEdit() override;
  const char* GetGUIAPI() override { return "X11 GUI"; }
  int ShowMessageBox(const char* text, const char* caption, int type) override;
  IPopupMenu* CreateIPopupMenu(IPopupMenu* pMenu, IRECT* pR) override;
  void CreateTextEntry(IControl* pControl, IText* pText, IRECT* pR, const char* str,
                       IParam* pParam) override;
  void HostPath(WDL_String* pPath) override;
  void PluginPath(WDL_String* pPath) override;
  void DesktopPath(WDL_String* pPath) override;
  void AppSupportPath(WDL_String* pPath, bool isSystem = false) override;
  void SandboxSafeAppSupportPath(WDL_String* pPath) override;
  bool OpenURL(const char* url, const char* msgWindowTitle = nullptr,
               const char* confirmMsg = nullptr, const char* errMsgOnFailure = nullptr) override;
  // pParentWnd is an X11 Window id. Null (and nothing left open) for a null or unknown parent,
  // an unreachable display or a server whose pixel format is not 32-bit little-endian
  // TrueColor. An open window is closed first.
  void* OpenWindow(void* pParentWnd) override;
  using IGraphics::OpenWindow;
  // Any thread. From a host thread: stops the editor thread and waits for it; on the editor
  // thread itself (a host closing from inside a callback) the thread ends once the callback
  // returns, and is joined by the next open, close or the destructor.
  void CloseWindow() override;
  // The editor's Window id, null while closed or after the window went away by itself (parent
  // destroyed, connection lost).
  void* GetWindow() override;
  bool GetTextFromClipboard(WDL_String* pStr) override;
  void HideMouseCursor() override;
  void ShowMouseCursor() override;
  // Embedded artwork by base name, overridden by TORVA.resources/img/ beside the plug-in file.
  LICE_IBitmap* OSLoadBitmap(int id, const char* name) override;
  // The same with "@150" or "@200" after the base name.
  LICE_IBitmap* OSLoadBitmapAtScale(int id, const char* name, int scale) override;
  const void* OSImageSource(const char* name, int scale) override;

  // Frames presented on screen since construction (tests wait on it).
  int PresentCount() const { return mPresentCount.load(); }
  // True on the thread that serves the open window.
  bool OnEditorThread() const override;
  // Marks the calling editor thread as inside a host call (see IGraphicsLinux.cpp).
  void SetInHostCall(bool inside) override;
  // Menus and text entries currently open (tests wait on them).
  bool IsMenuOpen() const { return mMenuOpen.load(); }
  bool IsTextEntryOpen() const { return mEntryOpen.load(); }

  // Folder searched before the embedded artwork ("" for the default beside the plug-in file).
  static void SetImageFolder(const char* folder);

  // The system's file dialog (zenity, else kdialog) as a program of its own: StartFileDialog
  // returns once it is launched, and the editor goes on while the user chooses; PollFileDialog
  // picks up the answer. Editor thread; the destructor ends a dialog still open.
  enum class EFileDialog
  {
    kNone,   // none started, or its answer taken
    kOpen,   // still open
    kChosen, // *pPath is the file chosen
    kCancelled
  };
  // True when zenity or kdialog is installed. Any thread.
  static bool HasFileDialog();
  // A dialog that opens a file matching patterns ("*.wav *.flac") in folder. False when no dialog
  // program is installed, one is open already or it could not be started.
  bool StartFileDialog(const char* title, const char* folder, const char* patterns);
  EFileDialog PollFileDialog(std::string* pPath);

protected:
  // TORVA_SCALE, else the X server's Xft.dpi over 96.
  int PlatformScale() override;
  // The one-line file in $XDG_CONFIG_HOME/torva/.
  int StoredUserScale() override;
  void StoreUserScale(int scale) override;
  void WakeEditor() override;

private:
  friend struct x11editor::Session;

  // Waits for and joins the stopped sessions whose threads are neither the calling one nor
  // inside a host call.
  void ReapRetired();
  // Closes a file dialog still open and waits for its program to end.
  void EndFileDialog();

  std::mutex mLifeMutex; // guards mSession and mRetired (never held while joining)
  std::unique_ptr<x11editor::Session> mSession;
  std::vector<std::unique_ptr<x11editor::Session>> mRetired;
  std::atomic<uint32_t> mWindowID{0};
  std::atomic<int> mPresentCount{0};
  std::atomic<bool> mMenuOpen{false};
  std::atomic<bool> mEntryOpen{false};
  std::atomic<int> mServerScale{-1}; // the server's answer, -1 until asked
  int mDialogPid = -1;               // the file dialog's process, its output and what came of it
  int mDialogFD = -1;
  std::string mDialogOut;
};
