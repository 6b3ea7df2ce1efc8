#pragma once
// The program's per-user folder on systems without a registry:
// ${XDG_CONFIG_HOME:-$HOME/.config}/TalvikAS/Karvo, the home folder taken
// from the user database when HOME is not set. It holds the per-user
// store's values and the COM port map ("ports"). It is never a shared
// place such as /tmp, and a folder on the way that belongs to another user
// (TalvikAS, Karvo, ports) is refused: its contents are not this user's to
// trust.

#include <string>

namespace karvo {

// The folder's path without a trailing slash, or empty text when this user
// has no home folder. Read from the environment on every call, so tests can
// point it elsewhere with setenv.
std::string KarvoConfigDir();
// Creates the folder and its parents (mode 0700) when missing; true when it
// exists afterwards and is this user's (KarvoConfigDirIsOwn).
bool EnsureKarvoConfigDir();
// True when the folder and TalvikAS above it exist as folders (not links)
// of this user.
bool KarvoConfigDirIsOwn();
// True when `path` does not exist, or is a folder (not a link) of this user.
bool OwnFolderOrAbsent(const std::string& path);

// The user the folders must belong to: this process's effective user unless
// replaced (tests). Returns the previous one.
unsigned SetKarvoConfigOwner(unsigned uid);

}  // namespace karvo
