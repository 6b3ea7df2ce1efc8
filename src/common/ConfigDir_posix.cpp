#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <string>
#include <vector>

#include "common/ConfigDir.h"

namespace karvo {
namespace {

std::atomic<unsigned>& Owner() {
  static std::atomic<unsigned> owner{static_cast<unsigned>(::geteuid())};
  return owner;
}

// The home folder of this user in the user database.
std::string HomeFromUserDatabase() {
  std::vector<char> buffer(16384);
  passwd entry{};
  passwd* found = nullptr;
  if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) != 0 || !found || !found->pw_dir) {
    return {};
  }
  return found->pw_dir;
}

bool OwnFolder(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == Owner().load();
}

}  // namespace

std::string KarvoConfigDir() {
  std::string base;
  if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg == '/') {
    base = xdg;
  } else {
    const char* env = std::getenv("HOME");
    const std::string home = env && *env == '/' ? std::string(env) : HomeFromUserDatabase();
    if (home.empty() || home.front() != '/') return {};
    base = home + "/.config";
  }
  while (base.size() > 1 && base.back() == '/') base.pop_back();
  return base + "/TalvikAS/Karvo";
}

bool OwnFolderOrAbsent(const std::string& path) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0) return errno == ENOENT;
  return S_ISDIR(st.st_mode) && st.st_uid == Owner().load();
}

bool KarvoConfigDirIsOwn() {
  const std::string dir = KarvoConfigDir();
  if (dir.empty()) return false;
  return OwnFolder(dir) && OwnFolder(dir.substr(0, dir.rfind('/')));
}

bool EnsureKarvoConfigDir() {
  const std::string dir = KarvoConfigDir();
  if (dir.empty()) {
    errno = ENOENT;
    return false;
  }
  for (std::size_t pos = 1; pos != std::string::npos;) {
    pos = dir.find('/', pos + 1);
    const std::string part = dir.substr(0, pos);
    if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) return false;
  }
  if (!KarvoConfigDirIsOwn()) {
    errno = EACCES;
    return false;
  }
  return true;
}

unsigned SetKarvoConfigOwner(unsigned uid) { return Owner().exchange(uid); }

}  // namespace karvo
