#pragma once
// The catalogue of COM ports the operating system has registered.

#include <bitset>
#include <cstdint>
#include <string>
#include <vector>

namespace karvo {

// spNone (0), spCOM1 .. spCOM254 (1..254) and spCustom (255).
enum TCommPort : std::uint8_t {
  spNone = 0,
  spCOM1 = 1,
  spCOM254 = 254,
  spCustom = 255,
};
// The port of number n (1..254): static_cast<TCommPort>(n).
inline constexpr TCommPort ComPortNumber(int n) { return static_cast<TCommPort>(n); }

// Bit n stands for TCommPort value n.
using TCommPortSet = std::bitset<256>;

class TComPortCatalogue {
 public:
  TComPortCatalogue() = default;

  // Trims surrounding blanks and control characters; "" -> spNone,
  // "COM1".."COM254" exactly -> that port, anything else -> spCustom.
  TCommPort StringToCommPort(const std::string& Port) const;
  // "COMn", CustomPortName() for spCustom, "" for spNone.
  std::string CommPortToString(TCommPort Port) const;

  // The ports the system has registered (never an error: nothing registered
  // or an unreadable registry gives the empty set).
  TCommPortSet GetExistingCommPorts() const;
  // Clears Strings and adds the name of every registered port in the order
  // the system lists them, trimmed, blanks skipped.
  void GetExistingCommPortNames(std::vector<std::string>& Strings) const;

  const std::string& CustomPortName() const { return fCustomPortName; }
  void SetCustomPortName(const std::string& name);

 private:
  std::string fCustomPortName;
};

}  // namespace karvo
