#pragma once
// Which device a COM port name stands for on systems without a registry of
// COM ports (Linux). One rule serves both the port catalogue and the
// transport, so a port that is listed is also the one that opens:
//
// 1. a link COMn in the port map folder (KarvoConfigDir() + "/ports") whose
//    target exists; a dangling link is no port;
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

}  // namespace karvo
