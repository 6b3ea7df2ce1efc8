#pragma once
// karvo-reg: the per-user store from the command line.

#include <iosfwd>
#include <string>
#include <vector>

namespace karvo {

// args excludes the program name. Returns the exit code: 0 done, 1 the
// store refused a write, 2 usage error.
int RunKarvoReg(const std::vector<std::wstring>& args, std::ostream& out, std::ostream& err);

}  // namespace karvo
