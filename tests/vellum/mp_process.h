// Real processes for the multi-process tests: a forked child runs a body
// and ends with _exit (never returning into the test framework), and pipes
// carry one-byte signals between parent and child. Fork a child before the
// parent opens the shared file, so that no open file (and none of its
// locks) is inherited.
#pragma once

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace ck::vellum::testing {

// A one-way channel of single bytes. Not copyable.
class Channel {
 public:
  Channel() {
    if (pipe(fds_) != 0) fds_[0] = fds_[1] = -1;
  }
  ~Channel() {
    if (fds_[0] >= 0) close(fds_[0]);
    if (fds_[1] >= 0) close(fds_[1]);
  }
  Channel(const Channel&) = delete;
  Channel& operator=(const Channel&) = delete;

  void Send(char c = 'x') {
    [[maybe_unused]] const ssize_t n = write(fds_[1], &c, 1);
  }
  // The next byte, or 0 when none came within timeoutMs.
  char Receive(int timeoutMs = 10000) {
    pollfd p{fds_[0], POLLIN, 0};
    if (poll(&p, 1, timeoutMs) != 1) return 0;
    char c = 0;
    return read(fds_[0], &c, 1) == 1 ? c : 0;
  }

 private:
  int fds_[2];
};

// A forked process. Its exit code is the body's result.
class Child {
 public:
  explicit Child(const std::function<int()>& body) {
    pid_ = fork();
    if (pid_ == 0) {
      int code = 99;
      code = body();
      _exit(code);
    }
  }
  ~Child() {
    if (pid_ > 0 && !reaped_) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
  }
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;

  bool started() const { return pid_ > 0; }

  // The exit code; -1 after a signal, -2 when the child did not end within
  // timeoutMs (it is killed then).
  int Wait(int timeoutMs = 30000) {
    if (pid_ <= 0) return -3;
    // The wait blocks on the child; a watchdog kills it at the deadline.
    std::mutex mu;
    std::condition_variable exited;
    bool done = false, killed = false;
    std::thread watchdog([&] {
      std::unique_lock lock(mu);
      if (!exited.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return done; })) {
        killed = true;
        kill(pid_, SIGKILL);
      }
    });
    int status = 0;
    while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
    {
      std::lock_guard lock(mu);
      done = true;
    }
    exited.notify_one();
    watchdog.join();
    reaped_ = true;
    if (killed) return -2;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

 private:
  pid_t pid_ = -1;
  bool reaped_ = false;
};

}  // namespace ck::vellum::testing
