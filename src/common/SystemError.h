#pragma once
// The system's own text for an error code, as the program writes it into its
// messages: UTF-8, without the line end and the final full stop the system
// ends some texts with ("Access is denied." -> "Access is denied"). One
// file per platform: SystemError_win32.cpp (the codes of GetLastError and
// the registry calls, FormatMessage) and SystemError_posix.cpp (errno's,
// strerror).

#include <string>

namespace karvo {

std::string SystemErrorText(unsigned long code);

}  // namespace karvo
