// The Linux registry store: a regedit-format text file, read afresh for every operation and
// replaced atomically under a file lock for every change. See reg_store.h.
#include "platform/registry/posix/reg_store.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/files/files.h"
#include "platform/registry/posix/reg_parser.h"

namespace kirnow::platform {
namespace {

Mutex gErrorMutex;
std::string gLastError KIRNOW_GUARDED_BY(gErrorMutex);  // process-wide, for RegistryStoreLastError
std::string gLastPrinted KIRNOW_GUARDED_BY(gErrorMutex);  // each distinct error is printed once

// A lock that another process holds is no fault of the store and is not printed: its callers
// have an answer without the change, or report it themselves.
void PublishError(const std::string& error, bool print) {
  MutexHold lock(gErrorMutex);
  gLastError = error;
  if (print && !error.empty() && error != gLastPrinted) {
    std::fprintf(stderr, "kirnow: registry store %s\n", error.c_str());
    gLastPrinted = error;
  }
}

// ---- file helpers -----------------------------------------------------------------------

std::string ErrnoText(const char* what, const std::string& path) {
  return path + ": " + what + ": " + std::strerror(errno);
}

bool MakeDirs(const std::string& dir) {
  if (dir.empty()) return true;
  struct stat st {};
  if (stat(dir.c_str(), &st) == 0) return S_ISDIR(st.st_mode);
  const size_t slash = dir.find_last_of('/');
  if (slash != std::string::npos && slash > 0 && !MakeDirs(dir.substr(0, slash))) return false;
  return mkdir(dir.c_str(), 0755) == 0 || errno == EEXIST;
}

std::string DirOf(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

// The file a path names once its symbolic links are followed (at most 40 of them, as the
// kernel does). A save replaces that file, so a store reached through a link keeps its link
// and the file it points to gets the change. A missing file is its own name.
std::string FollowLinks(std::string path) {
  for (int hops = 0; hops < 40; ++hops) {
    struct stat st {};
    if (lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) break;
    std::string target(static_cast<size_t>(st.st_size > 0 ? st.st_size : 256) + 1, '\0');
    const ssize_t n = readlink(path.c_str(), target.data(), target.size());
    if (n <= 0 || static_cast<size_t>(n) >= target.size()) break;
    target.resize(static_cast<size_t>(n));
    path = target[0] == '/' ? target : DirOf(path) + "/" + target;
  }
  return path;
}

bool WriteAll(int fd, const std::string& text) {
  size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = write(fd, text.data() + done, text.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    done += static_cast<size_t>(n);
  }
  return true;
}

// The mode a store is created with.
constexpr mode_t kNewStoreMode = 0644;

// The lock file's mode for a store of mode `store`: read and write for each class that may
// write the store, nothing for the others.
mode_t LockMode(mode_t store) {
  mode_t mode = 0;
  if ((store & S_IWUSR) != 0) mode |= S_IRUSR | S_IWUSR;
  if ((store & S_IWGRP) != 0) mode |= S_IRGRP | S_IWGRP;
  if ((store & S_IWOTH) != 0) mode |= S_IROTH | S_IWOTH;
  return mode;
}

// An exclusive lock on "<file>.lock" for as long as the object lives; `wait` bounds the wait
// for another process's lock.
class FileLock {
 public:
  FileLock(const std::string& path, RegistryStore::LockWait wait) {
    MakeDirs(DirOf(path));
    const std::string lockPath = path + ".lock";
    struct stat store {};
    const bool exists = stat(path.c_str(), &store) == 0;
    const mode_t mode = LockMode(exists ? store.st_mode : kNewStoreMode);
    // Never through a link: the lock file's mode is set below.
    fd_ = open(lockPath.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, mode);
    if (fd_ < 0 && errno == EACCES) {
      // A lock file made before it followed the store (0644 whatever the store's mode): a
      // lock needs no write access.
      fd_ = open(lockPath.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    }
    if (fd_ < 0) {
      Fail("cannot open the lock file", lockPath);
      return;
    }
    Follow(mode, exists ? store.st_gid : static_cast<gid_t>(-1));
    const auto deadline = std::chrono::steady_clock::now() +
                          std::chrono::milliseconds(wait == RegistryStore::LockWait::kBrief
                                                        ? RegistryStore::kBriefLockWaitMs
                                                        : 0);
    while (flock(fd_, LOCK_EX | LOCK_NB) != 0) {
      if (errno == EINTR) continue;
      if (errno == EWOULDBLOCK && std::chrono::steady_clock::now() < deadline) {
        const timespec pause{0, 2 * 1000 * 1000};
        nanosleep(&pause, nullptr);
        continue;
      }
      Fail(errno == EWOULDBLOCK ? "held by another process" : "cannot lock", lockPath);
      return;
    }
  }
  ~FileLock() {
    if (fd_ >= 0) close(fd_);  // closing releases the lock
  }
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;
  bool ok() const { return fd_ >= 0; }
  const std::string& error() const { return error_; }
  int osError() const { return osError_; }

 private:
  void Fail(const char* what, const std::string& lockPath) {
    osError_ = errno;
    error_ = ErrnoText(what, lockPath);
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
  }

  // Gives a lock file of ours (a plain file with no other name) the mode and group it should
  // have now: the store's may have changed since it was made, and the creation mode passed
  // through the umask. Only its owner (or root) may, and a failure changes nothing else.
  void Follow(mode_t mode, gid_t group) const {
    struct stat own {};
    if (fstat(fd_, &own) != 0 || !S_ISREG(own.st_mode) || own.st_nlink != 1) return;
    if (own.st_uid != geteuid() && geteuid() != 0) return;
    if ((own.st_mode & 07777) != mode) (void)fchmod(fd_, mode);
    if (group != static_cast<gid_t>(-1) && own.st_gid != group) (void)fchown(fd_, -1, group);
  }

  int fd_ = -1;
  std::string error_;
  int osError_ = 0;
};

// The whole file from `fd`; false, with errno telling why, when a read fails.
bool ReadWhole(int fd, std::string& text) {
  char buf[65536];
  while (true) {
    const ssize_t n = read(fd, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    if (n == 0) return true;
    text.append(buf, static_cast<size_t>(n));
  }
}

}  // namespace

std::string DefaultRegistryPath() {
  if (const char* env = std::getenv("KIRNOW_REGISTRY"); env != nullptr && *env != '\0') {
    return env;
  }
  return KirnowHomeFolder() + "/registry.reg";
}

RegistryStore::RegistryStore(std::string path) : path_(std::move(path)) {}

std::string RegistryStore::LastError() const {
  MutexHold lock(mutex_);
  return lastError_;
}

int RegistryStore::LastOsError() const {
  MutexHold lock(mutex_);
  return lastOsError_;
}

void RegistryStore::SetErrorLocked(std::string error, int osError) {
  lastError_ = std::move(error);
  lastOsError_ = osError;
  PublishError(lastError_, osError != EWOULDBLOCK);
}

bool RegistryStore::MayWrite() const {
  const std::string target = FollowLinks(path_);
  if (faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0 && errno != ENOENT) return false;
  // A folder that is not there yet is made by the first change, which then tells.
  return faccessat(AT_FDCWD, DirOf(target).c_str(), W_OK, AT_EACCESS) == 0 || errno == ENOENT;
}

bool RegistryStore::LoadLocked() {
  const int fd = open(path_.c_str(), O_RDONLY | O_CLOEXEC);
  FileId id;
  if (fd < 0) {
    if (errno != ENOENT) {
      const int osError = errno;
      tree_.reset();
      SetErrorLocked(ErrnoText("cannot read", path_), osError);
      return false;
    }
    // No file yet: an empty registry.
    if (!tree_ || loadedId_.exists) {
      tree_ = std::make_unique<regtree::Tree>();
      layout_ = RegLayout{};
      loadedId_ = id;
    }
    SetErrorLocked({});
    return true;
  }
  struct stat st {};
  fstat(fd, &st);
  id.exists = true;
  id.dev = st.st_dev;
  id.ino = st.st_ino;
  id.size = st.st_size;
  id.mtimeNs = static_cast<long long>(st.st_mtim.tv_sec) * 1000000000LL + st.st_mtim.tv_nsec;
  id.ctimeNs = static_cast<long long>(st.st_ctim.tv_sec) * 1000000000LL + st.st_ctim.tv_nsec;
  if (tree_ && id == loadedId_) {
    close(fd);
    return true;  // unchanged since it was read
  }
  std::string text;
  if (!ReadWhole(fd, text)) {
    const int osError = errno;
    const std::string err = ErrnoText("cannot read", path_);
    close(fd);
    tree_.reset();
    SetErrorLocked(err, osError);
    return false;
  }
  close(fd);
  auto tree = std::make_unique<regtree::Tree>();
  int line = 0;
  std::string message;
  if (!ParseRegText(text, *tree, line, message)) {
    tree_.reset();
    SetErrorLocked(path_ + ":" + std::to_string(line) + ": " + message);
    return false;
  }
  tree_ = std::move(tree);
  layout_ = ReadRegLayout(text);
  loadedId_ = id;
  SetErrorLocked({});
  return true;
}

bool RegistryStore::SaveLocked() {
  const std::string target = FollowLinks(path_);
  const std::string dir = DirOf(target);
  RegLayout written;
  const std::string text = FormatRegText(*tree_, layout_, &written);
  std::string tmpl = target + ".tmpXXXXXX";
  const int fd = mkstemp(tmpl.data());
  if (fd < 0) {
    const int osError = errno;
    SetErrorLocked(ErrnoText("cannot create a temporary file beside", path_), osError);
    return false;
  }
  // The new file gets the old one's mode and group (and, saved by root, its owner), so that a
  // save changes nobody's access to the store or to its lock; a group this user is no member of
  // stays as the system gives it.
  struct stat old {};
  const bool existed = stat(target.c_str(), &old) == 0;
  const mode_t mode = existed ? (old.st_mode & 07777) : kNewStoreMode;
  if (existed) (void)fchown(fd, geteuid() == 0 ? old.st_uid : static_cast<uid_t>(-1), old.st_gid);
  const bool ok = fchmod(fd, mode) == 0 && WriteAll(fd, text) && fsync(fd) == 0;
  const int savedErrno = errno;
  close(fd);
  if (!ok || rename(tmpl.c_str(), target.c_str()) != 0) {
    if (ok) {
      const int osError = errno;
      SetErrorLocked(ErrnoText("cannot replace", target), osError);
    } else {
      errno = savedErrno;
      SetErrorLocked(ErrnoText("cannot write", tmpl), savedErrno);
    }
    unlink(tmpl.c_str());
    tree_.reset();
    return false;
  }
  // Make the rename itself durable.
  const int dirFd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dirFd >= 0) {
    fsync(dirFd);
    close(dirFd);
  }
  // Remember the file just written so the next operation need not parse it again.
  layout_ = std::move(written);
  struct stat st {};
  if (stat(path_.c_str(), &st) == 0) {
    loadedId_.exists = true;
    loadedId_.dev = st.st_dev;
    loadedId_.ino = st.st_ino;
    loadedId_.size = st.st_size;
    loadedId_.mtimeNs =
        static_cast<long long>(st.st_mtim.tv_sec) * 1000000000LL + st.st_mtim.tv_nsec;
    loadedId_.ctimeNs =
        static_cast<long long>(st.st_ctim.tv_sec) * 1000000000LL + st.st_ctim.tv_nsec;
  } else {
    tree_.reset();
  }
  SetErrorLocked({});
  return true;
}

bool RegistryStore::Modify(const std::function<bool(regtree::Tree&, bool&)>& change,
                           LockWait wait) {
  MutexHold lock(mutex_);
  if (!MayWrite()) {
    SetErrorLocked(path_ + ": this user may not change the store", EACCES);
    return false;
  }
  FileLock fileLock(FollowLinks(path_), wait);
  if (!fileLock.ok()) {
    SetErrorLocked(fileLock.error(), fileLock.osError());
    return false;
  }
  if (!LoadLocked()) return false;
  bool changed = false;
  const bool ok = change(*tree_, changed);
  if (!changed) return ok;
  if (!SaveLocked()) return false;
  return ok;
}

bool RegistryStore::Read(const std::function<void(const regtree::Tree&)>& read) {
  MutexHold lock(mutex_);
  if (!LoadLocked()) return false;
  read(*tree_);
  return true;
}

bool RegistryStore::KeyExists(const std::string& path) {
  MutexHold lock(mutex_);
  return LoadLocked() && tree_->KeyExists(path);
}

std::optional<uint32_t> RegistryStore::SubkeyCount(const std::string& path) {
  MutexHold lock(mutex_);
  if (!LoadLocked()) return std::nullopt;
  return tree_->SubkeyCount(path);
}

std::optional<uint32_t> RegistryStore::ValueCount(const std::string& path) {
  MutexHold lock(mutex_);
  if (!LoadLocked()) return std::nullopt;
  return tree_->ValueCount(path);
}

std::optional<std::string> RegistryStore::SubkeyName(const std::string& path, uint32_t index) {
  MutexHold lock(mutex_);
  if (!LoadLocked()) return std::nullopt;
  return tree_->SubkeyName(path, index);
}

std::optional<RegValue> RegistryStore::ValueAt(const std::string& path, uint32_t index) {
  MutexHold lock(mutex_);
  if (!LoadLocked()) return std::nullopt;
  return tree_->ValueAt(path, index);
}

std::optional<RegValue> RegistryStore::GetValue(const std::string& path, const std::string& name) {
  MutexHold lock(mutex_);
  if (!LoadLocked()) return std::nullopt;
  return tree_->GetValue(path, name);
}

bool RegistryStore::SetValue(const std::string& path, const RegValue& value) {
  return Modify([&](regtree::Tree& t, bool& changed) { return t.SetValue(path, value, changed); });
}

bool RegistryStore::CreateKey(const std::string& path) {
  return Modify([&](regtree::Tree& t, bool& changed) { return t.CreateKey(path, changed); });
}

bool RegistryStore::DeleteTree(const std::string& path) {
  return Modify([&](regtree::Tree& t, bool& changed) { return t.DeleteTree(path, changed); });
}

bool RegistryStore::DeleteValue(const std::string& path, const std::string& name) {
  return Modify(
      [&](regtree::Tree& t, bool& changed) { return t.DeleteValue(path, name, changed); });
}

bool RegistryStore::Import(std::string_view text, const std::string& source) {
  // Checked on a scratch tree first, so that a malformed line changes nothing.
  {
    regtree::Tree scratch;
    int line = 0;
    std::string message;
    if (!ParseRegText(text, scratch, line, message)) {
      MutexHold lock(mutex_);
      SetErrorLocked(source + ":" + std::to_string(line) + ": " + message);
      return false;
    }
  }
  return Modify([&](regtree::Tree& t, bool& changed) {
    const std::string before = FormatRegText(t);
    int line = 0;
    std::string message;
    const bool ok = ParseRegText(text, t, line, message);
    changed = FormatRegText(t) != before;
    return ok;
  });
}

std::unique_ptr<Registry> MakeRegistryStore(const std::string& path) {
  return std::make_unique<RegistryStore>(path);
}

std::string RegistryStoreLastError() {
  MutexHold lock(gErrorMutex);
  return gLastError;
}

}  // namespace kirnow::platform
