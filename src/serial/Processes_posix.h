#pragma once
// What the serial transport and the port map need to know about other
// processes on POSIX systems: whether one is alive, when it started (to
// tell it from a later process that got the same number), and which process
// has a terminal as its controlling terminal. Read from kill(2) and
// /proc/<pid>/stat.

#include <sys/types.h>

#include <optional>

namespace karvo {

// True while the process exists (also when it belongs to another user).
bool ProcessAlive(pid_t pid);

// The process's start time in clock ticks after boot, or nothing when it
// does not exist or /proc does not say.
std::optional<unsigned long long> ProcessStartTime(pid_t pid);

// A process whose controlling terminal is the character device `device`
// (st_rdev), or 0 when no process has it as its controlling terminal.
pid_t ControllingProcessOf(dev_t device);

}  // namespace karvo
