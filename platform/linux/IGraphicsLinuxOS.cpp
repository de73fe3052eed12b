// The X11 editor host's optional services: images, paths, clipboard, cursor, URLs, message
// boxes, the file dialog.

#include <dlfcn.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "platform/linux/EmbeddedImages.h"
#include "platform/linux/IGraphicsLinux.h"
#include "platform/linux/IGraphicsLinuxSession.h"
#include "raster/lice_png.h"

namespace
{
std::mutex sFolderMutex;
std::string sImageFolder;

// An address inside this module, for dladdr.
void ModuleAnchor() {}

std::string ModuleFile()
{
  Dl_info info{};
  if (!dladdr((void*)&ModuleAnchor, &info) || !info.dli_fname) return {};
  char resolved[PATH_MAX];
  if (realpath(info.dli_fname, resolved)) return resolved;
  return info.dli_fname;
}

std::string DirOf(const std::string& path)
{
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

bool IsDir(const std::string& path)
{
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string Home()
{
  const char* home = std::getenv("HOME");
  return home && *home ? home : "";
}

// A user directory from user-dirs.dirs ("DESKTOP", "MUSIC"), else $HOME/fallback; "" without
// a home.
std::string XdgUserDir(const char* key, const char* fallback)
{
  const std::string home = Home();
  if (home.empty()) return {};
  const char* config = std::getenv("XDG_CONFIG_HOME");
  const std::string file =
      (config && *config ? std::string(config) : home + "/.config") + "/user-dirs.dirs";
  std::ifstream in(file);
  const std::string prefix = std::string("XDG_") + key + "_DIR=\"";
  for (std::string line; std::getline(in, line);)
  {
    if (line.compare(0, prefix.size(), prefix) != 0) continue;
    std::string value = line.substr(prefix.size());
    const size_t quote = value.find('"');
    if (quote != std::string::npos) value.resize(quote);
    if (value.compare(0, 5, "$HOME") == 0) value = home + value.substr(5);
    if (!value.empty() && value[0] == '/') return value;
  }
  return home + "/" + fallback;
}

// The full path of a program found in PATH, "" when none.
std::string FindProgram(const char* name)
{
  const char* path = std::getenv("PATH");
  std::string dirs = path ? path : "/usr/local/bin:/usr/bin:/bin";
  size_t start = 0;
  while (start <= dirs.size())
  {
    size_t end = dirs.find(':', start);
    if (end == std::string::npos) end = dirs.size();
    const std::string dir = dirs.substr(start, end - start);
    const std::string candidate = (dir.empty() ? "." : dir) + "/" + name;
    if (access(candidate.c_str(), X_OK) == 0) return candidate;
    start = end + 1;
  }
  return {};
}

// The dialog program's command line that opens a file matching patterns in folder; empty when
// neither zenity nor kdialog is installed.
std::vector<std::string> DialogCommand(const char* title, const char* folder, const char* patterns)
{
  const std::string start = std::string(folder) + "/";
  if (std::string zenity = FindProgram("zenity"); !zenity.empty())
    return {zenity, "--file-selection", std::string("--title=") + title, "--filename=" + start,
            std::string("--file-filter=") + patterns + " | " + patterns};
  if (std::string kdialog = FindProgram("kdialog"); !kdialog.empty())
    return {kdialog, "--title", title, "--getopenfilename", start, patterns};
  return {};
}

bool EndsWithPng(const char* name)
{
  const char* dot = std::strrchr(name, '.');
  return dot && strcasecmp(dot + 1, "png") == 0;
}
} // namespace

namespace x11editor
{
xcb_atom_t Session::Atom(const char* name)
{
  if (!mConn) return XCB_NONE;
  xcb_intern_atom_reply_t* r = xcb_intern_atom_reply(
      mConn, xcb_intern_atom(mConn, 0, (uint16_t)std::strlen(name), name), nullptr);
  const xcb_atom_t atom = r ? r->atom : XCB_NONE;
  free(r);
  return atom;
}

bool Session::ReadClipboard(std::string* pOut)
{
  pOut->clear();
  if (!mConn || !mWindow) return false;
  const xcb_atom_t clipboard = Atom("CLIPBOARD"), utf8 = Atom("UTF8_STRING"),
                   property = Atom("TORVA_CLIPBOARD");
  if (!clipboard || !utf8 || !property) return false;
  xcb_get_selection_owner_reply_t* owner =
      xcb_get_selection_owner_reply(mConn, xcb_get_selection_owner(mConn, clipboard), nullptr);
  const bool hasOwner = owner && owner->owner != XCB_NONE;
  free(owner);
  if (!hasOwner) return false;
  xcb_convert_selection(mConn, mWindow, clipboard, utf8, property, XCB_CURRENT_TIME);
  xcb_flush(mConn);

  // The owner answers with a SelectionNotify; other events wait for the loop.
  const int64_t deadline = NowMs() + 500;
  bool answered = false, converted = false;
  while (!answered && !xcb_connection_has_error(mConn))
  {
    while (xcb_generic_event_t* ev = xcb_poll_for_event(mConn))
    {
      if ((ev->response_type & 0x7f) == XCB_SELECTION_NOTIFY &&
          reinterpret_cast<xcb_selection_notify_event_t*>(ev)->requestor == mWindow)
      {
        answered = true;
        converted = reinterpret_cast<xcb_selection_notify_event_t*>(ev)->property != XCB_NONE;
        free(ev);
        break;
      }
      mDeferred.push_back(ev);
    }
    const int64_t left = deadline - NowMs();
    if (answered || left <= 0) break;
    pollfd fd = {xcb_get_file_descriptor(mConn), POLLIN, 0};
    poll(&fd, 1, (int)left);
  }
  if (!converted) return false;
  xcb_get_property_reply_t* prop = xcb_get_property_reply(
      mConn, xcb_get_property(mConn, 1, mWindow, property, XCB_GET_PROPERTY_TYPE_ANY, 0, 1 << 20),
      nullptr);
  if (!prop) return false;
  const bool text = prop->format == 8 && prop->type != Atom("INCR");
  if (text)
    pOut->assign(static_cast<const char*>(xcb_get_property_value(prop)),
                 (size_t)xcb_get_property_value_length(prop));
  free(prop);
  return text;
}
} // namespace x11editor

bool IGraphicsLinux::GetTextFromClipboard(WDL_String* pStr)
{
  std::string text;
  const bool ok = OnEditorThread() && x11editor::tCurrentSession()->ReadClipboard(&text);
  if (pStr) pStr->Set(ok ? text.c_str() : "");
  return ok;
}

void IGraphicsLinux::HideMouseCursor()
{
  x11editor::Session* s = OnEditorThread() ? x11editor::tCurrentSession() : nullptr;
  if (mCursorHidden || !s || !s->mConn || !s->mWindow) return;
  xcb_connection_t* c = s->mConn;
  // Where the event being handled happened (the pointer may have moved on since).
  mHiddenMousePointX = s->mRootX;
  mHiddenMousePointY = s->mRootY;
  if (s->mRootX < 0)
    if (xcb_query_pointer_reply_t* p =
            xcb_query_pointer_reply(c, xcb_query_pointer(c, s->mWindow), nullptr))
    {
      mHiddenMousePointX = p->root_x;
      mHiddenMousePointY = p->root_y;
      free(p);
    }
  if (!s->mBlankCursor)
  {
    const xcb_pixmap_t pix = xcb_generate_id(c);
    xcb_create_pixmap(c, 1, pix, s->mWindow, 1, 1);
    s->mBlankCursor = xcb_generate_id(c);
    xcb_create_cursor(c, s->mBlankCursor, pix, pix, 0, 0, 0, 0, 0, 0, 0, 0);
    xcb_free_pixmap(c, pix);
  }
  xcb_change_window_attributes(c, s->mWindow, XCB_CW_CURSOR, &s->mBlankCursor);
  xcb_flush(c);
  mCursorHidden = true;
}

void IGraphicsLinux::ShowMouseCursor()
{
  x11editor::Session* s = OnEditorThread() ? x11editor::tCurrentSession() : nullptr;
  if (!mCursorHidden) return;
  mCursorHidden = false;
  if (!s || !s->mConn || !s->mWindow) return;
  const uint32_t none = XCB_NONE;
  xcb_change_window_attributes(s->mConn, s->mWindow, XCB_CW_CURSOR, &none);
  xcb_warp_pointer(s->mConn, XCB_NONE, s->mScreen->root, 0, 0, 0, 0, (int16_t)mHiddenMousePointX,
                   (int16_t)mHiddenMousePointY);
  xcb_flush(s->mConn);
}

int IGraphicsLinux::ShowMessageBox(const char* text, const char* caption, int)
{
  // No dialog of our own: the message goes to the diagnostics stream, nothing was pressed.
  std::fprintf(stderr, "%s: %s\n", caption ? caption : "", text ? text : "");
  return 0;
}

bool IGraphicsLinux::OpenURL(const char* url, const char*, const char*, const char*)
{
  if (!url || !*url) return false;
  const std::string program = FindProgram("xdg-open");
  if (program.empty()) return false;
  // Prepared before fork: the child only calls async-signal-safe functions.
  std::string arg = url;
  char* argv[] = {const_cast<char*>(program.c_str()), arg.data(), nullptr};
  const pid_t child = fork();
  if (child < 0) return false;
  if (child == 0)
  {
    // A grandchild runs the program, so that nobody has to reap it.
    if (fork() == 0)
    {
      for (int fd = 3; fd < 1024; ++fd) close(fd);
      execv(argv[0], argv);
      _exit(127);
    }
    _exit(0);
  }
  int status = 0;
  while (waitpid(child, &status, 0) < 0 && errno == EINTR)
  {
  }
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

void IGraphicsLinux::HostPath(WDL_String* pPath)
{
  char buf[PATH_MAX];
  const ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (!pPath || n <= 0) return;
  buf[n] = '\0';
  pPath->Set(buf);
}

void IGraphicsLinux::PluginPath(WDL_String* pPath)
{
  const std::string dir = DirOf(ModuleFile());
  if (pPath && !dir.empty()) pPath->Set(dir.c_str());
}

void IGraphicsLinux::DesktopPath(WDL_String* pPath)
{
  const std::string dir = XdgUserDir("DESKTOP", "Desktop");
  if (pPath && !dir.empty()) pPath->Set(dir.c_str());
}

void IGraphicsLinux::AppSupportPath(WDL_String* pPath, bool isSystem)
{
  std::string dir;
  if (isSystem)
    dir = "/usr/local/share";
  else if (const char* data = std::getenv("XDG_DATA_HOME"); data && *data == '/')
    dir = data;
  else if (!Home().empty())
    dir = Home() + "/.local/share";
  if (pPath && !dir.empty()) pPath->Set(dir.c_str());
}

void IGraphicsLinux::SandboxSafeAppSupportPath(WDL_String* pPath)
{
  const std::string dir = XdgUserDir("MUSIC", "Music");
  if (pPath && !dir.empty()) pPath->Set(dir.c_str());
}

void IGraphicsLinux::SetImageFolder(const char* folder)
{
  std::lock_guard<std::mutex> lock(sFolderMutex);
  sImageFolder = folder ? folder : "";
}

namespace
{

// The base name of name's file with suffix after it ("resources/img/BG.png" gives "BG").
std::string ImageBase(const char* name, const char* suffix)
{
  if (!name || !EndsWithPng(name)) return "";
  const char* slash = std::strrchr(name, '/');
  std::string base = slash ? slash + 1 : name;
  base.resize(base.rfind('.'));
  return base.empty() ? base : base + suffix;
}

// The override folder beside the plug-in file, when it has one.
std::string OverrideFolder()
{
  std::string folder;
  {
    std::lock_guard<std::mutex> lock(sFolderMutex);
    folder = sImageFolder;
  }
  if (folder.empty())
  {
    const std::string dir = DirOf(ModuleFile());
    if (!dir.empty()) folder = dir + "TORVA.resources/img";
  }
  return !folder.empty() && IsDir(folder) ? folder : "";
}

const torva_images::Image* Embedded(const std::string& base)
{
  for (int i = 0; i < torva_images::kCount; ++i)
    if (base == torva_images::kImages[i].mName) return &torva_images::kImages[i];
  return nullptr;
}

// The image from the override folder when it has one, else embedded.
LICE_IBitmap* LoadNamedImage(const char* name, const char* suffix)
{
  const std::string base = ImageBase(name, suffix);
  if (base.empty()) return nullptr;
  const std::string folder = OverrideFolder();
  if (!folder.empty())
  {
    const std::string path = folder + "/" + base + ".png";
    if (access(path.c_str(), R_OK) == 0)
      if (LICE_IBitmap* bmp = LICE_LoadPNG(path.c_str())) return bmp;
  }
  const torva_images::Image* img = Embedded(base);
  return img ? LICE_LoadPNGFromMemory(img->mData, img->mSize) : nullptr;
}

std::string ScaleSuffix(int scale)
{
  char suffix[16];
  std::snprintf(suffix, sizeof suffix, "@%d", scale);
  return suffix;
}

} // namespace

LICE_IBitmap* IGraphicsLinux::OSLoadBitmap(int, const char* name)
{
  return LoadNamedImage(name, "");
}

// "BG@150" beside "BG".
LICE_IBitmap* IGraphicsLinux::OSLoadBitmapAtScale(int, const char* name, int scale)
{
  return LoadNamedImage(name, ScaleSuffix(scale).c_str());
}

// The embedded bytes (shared by equal files); an override folder's file has no such identity.
const void* IGraphicsLinux::OSImageSource(const char* name, int scale)
{
  const std::string base = ImageBase(name, ScaleSuffix(scale).c_str());
  if (base.empty() || !OverrideFolder().empty()) return nullptr;
  const torva_images::Image* img = Embedded(base);
  return img ? img->mData : nullptr;
}

// ---- File dialog -----------------------------------------------------------------------------

bool IGraphicsLinux::HasFileDialog()
{
  return !FindProgram("zenity").empty() || !FindProgram("kdialog").empty();
}

bool IGraphicsLinux::StartFileDialog(const char* title, const char* folder, const char* patterns)
{
  if (mDialogPid > 0) return false;
  std::vector<std::string> args = DialogCommand(title, folder, patterns);
  int out[2];
  if (args.empty() || pipe2(out, O_CLOEXEC) != 0) return false;
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  // Its answer on a pipe of ours, nothing else of the host's: no input, no descriptor, and its
  // toolkit's complaints not in the host's log.
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addclosefrom_np(&actions, STDERR_FILENO + 1);
  pid_t pid = -1;
  const int failed = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(out[1]);
  if (failed)
  {
    close(out[0]);
    return false;
  }
  fcntl(out[0], F_SETFL, O_NONBLOCK);
  mDialogPid = pid;
  mDialogFD = out[0];
  mDialogOut.clear();
  return true;
}

IGraphicsLinux::EFileDialog IGraphicsLinux::PollFileDialog(std::string* pPath)
{
  if (mDialogPid <= 0) return EFileDialog::kNone;
  char buf[4096];
  ssize_t n;
  while ((n = read(mDialogFD, buf, sizeof buf)) > 0) mDialogOut.append(buf, (size_t)n);
  if (n < 0 && (errno == EAGAIN || errno == EINTR)) return EFileDialog::kOpen;
  // Its output has ended; the answer counts once the program has (a host that reaps every child
  // itself leaves no status: the output says).
  int status = 0;
  const pid_t reaped = waitpid(mDialogPid, &status, WNOHANG);
  if (reaped == 0) return EFileDialog::kOpen;
  const bool succeeded = reaped < 0 || (WIFEXITED(status) && WEXITSTATUS(status) == 0);
  close(mDialogFD);
  mDialogFD = mDialogPid = -1;
  const std::string path = mDialogOut.substr(0, mDialogOut.find('\n'));
  if (!succeeded || path.empty()) return EFileDialog::kCancelled;
  if (pPath) *pPath = path;
  return EFileDialog::kChosen;
}

void IGraphicsLinux::EndFileDialog()
{
  if (mDialogPid <= 0) return;
  kill(mDialogPid, SIGTERM);
  while (waitpid(mDialogPid, nullptr, 0) < 0 && errno == EINTR)
  {
  }
  close(mDialogFD);
  mDialogFD = mDialogPid = -1;
}
