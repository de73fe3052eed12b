#include "support/locale.h"

#include <unistd.h>

#include <clocale>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

namespace torva_test
{
namespace fs = std::filesystem;

bool UseCommaLocale()
{
  for (char const* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "nl_NL.UTF-8"})
    if (std::setlocale(LC_ALL, name)) return true;

  // Compiled once per machine. Test programs run in parallel, so each compiles into a folder of
  // its own and renames the result into place; the loser of that race uses the winner's.
  fs::path const dir = fs::temp_directory_path() / "torva-test-locales";
  fs::path const target = dir / "de_DE.UTF-8";
  std::error_code ec;
  if (!fs::exists(target, ec))
  {
    fs::path const mine = dir / ("building-" + std::to_string(getpid()));
    fs::create_directories(mine, ec);
    std::string const cmd =
        "localedef -i de_DE -f UTF-8 '" + (mine / "de_DE.UTF-8").string() + "' >/dev/null 2>&1";
    if (std::system(cmd.c_str()) == 0) fs::rename(mine / "de_DE.UTF-8", target, ec);
    fs::remove_all(mine, ec);
    if (!fs::exists(target, ec)) return false;
  }
  setenv("LOCPATH", dir.c_str(), 1);
  return std::setlocale(LC_ALL, "de_DE.UTF-8") != nullptr;
}

void RestoreCLocale()
{
  std::setlocale(LC_ALL, "C");
  unsetenv("LOCPATH");
}
} // namespace torva_test
