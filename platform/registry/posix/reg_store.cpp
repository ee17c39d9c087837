// The Linux registry store: a regedit-format text file, read afresh for every operation and
// replaced atomically under a file lock for every change. See reg_store.h.
#include "platform/registry/posix/reg_store.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/registry/posix/reg_parser.h"

namespace kirnow::platform {
namespace {

std::mutex gErrorMutex;
std::string gLastError;    // process-wide, for RegistryStoreLastError
std::string gLastPrinted;  // each distinct error is printed once

void PublishError(const std::string& error) {
  std::lock_guard<std::mutex> lock(gErrorMutex);
  gLastError = error;
  if (!error.empty() && error != gLastPrinted) {
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

// An exclusive lock on "<file>.lock" for as long as the object lives.
class FileLock {
 public:
  explicit FileLock(const std::string& path) {
    MakeDirs(DirOf(path));
    fd_ = open((path + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd_ < 0) {
      error_ = ErrnoText("cannot open the lock file", path + ".lock");
      return;
    }
    while (flock(fd_, LOCK_EX) != 0) {
      if (errno != EINTR) {
        error_ = ErrnoText("cannot lock", path + ".lock");
        close(fd_);
        fd_ = -1;
        return;
      }
    }
  }
  ~FileLock() {
    if (fd_ >= 0) close(fd_);  // closing releases the lock
  }
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;
  bool ok() const { return fd_ >= 0; }
  const std::string& error() const { return error_; }

 private:
  int fd_ = -1;
  std::string error_;
};

}  // namespace

std::string DefaultRegistryPath() {
  if (const char* env = std::getenv("KIRNOW_REGISTRY"); env != nullptr && *env != '\0') {
    return env;
  }
  const char* home = std::getenv("HOME");
  return std::string(home != nullptr && *home != '\0' ? home : ".") + "/.kirnow/registry.reg";
}

RegistryStore::RegistryStore(std::string path) : path_(std::move(path)) {}

std::string RegistryStore::LastError() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return lastError_;
}

void RegistryStore::SetErrorLocked(std::string error) {
  lastError_ = std::move(error);
  PublishError(lastError_);
}

bool RegistryStore::LoadLocked() {
  const int fd = open(path_.c_str(), O_RDONLY | O_CLOEXEC);
  FileId id;
  if (fd < 0) {
    if (errno != ENOENT) {
      tree_.reset();
      SetErrorLocked(ErrnoText("cannot read", path_));
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
  char buf[65536];
  while (true) {
    const ssize_t n = read(fd, buf, sizeof buf);
    if (n < 0) {
      if (errno == EINTR) continue;
      const std::string err = ErrnoText("cannot read", path_);
      close(fd);
      tree_.reset();
      SetErrorLocked(err);
      return false;
    }
    if (n == 0) break;
    text.append(buf, static_cast<size_t>(n));
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
  const std::string text = FormatRegText(*tree_, layout_);
  std::string tmpl = target + ".tmpXXXXXX";
  const int fd = mkstemp(tmpl.data());
  if (fd < 0) {
    SetErrorLocked(ErrnoText("cannot create a temporary file beside", path_));
    return false;
  }
  struct stat old {};
  const mode_t mode = stat(target.c_str(), &old) == 0 ? (old.st_mode & 07777) : 0644;
  const bool ok = fchmod(fd, mode) == 0 && WriteAll(fd, text) && fsync(fd) == 0;
  const int savedErrno = errno;
  close(fd);
  if (!ok || rename(tmpl.c_str(), target.c_str()) != 0) {
    if (ok) {
      SetErrorLocked(ErrnoText("cannot replace", target));
    } else {
      errno = savedErrno;
      SetErrorLocked(ErrnoText("cannot write", tmpl));
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
  layout_ = ReadRegLayout(text);
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

bool RegistryStore::Modify(const std::function<bool(regtree::Tree&, bool&)>& change) {
  std::lock_guard<std::mutex> lock(mutex_);
  FileLock fileLock(FollowLinks(path_));
  if (!fileLock.ok()) {
    SetErrorLocked(fileLock.error());
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
  std::lock_guard<std::mutex> lock(mutex_);
  if (!LoadLocked()) return false;
  read(*tree_);
  return true;
}

bool RegistryStore::KeyExists(const std::string& path) {
  std::lock_guard<std::mutex> lock(mutex_);
  return LoadLocked() && tree_->KeyExists(path);
}

std::optional<uint32_t> RegistryStore::SubkeyCount(const std::string& path) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!LoadLocked()) return std::nullopt;
  return tree_->SubkeyCount(path);
}

std::optional<uint32_t> RegistryStore::ValueCount(const std::string& path) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!LoadLocked()) return std::nullopt;
  return tree_->ValueCount(path);
}

std::optional<std::string> RegistryStore::SubkeyName(const std::string& path, uint32_t index) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!LoadLocked()) return std::nullopt;
  return tree_->SubkeyName(path, index);
}

std::optional<RegValue> RegistryStore::ValueAt(const std::string& path, uint32_t index) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!LoadLocked()) return std::nullopt;
  return tree_->ValueAt(path, index);
}

std::optional<RegValue> RegistryStore::GetValue(const std::string& path, const std::string& name) {
  std::lock_guard<std::mutex> lock(mutex_);
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
      std::lock_guard<std::mutex> lock(mutex_);
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
  std::lock_guard<std::mutex> lock(gErrorMutex);
  return gLastError;
}

}  // namespace kirnow::platform
