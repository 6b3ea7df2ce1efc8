#pragma once
// The disk fills up: while the object lives, any file this process writes
// can grow only to `bytes` (a file size limit; write fails with EFBIG, "File
// too large", instead of the signal that would end the process).

#include <signal.h>
#include <sys/resource.h>

namespace karvo::test {

class DiskFullAfter {
 public:
  explicit DiskFullAfter(rlim_t bytes) {
    getrlimit(RLIMIT_FSIZE, &saved_);
    previous_ = signal(SIGXFSZ, SIG_IGN);
    rlimit limit = saved_;
    limit.rlim_cur = bytes;
    setrlimit(RLIMIT_FSIZE, &limit);
  }
  ~DiskFullAfter() {
    setrlimit(RLIMIT_FSIZE, &saved_);
    signal(SIGXFSZ, previous_);
  }
  DiskFullAfter(const DiskFullAfter&) = delete;
  DiskFullAfter& operator=(const DiskFullAfter&) = delete;

 private:
  rlimit saved_{};
  sighandler_t previous_;
};

}  // namespace karvo::test
