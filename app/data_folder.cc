#include "app/data_folder.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace ck::app {

std::string UserDataFolder() {
  const char* xdg = std::getenv("XDG_DATA_HOME");
  if (xdg != nullptr && xdg[0] == '/') return std::string(xdg) + "/cellarkey";
  const char* home = std::getenv("HOME");
  if (home != nullptr && home[0] != '\0') return std::string(home) + "/.local/share/cellarkey";
  return {};
}

bool EnterUserDataFolder(std::string* error) {
  const std::string folder = UserDataFolder();
  if (folder.empty()) {
    *error = "no data folder: neither XDG_DATA_HOME nor HOME is set";
    return false;
  }
  namespace fs = std::filesystem;
  std::error_code ec;
  const fs::path path(folder);
  if (!fs::is_directory(path, ec)) {
    fs::create_directories(path.parent_path(), ec);
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
      *error = "cannot create " + folder + ": " + std::strerror(errno);
      return false;
    }
  }
  if (!fs::is_directory(path, ec)) {
    *error = folder + " is not a folder";
    return false;
  }
  fs::current_path(path, ec);
  if (ec) {
    *error = "cannot enter " + folder + ": " + ec.message();
    return false;
  }
  return true;
}

}  // namespace ck::app
