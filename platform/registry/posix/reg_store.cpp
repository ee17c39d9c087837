// The Linux registry store: a regedit-format text file, read afresh for every operation and
// replaced atomically under a file lock for every change. See reg_store.h.
#include "platform/registry/posix/reg_store.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/text/utf_convert.h"

namespace kirnow::platform {
namespace {

constexpr std::string_view kHeader = "Windows Registry Editor Version 5.00";

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

// ---- parsing ----------------------------------------------------------------------------

std::string_view TrimLeft(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  return s;
}

std::string_view TrimRight(std::string_view s) {
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) {
    s.remove_suffix(1);
  }
  return s;
}

std::string_view Trim(std::string_view s) { return TrimRight(TrimLeft(s)); }

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

struct ParseError {
  std::string message;
};

// Reads a quoted string starting at s[0] == '"'; unescapes \\ and \". Leaves `s` after the
// closing quote.
std::string ReadQuoted(std::string_view& s) {
  std::string out;
  size_t i = 1;
  for (; i < s.size(); ++i) {
    const char c = s[i];
    if (c == '"') break;
    if (c == '\\') {
      if (i + 1 >= s.size() || (s[i + 1] != '\\' && s[i + 1] != '"')) {
        throw ParseError{"a backslash in a quoted name or string must be written \\\\"};
      }
      out.push_back(s[++i]);
    } else {
      out.push_back(c);
    }
  }
  if (i >= s.size()) throw ParseError{"missing closing quote"};
  s.remove_prefix(i + 1);
  return out;
}

std::vector<uint8_t> ParseHexList(std::string_view list) {
  std::vector<uint8_t> out;
  list = Trim(list);
  if (list.empty()) return out;
  size_t start = 0;
  while (true) {
    const size_t comma = list.find(',', start);
    std::string_view tok = Trim(list.substr(
        start, comma == std::string_view::npos ? std::string_view::npos : comma - start));
    if (tok.empty() && comma == std::string_view::npos && !out.empty()) break;  // "01,02,"
    if (tok.empty() || tok.size() > 2 || HexDigit(tok[0]) < 0 ||
        (tok.size() == 2 && HexDigit(tok[1]) < 0)) {
      throw ParseError{"bad byte '" + std::string(tok) + "' in a hex value"};
    }
    out.push_back(static_cast<uint8_t>(tok.size() == 1 ? HexDigit(tok[0])
                                                       : HexDigit(tok[0]) * 16 + HexDigit(tok[1])));
    if (comma == std::string_view::npos) break;
    start = comma + 1;
  }
  return out;
}

std::vector<uint8_t> Utf8ToRegString(std::string_view text) {
  const auto wide = Utf8ToUtf16Strict(text);
  if (!wide) throw ParseError{"string is not valid UTF-8"};
  std::vector<uint8_t> data;
  data.reserve((wide->size() + 1) * 2);
  for (char16_t c : *wide) {
    data.push_back(static_cast<uint8_t>(c & 0xFF));
    data.push_back(static_cast<uint8_t>(c >> 8));
  }
  data.push_back(0);
  data.push_back(0);
  return data;
}

std::vector<std::string_view> SplitLines(std::string_view text) {
  std::vector<std::string_view> lines;
  size_t start = 0;
  while (start <= text.size()) {
    const size_t nl = text.find('\n', start);
    if (nl == std::string_view::npos) {
      if (start < text.size()) lines.push_back(text.substr(start));
      break;
    }
    lines.push_back(text.substr(start, nl - start));
    start = nl + 1;
  }
  return lines;
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

bool ParseRegText(std::string_view text, regtree::Tree& tree, int& line, std::string& message) {
  std::string converted;
  if (text.size() >= 2 && static_cast<uint8_t>(text[0]) == 0xFF &&
      static_cast<uint8_t>(text[1]) == 0xFE) {
    // A file saved by regedit itself is UTF-16LE with a byte order mark.
    std::u16string wide;
    for (size_t i = 2; i + 1 < text.size(); i += 2) {
      wide.push_back(static_cast<char16_t>(static_cast<uint8_t>(text[i]) |
                                           (static_cast<uint8_t>(text[i + 1]) << 8)));
    }
    if (text.size() % 2 != 0) {
      // A byte of a character is missing: the file was cut short. Refused at the line the cut
      // falls on, like any other damage, rather than read without its last character.
      line = 1 + static_cast<int>(std::count(wide.begin(), wide.end(), u'\n'));
      message = "the file ends inside a UTF-16 character (it was cut short)";
      return false;
    }
    const auto utf8 = Utf16ToUtf8Strict(wide);
    if (!utf8) {
      line = 1;
      message = "the file is not valid UTF-16";
      return false;
    }
    converted = *utf8;
    text = converted;
  } else if (text.size() >= 3 && text.substr(0, 3) == "\xEF\xBB\xBF") {
    text.remove_prefix(3);
  }

  const std::vector<std::string_view> lines = SplitLines(text);
  bool sawHeader = false;
  regtree::Key* current = nullptr;
  bool skipping = false;  // inside a "[-KEY]" deletion section
  size_t i = 0;
  try {
    for (; i < lines.size(); ++i) {
      std::string_view l = Trim(lines[i]);
      if (l.empty() || l.front() == ';') continue;
      if (!sawHeader) {
        if (l != kHeader) throw ParseError{"expected \"" + std::string(kHeader) + "\""};
        sawHeader = true;
        continue;
      }
      if (l.front() == '[') {
        if (l.back() != ']') throw ParseError{"a key line must end with ']'"};
        std::string_view inner = l.substr(1, l.size() - 2);
        const bool remove = !inner.empty() && inner.front() == '-';
        if (remove) inner.remove_prefix(1);
        const auto path = regtree::ParsePath(inner);
        if (!path) throw ParseError{"bad key path '" + std::string(inner) + "'"};
        if (remove) {
          bool changed = false;
          if (!path->parts.empty()) tree.DeleteTree(std::string(inner), changed);
          current = nullptr;
          skipping = true;
        } else {
          current = tree.Create(*path);
          skipping = false;
        }
        continue;
      }
      if (l.front() != '"' && l.front() != '@') throw ParseError{"unexpected text"};
      if (current == nullptr && !skipping) throw ParseError{"a value before the first key"};
      const size_t valueLine = i;
      std::string name;
      if (l.front() == '@') {
        l.remove_prefix(1);
      } else {
        name = ReadQuoted(l);
      }
      l = TrimLeft(l);
      if (l.empty() || l.front() != '=') throw ParseError{"expected '=' after the value name"};
      l = TrimLeft(l.substr(1));

      RegValue v;
      v.name = name;
      bool remove = false;
      if (!l.empty() && l.front() == '"') {
        const std::string s = ReadQuoted(l);
        if (!Trim(l).empty()) throw ParseError{"text after the closing quote"};
        v.type = RegType::String;
        v.data = Utf8ToRegString(s);
      } else if (l.substr(0, 6) == "dword:") {
        const std::string_view digits = Trim(l.substr(6));
        if (digits.empty() || digits.size() > 8) throw ParseError{"bad dword"};
        uint32_t d = 0;
        for (char c : digits) {
          if (HexDigit(c) < 0) throw ParseError{"bad dword"};
          d = d * 16 + static_cast<uint32_t>(HexDigit(c));
        }
        v = RegValue::FromDword(name, d);
      } else if (l.substr(0, 3) == "hex") {
        l.remove_prefix(3);
        uint32_t type = static_cast<uint32_t>(RegType::Binary);
        if (!l.empty() && l.front() == '(') {
          const size_t close = l.find(')');
          if (close == std::string_view::npos || close == 1 || close > 9) {
            throw ParseError{"bad hex type"};
          }
          type = 0;
          for (char c : l.substr(1, close - 1)) {
            if (HexDigit(c) < 0) throw ParseError{"bad hex type"};
            type = type * 16 + static_cast<uint32_t>(HexDigit(c));
          }
          l.remove_prefix(close + 1);
        }
        if (l.empty() || l.front() != ':') throw ParseError{"expected ':' after hex"};
        l.remove_prefix(1);
        std::string list(l);
        // A trailing backslash continues the list on the next line.
        while (!list.empty() && list.back() == '\\') {
          list.pop_back();
          if (i + 1 >= lines.size()) throw ParseError{"the file ends inside a hex value"};
          list += std::string(Trim(lines[++i]));
        }
        try {
          v.data = ParseHexList(list);
        } catch (const ParseError&) {
          i = valueLine;
          throw;
        }
        v.type = static_cast<RegType>(type);
      } else if (Trim(l) == "-") {
        remove = true;
      } else {
        throw ParseError{"unknown value type"};
      }
      if (skipping) continue;
      if (remove) {
        current->RemoveValue(name);
      } else {
        current->PutValue(v);
      }
    }
  } catch (const ParseError& e) {
    line = static_cast<int>(i) + 1;
    message = e.message;
    return false;
  }
  if (!sawHeader && !lines.empty()) {
    // Only blank lines and comments: treat like an empty file.
    for (std::string_view l : lines) {
      if (!Trim(l).empty() && Trim(l).front() != ';') {
        line = 1;
        message = "expected \"" + std::string(kHeader) + "\"";
        return false;
      }
    }
  }
  return true;
}

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
