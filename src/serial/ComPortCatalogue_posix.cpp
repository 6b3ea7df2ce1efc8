// Registered ports on systems without a registry: the port map.

#include "serial/PortMap.h"
#include "serial/RegisteredPorts.h"

namespace karvo {

std::vector<std::string> RegisteredPortNames() { return MappedPortNames(); }

}  // namespace karvo
