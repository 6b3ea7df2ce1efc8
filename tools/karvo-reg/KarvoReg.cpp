#include "KarvoReg.h"

#include <ostream>

#include "common/Text.h"
#include "supervisor/KarvoRegistry.h"

namespace karvo {

int RunKarvoReg(const std::vector<std::wstring>& args, std::ostream& out, std::ostream& err) {
  const auto usage = [&err] {
    err << "usage: karvo-reg get NAME\n"
           "       karvo-reg set NAME VALUE\n"
           "       karvo-reg list\n";
    return 2;
  };
  if (args.empty()) return usage();
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
