#pragma once
// The program's per-user state folder: the daily program log files and the
// error reports. Linux: ${XDG_STATE_HOME:-$HOME/.local/state}/KarvoTemp;
// Windows: %LOCALAPPDATA%\KarvoTemp. Read from the environment on every
// call, so tests can point it elsewhere.

#include <filesystem>

namespace karvo {

std::filesystem::path KarvoStateDir();

}  // namespace karvo
