// The per-user store as one file per value in the program's config folder.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "common/ConfigDir.h"
#include "common/Text.h"
#include "supervisor/store/KarvoRegistry.h"

namespace karvo {
namespace {

[[noreturn]] void Fail(const std::string& what, const std::string& path, int err) {
  throw StoreError(what + " " + path + ": " + std::strerror(err));
}

// Reads a whole regular file; false when it cannot be opened or read.
bool ReadFile(const std::string& path, std::string& out) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
  if (fd < 0) return false;
  struct stat st {};
  bool ok = fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
  out.clear();
  char buf[4096];
  while (ok) {
    const ssize_t n = read(fd, buf, sizeof buf);
    if (n > 0) {
      out.append(buf, static_cast<std::size_t>(n));
    } else if (n == 0) {
      break;
    } else if (errno != EINTR) {
      ok = false;
    }
  }
  close(fd);
  return ok;
}

}  // namespace

void WriteRegistryString(const std::wstring& Name, const std::wstring& Value) {
  const std::string dir = KarvoConfigDir();
  if (!EnsureKarvoConfigDir()) {
    if (dir.empty()) throw StoreError("No folder for the program's settings: this user has no home folder");
    if (errno == EACCES) throw StoreError("The folder " + dir + " or the one above it belongs to another user");
    Fail("Cannot create the folder", dir, errno);
  }
  const std::string encoded = EncodeStoreName(Name);
  const std::string path = dir + "/" + encoded;
  // The new text goes to a hidden temporary file in the same folder and is
  // renamed over the value, so a reader sees the old text or the new one.
  std::string temp = dir + "/." + encoded.substr(0, 200) + ".XXXXXX";
  const int fd = mkstemp(temp.data());
  if (fd < 0) Fail("Cannot write to", dir, errno);
  const std::string text = WideToUtf8(Value);
  int err = 0;
  if (fchmod(fd, 0600) != 0) err = errno;
  for (std::size_t done = 0; err == 0 && done < text.size();) {
    const ssize_t n = write(fd, text.data() + done, text.size() - done);
    if (n >= 0) {
      done += static_cast<std::size_t>(n);
    } else if (errno != EINTR) {
      err = errno;
    }
  }
  if (err == 0 && fsync(fd) != 0) err = errno;
  if (close(fd) != 0 && err == 0) err = errno;
  if (err == 0 && rename(temp.c_str(), path.c_str()) != 0) err = errno;
  if (err != 0) {
    unlink(temp.c_str());
    Fail("Cannot write", path, err);
  }
  // Make the rename itself durable; a failure here loses nothing already
  // visible to readers, so it is not reported.
  if (const int dfd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); dfd >= 0) {
    fsync(dfd);
    close(dfd);
  }
}

std::wstring ReadRegistryString(const std::wstring& Name) {
  std::string text;
  if (!KarvoConfigDirIsOwn()) return {};  // another user's values are none of ours
  if (!ReadFile(KarvoConfigDir() + "/" + EncodeStoreName(Name), text)) return {};
  return Utf8ToWide(text);
}

std::vector<std::pair<std::wstring, std::wstring>> ListRegistryStrings() {
  std::vector<std::pair<std::wstring, std::wstring>> values;
  const std::string dir = KarvoConfigDir();
  if (!KarvoConfigDirIsOwn()) return values;
  DIR* d = opendir(dir.c_str());
  if (!d) return values;
  while (const dirent* e = readdir(d)) {
    const std::string file = e->d_name;
    if (file.empty() || file[0] == '.') continue;  // temporary files, . and ..
    std::string text;
    if (!ReadFile(dir + "/" + file, text)) continue;  // folders such as the port map
    values.emplace_back(DecodeStoreName(file), Utf8ToWide(text));
  }
  closedir(d);
  std::sort(values.begin(), values.end());
  return values;
}

}  // namespace karvo
