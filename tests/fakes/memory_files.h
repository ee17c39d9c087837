// Files in memory for tests: folders and the files' contents, with the faults a disk has on
// the test's word: a folder that may not be written, a disk that fills up after some bytes, a
// disk that stops answering (appends wait until the test lets them go).
#pragma once

#include <condition_variable>
#include <cstdint>
#include <map>
#include <mutex>
#include <set>
#include <string>

#include "platform/files/files.h"

namespace kirnow::fakes {

class MemoryFiles final : public platform::Files {
 public:
  bool MakeFolder(const std::string& folder, int& osError) override;
  std::unique_ptr<platform::AppendFile> OpenAppend(const std::string& path, int& osError) override;
  bool Rename(const std::string& from, const std::string& to, int& osError) override;
  bool Remove(const std::string& path, int& osError) override;
  int64_t SizeOf(const std::string& path) override;
  std::string DefaultTraceFolder() override { return "/home/till/.kirnow/trace"; }

  // Making anything at or under `folder` fails with `osError` (EACCES: a folder this account
  // may not write).
  void Refuse(const std::string& folder, int osError);
  // From now on at most `bytes` more can be appended; then appends fail with ENOSPC.
  void SetFreeSpace(uint64_t bytes);
  // While held, every append waits.
  void HoldWrites(bool held);
  // Appends waiting now.
  int WaitingWrites() const;

  std::string Read(const std::string& path) const;
  // Every file's path, in order.
  std::set<std::string> Paths() const;

 private:
  class File;
  bool RefusedLocked(const std::string& path, int& osError) const;

  mutable std::mutex mutex_;
  std::set<std::string> folders_;
  std::map<std::string, std::string> files_;
  std::map<std::string, int> refused_;
  uint64_t freeSpace_ = UINT64_MAX;
  bool held_ = false;
  int waiting_ = 0;
  std::condition_variable released_;
};

}  // namespace kirnow::fakes
