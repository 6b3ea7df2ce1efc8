#pragma once
// Where the catalogue's registered ports come from, one source per
// platform: the registry on Windows (ComPortCatalogue_win32.cpp), the port
// map elsewhere (ComPortCatalogue_posix.cpp).

#include <string>
#include <vector>

namespace karvo {

// The port name of every registered serial device, as the system lists
// them, untrimmed; empty when nothing is registered or nothing can be read.
std::vector<std::string> RegisteredPortNames();

}  // namespace karvo
