#include "sim/ComLink.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <stdexcept>
#include <system_error>

#include "common/ConfigDir.h"
#include "serial/PortMap.h"

namespace karvo::sim {
namespace fs = std::filesystem;

namespace {

bool PointsAtPseudoTerminal(const fs::path& link) {
  std::error_code ec;
  if (!fs::is_symlink(fs::symlink_status(link, ec))) return false;
  const std::string target = fs::read_symlink(link, ec).string();
  return !ec && target.rfind("/dev/pts/", 0) == 0;
}

}  // namespace

std::string PortMapDir() {
  const std::string dir = KarvoConfigDir();
  if (dir.empty()) throw std::runtime_error("this user has no home folder for the port map");
  return dir + "/ports";
}

void LinkComPort(const std::string& comName, const std::string& device) {
  if (comName.empty() || comName.find('/') != std::string::npos)
    throw std::runtime_error("not a COM port name: \"" + comName + "\"");
  const fs::path dir = PortMapDir();
  std::error_code ec;
  // The program's per-user folder is private (0700), and so is the map in it.
  if (!EnsureKarvoConfigDir() || (mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST))
    throw std::runtime_error("cannot create " + dir.string() + ": " + std::strerror(errno));
  if (!OwnFolderOrAbsent(dir)) throw std::runtime_error(dir.string() + " belongs to another user");
  const fs::path link = dir / comName;
  if (fs::exists(fs::symlink_status(link, ec))) {
    if (!PointsAtPseudoTerminal(link))
      throw std::runtime_error(link.string() + " exists and is not a simulator's link; left alone");
    if (const long owner = LivePortLinkOwner(dir, comName); owner != 0 && owner != getpid()) {
      throw std::runtime_error(comName + " is served by a running simulator (process " + std::to_string(owner) +
                               "); choose another COM name");
    }
  }
  // The owner file first, then a link made next to the old one and renamed
  // over it: whoever opens the name sees the old target or the new one,
  // never nothing, and never the new one without its owner.
  if (!WritePortLinkOwner(dir, comName))
    throw std::runtime_error("cannot write " + PortLinkOwnerFile(dir, comName) + ": " + std::strerror(errno));
  const fs::path temp = dir / ("." + comName + "." + std::to_string(getpid()));
  fs::remove(temp, ec);
  fs::create_symlink(device, temp, ec);
  if (!ec) fs::rename(temp, link, ec);
  if (ec) {
    fs::remove(temp);
    throw std::runtime_error("cannot link " + link.string() + " to " + device + ": " + ec.message());
  }
}

bool UnlinkComPort(const std::string& comName, const std::string& device) {
  const fs::path link = fs::path(PortMapDir()) / comName;
  std::error_code ec;
  if (!fs::is_symlink(fs::symlink_status(link, ec)) || fs::read_symlink(link, ec) != device || ec) return false;
  fs::remove(PortLinkOwnerFile(PortMapDir(), comName), ec);
  return fs::remove(link, ec);
}

ScopedComLink::ScopedComLink(std::string comName, std::string device)
    : comName_(std::move(comName)), device_(std::move(device)) {
  LinkComPort(comName_, device_);
}

ScopedComLink::~ScopedComLink() { UnlinkComPort(comName_, device_); }

ScopedTempHome::ScopedTempHome(std::string variable) : variable_(std::move(variable)) {
  if (const char* old = std::getenv(variable_.c_str())) {
    hadPrevious_ = true;
    previous_ = old;
  }
  std::string pattern = (fs::temp_directory_path() / "karvo-home-XXXXXX").string();
  if (!mkdtemp(pattern.data())) throw std::system_error(errno, std::generic_category(), "mkdtemp");
  path_ = pattern;
  setenv(variable_.c_str(), path_.c_str(), 1);
}

ScopedTempHome::~ScopedTempHome() {
  if (hadPrevious_) {
    setenv(variable_.c_str(), previous_.c_str(), 1);
  } else {
    unsetenv(variable_.c_str());
  }
  std::error_code ec;
  fs::remove_all(path_, ec);
}

SimOnComPort::SimOnComPort(SimOptions options, std::string comName)
    : comName_(std::move(comName)), sim_(std::move(options)) {
  sim_.Start();
  link_ = std::make_unique<ScopedComLink>(comName_, sim_.DevicePath());
}

SimOnComPort::~SimOnComPort() {
  link_.reset();
  sim_.Stop();
}

}  // namespace karvo::sim
