#pragma once
// UUCP lock files: how programs on Unix systems tell each other that they
// use a serial device. A file LCK..<device> in a lock folder (the device's
// path below /dev with "/" written as "_": LCK..ttyUSB0, LCK..pts_3) holds
// the number of the process that uses the device. This process writes it as
// ten characters and a newline; it reads the forms other serial libraries
// write too (bare digits, padded digits with further lines after the first,
// a 4-byte binary int). The transport honours the lock of a live process,
// removes locks whose process has ended, refuses a lock it cannot read or
// that names no process (its path in the reason), and holds a lock of its
// own while a transaction has the device open.

#include <string>
#include <vector>

namespace karvo {

// The system's lock folders, in order: /run/lock and /var/lock.
std::vector<std::string> SystemUucpLockFolders();
// The lock folders: the system's, or only the folder the environment
// variable KARVO_UUCP_LOCK_FOLDER names when it is set (the test suite gives
// each test program a folder of its own that way, and its child processes
// with it), unless replaced here. A folder reached twice (/var/lock is often
// a link to /run/lock) counts once. Returns the previous list.
std::vector<std::string> SetUucpLockFolders(std::vector<std::string> folders);

// "LCK..ttyUSB0" for /dev/ttyUSB0.
std::string UucpLockName(const std::string& devicePath);

// False when a live process other than this one holds a lock on `device`
// (a resolved device path); `holder` then says which and where. Otherwise
// removes the locks of ended processes, makes this process's lock in the
// first lock folder it may write to and returns true; `lockFile` is the
// lock made, empty when no folder takes one.
bool TakeUucpLock(const std::string& device, std::string& lockFile, std::string& holder);

// Removes the lock TakeUucpLock made, if it still names this process.
void ReleaseUucpLock(const std::string& lockFile);

}  // namespace karvo
