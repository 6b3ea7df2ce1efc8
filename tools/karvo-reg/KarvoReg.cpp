#include "KarvoReg.h"

#include <ostream>

#include "common/Text.h"
#include "supervisor/store/KarvoRegistry.h"

namespace karvo {

namespace {

constexpr const char* kUsage =
    "usage: karvo-reg get NAME\n"
    "       karvo-reg set NAME VALUE\n"
    "       karvo-reg list\n";

constexpr const char* kHelp =
    "\n"
    "Reads and writes the string values of the per-user store that KarvoTemp\n"
    "shares with other programs: FW_<furnace> asks the program to hold the\n"
    "temperature (any text but \"0\" or empty), FS_<furnace> shows the segment\n"
    "that has become stable (\"0\" while none is).\n"
    "get prints the value, an empty line when there is none.\n"
    "set writes the value (exit status 1 when the store refuses it).\n"
    "list prints every value as NAME=VALUE, sorted by name.\n"
    "Linux: one file per value in ${XDG_CONFIG_HOME:-$HOME/.config}/TalvikAS/Karvo/;\n"
    "Windows: string values under HKEY_CURRENT_USER\\Software\\TalvikAS\\Karvo.\n"
    "  -h, --help   show this text\n";

}  // namespace

int RunKarvoReg(const std::vector<std::wstring>& args, std::ostream& out, std::ostream& err) {
  const auto usage = [&err] {
    err << kUsage;
    return 2;
  };
  if (args.empty()) return usage();
  if (args.size() == 1 && (args[0] == L"--help" || args[0] == L"-h")) {
    out << kUsage << kHelp;
    return 0;
  }
  const std::wstring& command = args[0];
  if (command == L"get" && args.size() == 2) {
    out << WideToSystem(ReadRegistryString(args[1])) << '\n';
    return 0;
  }
  if (command == L"set" && args.size() == 3) {
    try {
      WriteRegistryString(args[1], args[2]);
    } catch (const StoreError& e) {
      err << "karvo-reg: " << e.what() << '\n';
      return 1;
    }
    return 0;
  }
  if (command == L"list" && args.size() == 1) {
    for (const auto& [name, value] : ListRegistryStrings())
      out << WideToSystem(name) << '=' << WideToSystem(value) << '\n';
    return 0;
  }
  return usage();
}

}  // namespace karvo
