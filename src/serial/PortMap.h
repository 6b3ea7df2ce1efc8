#pragma once
// Which device a COM port name stands for on systems without a registry of
// COM ports (Linux). One rule serves both the port catalogue and the
// transport, so a port that is listed is also the one that opens:
//
// 1. a link COMn in the port map folder (KarvoConfigDir() + "/ports") whose
//    target exists; a dangling link is no port. A link to a pseudo-terminal
//    (/dev/pts/N, a simulated controller's) is a port only while the process
//    named in its owner file ".COMn.owner" beside it lives: once that process
//    has ended, the number may belong to someone's terminal session. A map
//    folder that belongs to another user is not looked at;
// 2. otherwise a serial device present on the machine, numbered in fixed
//    ranges: ttyS0..31 -> COM1..32, ttyUSB0..31 -> COM33..64,
//    ttyACM0..31 -> COM65..96. Present means that
//    <sysfs>/<name>/device exists and, for ttyS, that <sysfs>/<name>/type
//    holds a non-zero UART type (the kernel registers legacy ports that
//    have no UART behind them).

#include <string>
#include <string_view>
#include <vector>

namespace karvo {

struct PortMapRoots {
  std::string mapDir;       // the port map folder
  std::string sysClassTty;  // normally /sys/class/tty
  std::string dev;          // normally /dev
};

// The real folders; the map folder follows the environment on every call.
PortMapRoots DefaultPortMapRoots();

// The device path to open for `name` ("COM1".."COM254" exactly), or empty
// text when the name stands for no port.
std::string MappedPortDevice(std::string_view name, const PortMapRoots& roots = DefaultPortMapRoots());

// The names of all ports that map to a device, in ascending number.
std::vector<std::string> MappedPortNames(const PortMapRoots& roots = DefaultPortMapRoots());

// The owner file of the link `name` in the map folder `mapDir`.
std::string PortLinkOwnerFile(const std::string& mapDir, std::string_view name);
// Writes the owner file of `name` for this process: its number and start
// time, so that a later process with the same number is not taken for it.
// Replaces the file at once; false when it cannot be written.
bool WritePortLinkOwner(const std::string& mapDir, std::string_view name);
// The process named in the owner file of `name` while it lives, else 0 (no
// owner file, or its process has ended).
long LivePortLinkOwner(const std::string& mapDir, std::string_view name);

}  // namespace karvo
