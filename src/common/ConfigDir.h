#pragma once
// The program's per-user folder on systems without a registry:
// ${XDG_CONFIG_HOME:-$HOME/.config}/TalvikAS/Karvo. It holds the per-user
// store's values and the COM port map ("ports").

#include <string>

namespace karvo {

// The folder's path without a trailing slash; read from the environment on
// every call, so tests can point it elsewhere with setenv.
std::string KarvoConfigDir();
// Creates the folder and its parents (mode 0700) when missing; true when it
// exists afterwards.
bool EnsureKarvoConfigDir();

}  // namespace karvo
