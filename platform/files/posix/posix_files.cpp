// The Linux files: folders made 0700, files opened with O_APPEND and created 0600, never through
// a symbolic link (a shared folder may hold one planted by another account) and never anything
// but a plain file (a FIFO would block the writer).
#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "platform/files/files.h"

namespace kirnow::platform {
namespace {

constexpr mode_t kFolderMode = 0700;
constexpr mode_t kFileMode = 0600;

class PosixAppendFile final : public AppendFile {
 public:
  PosixAppendFile(int fd, uint64_t size) : fd_(fd), size_(size) {}
  ~PosixAppendFile() override { close(fd_); }
  PosixAppendFile(const PosixAppendFile&) = delete;
  PosixAppendFile& operator=(const PosixAppendFile&) = delete;

  bool Append(std::string_view bytes, int& osError) override {
    while (!bytes.empty()) {
      const ssize_t n = write(fd_, bytes.data(), bytes.size());
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        osError = n < 0 ? errno : ENOSPC;
        return false;
      }
      size_ += static_cast<uint64_t>(n);
      bytes.remove_prefix(static_cast<size_t>(n));
    }
    return true;
  }

  uint64_t Size() const override { return size_; }

 private:
  int fd_;
  uint64_t size_;
};

bool IsFolder(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

class PosixFiles final : public Files {
 public:
  bool MakeFolder(const std::string& folder, int& osError) override {
    if (folder.empty()) {
      osError = ENOENT;
      return false;
    }
    // Each missing folder from the top down; one made meanwhile by another process is fine.
    for (size_t slash = folder.find('/', 1);; slash = folder.find('/', slash + 1)) {
      const std::string part = folder.substr(0, slash);
      if (!part.empty() && mkdir(part.c_str(), kFolderMode) != 0 && errno != EEXIST) {
        osError = errno;
        return false;
      }
      if (slash == std::string::npos) break;
    }
    if (!IsFolder(folder)) {
      osError = ENOTDIR;
      return false;
    }
    return true;
  }

  std::unique_ptr<AppendFile> OpenAppend(const std::string& path, int& osError) override {
    const int fd =
        open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK,
             kFileMode);
    if (fd < 0) {
      osError = errno;
      return nullptr;
    }
    struct stat st {};
    const bool stated = fstat(fd, &st) == 0;
    if (!stated || !S_ISREG(st.st_mode)) {
      osError = stated ? EINVAL : errno;
      close(fd);
      return nullptr;
    }
    // Made private when another mode was left on it (an earlier build's file, a copy).
    if ((st.st_mode & 077) != 0 && st.st_uid == geteuid()) (void)fchmod(fd, kFileMode);
    const int flags = fcntl(fd, F_GETFL);
    if (flags >= 0) (void)fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    return std::make_unique<PosixAppendFile>(fd, static_cast<uint64_t>(st.st_size));
  }

  bool Rename(const std::string& from, const std::string& to, int& osError) override {
    if (rename(from.c_str(), to.c_str()) == 0) return true;
    osError = errno;
    return false;
  }

  bool Remove(const std::string& path, int& osError) override {
    if (unlink(path.c_str()) == 0 || errno == ENOENT) return true;
    osError = errno;
    return false;
  }

  int64_t SizeOf(const std::string& path) override {
    struct stat st {};
    if (lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return -1;
    return static_cast<int64_t>(st.st_size);
  }

  std::string DefaultTraceFolder() override { return KirnowHomeFolder() + "/trace"; }
};

}  // namespace

std::string KirnowHomeFolder() {
  const char* home = std::getenv("HOME");
  return std::string(home != nullptr && *home != '\0' ? home : ".") + "/.kirnow";
}

std::unique_ptr<Files> MakeSystemFiles() { return std::make_unique<PosixFiles>(); }

}  // namespace kirnow::platform
