#include "serial/ComPortCatalogue.h"

#include "serial/PortName.h"
#include "serial/RegisteredPorts.h"

namespace karvo {

TCommPort TComPortCatalogue::StringToCommPort(const std::string& Port) const {
  const std::string name = TrimPortName(Port);
  if (name.empty()) return spNone;
  const int n = ComPortNumberOf(name);
  return n != 0 ? ComPortNumber(n) : spCustom;
}

std::string TComPortCatalogue::CommPortToString(TCommPort Port) const {
  if (Port == spNone) return {};
  if (Port == spCustom) return fCustomPortName;
  return ComPortName(Port);
}

TCommPortSet TComPortCatalogue::GetExistingCommPorts() const {
  TCommPortSet ports;
  for (const std::string& name : RegisteredPortNames()) {
    const TCommPort port = StringToCommPort(name);
    if (port != spNone) ports.set(port);
  }
  return ports;
}

void TComPortCatalogue::GetExistingCommPortNames(std::vector<std::string>& Strings) const {
  Strings.clear();
  for (const std::string& name : RegisteredPortNames()) {
    std::string trimmed = TrimPortName(name);
    if (!trimmed.empty()) Strings.push_back(std::move(trimmed));
  }
}

void TComPortCatalogue::SetCustomPortName(const std::string& name) { fCustomPortName = TrimPortName(name); }

}  // namespace karvo
