// Files in memory (memory_files.h).
#include "tests/fakes/memory_files.h"

#include <errno.h>

#include <algorithm>

namespace kirnow::fakes {

// An open file: appends go to the map under the files' lock, as far as the free space goes.
class MemoryFiles::File final : public platform::AppendFile {
 public:
  File(MemoryFiles& files, std::string path) : files_(files), path_(std::move(path)) {}
  bool Append(std::string_view bytes, int& osError) override {
    std::unique_lock<std::mutex> hold(files_.mutex_);
    ++files_.waiting_;
    files_.released_.wait(hold, [this] { return !files_.held_; });
    --files_.waiting_;
    std::string& text = files_.files_[path_];
    const size_t room = static_cast<size_t>(std::min<uint64_t>(files_.freeSpace_, bytes.size()));
    text.append(bytes.substr(0, room));
    files_.freeSpace_ -= room;
    if (room == bytes.size()) return true;
    osError = ENOSPC;
    return false;
  }
  uint64_t Size() const override {
    std::lock_guard<std::mutex> hold(files_.mutex_);
    const auto it = files_.files_.find(path_);
    return it == files_.files_.end() ? 0 : it->second.size();
  }

 private:
  MemoryFiles& files_;
  std::string path_;
};

bool MemoryFiles::RefusedLocked(const std::string& path, int& osError) const {
  for (const auto& [folder, error] : refused_) {
    if (path == folder || path.rfind(folder + "/", 0) == 0) {
      osError = error;
      return true;
    }
  }
  return false;
}

bool MemoryFiles::MakeFolder(const std::string& folder, int& osError) {
  std::lock_guard<std::mutex> hold(mutex_);
  if (RefusedLocked(folder, osError)) return false;
  folders_.insert(folder);
  return true;
}

std::unique_ptr<platform::AppendFile> MemoryFiles::OpenAppend(const std::string& path,
                                                              int& osError) {
  std::lock_guard<std::mutex> hold(mutex_);
  if (RefusedLocked(path, osError)) return nullptr;
  files_[path];
  return std::make_unique<File>(*this, path);
}

bool MemoryFiles::Rename(const std::string& from, const std::string& to, int& osError) {
  std::lock_guard<std::mutex> hold(mutex_);
  const auto it = files_.find(from);
  if (it == files_.end()) {
    osError = ENOENT;
    return false;
  }
  files_[to] = std::move(it->second);
  files_.erase(from);
  return true;
}

bool MemoryFiles::Remove(const std::string& path, int&) {
  std::lock_guard<std::mutex> hold(mutex_);
  files_.erase(path);
  return true;
}

int64_t MemoryFiles::SizeOf(const std::string& path) {
  std::lock_guard<std::mutex> hold(mutex_);
  const auto it = files_.find(path);
  return it == files_.end() ? -1 : static_cast<int64_t>(it->second.size());
}

void MemoryFiles::Refuse(const std::string& folder, int osError) {
  std::lock_guard<std::mutex> hold(mutex_);
  refused_[folder] = osError;
}

void MemoryFiles::SetFreeSpace(uint64_t bytes) {
  std::lock_guard<std::mutex> hold(mutex_);
  freeSpace_ = bytes;
}

void MemoryFiles::HoldWrites(bool held) {
  {
    std::lock_guard<std::mutex> hold(mutex_);
    held_ = held;
  }
  released_.notify_all();
}

int MemoryFiles::WaitingWrites() const {
  std::lock_guard<std::mutex> hold(mutex_);
  return waiting_;
}

std::string MemoryFiles::Read(const std::string& path) const {
  std::lock_guard<std::mutex> hold(mutex_);
  const auto it = files_.find(path);
  return it == files_.end() ? std::string() : it->second;
}

std::set<std::string> MemoryFiles::Paths() const {
  std::lock_guard<std::mutex> hold(mutex_);
  std::set<std::string> paths;
  for (const auto& [path, text] : files_) paths.insert(path);
  return paths;
}

}  // namespace kirnow::fakes
