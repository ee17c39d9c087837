#include "testutility/terminal/stderr_capture.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>

namespace polecheck {

bool StderrCapture::Start() {
  if (readFd_ >= 0) return true;
  int fds[2];
  if (pipe(fds) != 0) return false;
  fcntl(fds[0], F_SETFL, fcntl(fds[0], F_GETFL) | O_NONBLOCK);
  fcntl(fds[0], F_SETFD, FD_CLOEXEC);
  // A writer must never block on a full pipe: what does not fit is lost rather than hanging
  // the program.
  fcntl(fds[1], F_SETFL, fcntl(fds[1], F_GETFL) | O_NONBLOCK);
  std::fflush(stderr);
  savedFd_ = dup(STDERR_FILENO);
  if (savedFd_ < 0 || dup2(fds[1], STDERR_FILENO) < 0) {
    if (savedFd_ >= 0) close(savedFd_);
    savedFd_ = -1;
    close(fds[0]);
    close(fds[1]);
    return false;
  }
  close(fds[1]);
  readFd_ = fds[0];
  return true;
}

void StderrCapture::Drain(const Sink& sink, std::string_view defaultCaption) {
  if (readFd_ < 0) return;
  std::fflush(stderr);
  char buf[4096];
  for (;;) {
    const ssize_t n = read(readFd_, buf, sizeof buf);
    if (n <= 0) break;
    pending_.append(buf, static_cast<size_t>(n));
  }
  size_t end;
  while ((end = pending_.find('\n')) != std::string::npos) {
    const std::string line = pending_.substr(0, end);
    pending_.erase(0, end + 1);
    if (line.empty() || !sink) continue;
    const size_t sep = line.find(": ");
    if (sep == std::string::npos) {
      sink(line, defaultCaption);
    } else {
      sink(std::string_view(line).substr(sep + 2), std::string_view(line).substr(0, sep));
    }
  }
}

void StderrCapture::Stop(const Sink& sink) {
  if (readFd_ < 0) return;
  Drain(sink);
  std::fflush(stderr);
  dup2(savedFd_, STDERR_FILENO);
  close(savedFd_);
  savedFd_ = -1;
  if (!pending_.empty()) {
    const ssize_t ignored = write(STDERR_FILENO, pending_.data(), pending_.size());
    (void)ignored;
    pending_.clear();
  }
  close(readFd_);
  readFd_ = -1;
}

}  // namespace polecheck
