#pragma once
// A tool run as a child process with its standard output and error
// captured; it inherits the environment (XDG_CONFIG_HOME included).

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <stdexcept>
#include <string>
#include <vector>

extern char** environ;

namespace karvo::testing {

class Process {
 public:
  using Clock = std::chrono::steady_clock;

  explicit Process(const std::vector<std::string>& argv) {
    int out[2], err[2];
    if (pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0) throw std::runtime_error("pipe2");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_adddup2(&actions, err[1], 2);
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    const int rc = posix_spawn(&pid_, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    close(err[1]);
    out_ = out[0];
    err_ = err[0];
    if (rc != 0) throw std::runtime_error("posix_spawn " + argv[0]);
  }
  ~Process() {
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    close(out_);
    close(err_);
  }
  Process(const Process&) = delete;
  Process& operator=(const Process&) = delete;

  // The first line of standard output (without the newline), or what came
  // until the time ran out.
  std::string ReadLine(std::chrono::milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    while (stdout_.find('\n') == std::string::npos && Clock::now() < deadline) {
      if (!Pump(50)) break;
    }
    const auto nl = stdout_.find('\n');
    std::string line = stdout_.substr(0, nl);
    stdout_.erase(0, nl == std::string::npos ? std::string::npos : nl + 1);
    return line;
  }

  void Signal(int sig) { kill(pid_, sig); }

  // Collects the rest of the output and the exit code (-1 when it did not
  // end in time or ended by a signal).
  int Wait(std::chrono::milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    while (Clock::now() < deadline && Pump(50)) {
    }
    int status = 0;
    while (Clock::now() < deadline) {
      if (waitpid(pid_, &status, WNOHANG) == pid_) {
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
      }
      poll(nullptr, 0, 10);
    }
    return -1;
  }

  const std::string& Out() const { return stdout_; }
  const std::string& Err() const { return stderr_; }

 private:
  // Reads what is there; false once both pipes are at their end.
  bool Pump(int timeoutMs) {
    pollfd p[2] = {{eof_[0] ? -1 : out_, POLLIN, 0}, {eof_[1] ? -1 : err_, POLLIN, 0}};
    if (eof_[0] && eof_[1]) return false;
    if (poll(p, 2, timeoutMs) < 0) return false;
    for (int i = 0; i < 2; ++i) {
      if (!(p[i].revents & (POLLIN | POLLHUP))) continue;
      char buf[4096];
      const ssize_t n = read(p[i].fd, buf, sizeof buf);
      if (n > 0) {
        (i == 0 ? stdout_ : stderr_).append(buf, static_cast<std::size_t>(n));
      } else {
        eof_[i] = true;
      }
    }
    return !(eof_[0] && eof_[1]);
  }

  pid_t pid_ = -1;
  int out_ = -1, err_ = -1;
  bool eof_[2] = {false, false};
  std::string stdout_, stderr_;
};

}  // namespace karvo::testing
