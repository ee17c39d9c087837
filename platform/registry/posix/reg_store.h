// The Linux registry store: the registry kept in a text file in the format of a regedit export
// ("Windows Registry Editor Version 5.00"). Every operation reads the file afresh (other
// processes change it); every change is written to a temporary file beside it, synced and
// renamed over it, under an exclusive lock on "<file>.lock" held from the read to the rename.
// Reads take no lock (the file is replaced whole). Nobody waits long for the lock: a change
// whose lock another process holds fails after a brief retry at most. The lock file follows
// the store's permissions: each class of user that may write the store may read and write the
// lock file and no other may open it, so nobody who may only read the store can hold its lock;
// its group is the store's. A process that may not write the store never takes the lock.
// A file that cannot be parsed is never written: every operation on it fails, and the error
// names the file and the line. A save keeps every part of the file that the change did not touch
// as it was (comments included; see reg_writer.h). The reading is reg_parser.h's.
#pragma once

#include <sys/types.h>

#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "platform/registry/posix/reg_writer.h"
#include "platform/registry/reg_tree.h"
#include "platform/registry/registry.h"
#include "platform/sync/thread_safety.h"

namespace kirnow::platform {

// $KIRNOW_REGISTRY, or "$HOME/.kirnow/registry.reg" when it is unset.
std::string DefaultRegistryPath();

class RegistryStore : public Registry {
 public:
  explicit RegistryStore(std::string path);

  bool KeyExists(const std::string& path) override;
  std::optional<uint32_t> SubkeyCount(const std::string& path) override;
  std::optional<uint32_t> ValueCount(const std::string& path) override;
  std::optional<std::string> SubkeyName(const std::string& path, uint32_t index) override;
  std::optional<RegValue> ValueAt(const std::string& path, uint32_t index) override;
  std::optional<RegValue> GetValue(const std::string& path, const std::string& name) override;
  bool SetValue(const std::string& path, const RegValue& value) override;
  bool CreateKey(const std::string& path) override;
  bool DeleteTree(const std::string& path) override;
  bool DeleteValue(const std::string& path, const std::string& name) override;

  // Applies a file in the .reg format (as regedit imports one: keys and values are added or
  // replaced, "[-KEY]" and "name"=- delete) in one change under the store's lock. `source`
  // names the text in errors. Nothing is written when the text or the store is malformed.
  bool Import(std::string_view text, const std::string& source);

  const std::string& path() const { return path_; }
  // Why the last operation failed to load or save the file ("<file>:<line>: <reason>" for a
  // malformed file); empty after a successful one.
  std::string LastError() const;
  // The OS error (errno) behind that failure; EWOULDBLOCK when another process held the lock,
  // 0 after a success or for a malformed file.
  int LastOsError() const;

  // Whether this process may change the store: write the file (when there is one) and replace
  // it in its folder. Asks the file system; takes no lock.
  bool MayWrite() const;

  // Lets `read` look at the whole tree as the file holds it now; false when it can't be read.
  bool Read(const std::function<void(const regtree::Tree&)>& read) KIRNOW_EXCLUDES(mutex_);
  // How long a change waits when another process holds the store's lock: kNone tries once;
  // kBrief tries again, sleeping between tries, for kBriefLockWaitMs in all.
  enum class LockWait { kNone, kBrief };
  static constexpr int kBriefLockWaitMs = 100;

  // Runs a change under the file lock; writes the file only when the change says the tree
  // changed. For changes that must read and write in one step (a free number, say). False,
  // with the change not run, when the store may not be written or the lock could not be had.
  bool Modify(const std::function<bool(regtree::Tree&, bool&)>& change,
              LockWait wait = LockWait::kBrief) KIRNOW_EXCLUDES(mutex_);

 private:
  struct FileId {
    bool exists = false;
    dev_t dev = 0;
    ino_t ino = 0;
    off_t size = 0;
    long long mtimeNs = 0;
    long long ctimeNs = 0;
    bool operator==(const FileId&) const = default;
  };

  // Brings tree_ up to date with the file; false (with the error recorded) when it can't.
  bool LoadLocked() KIRNOW_REQUIRES(mutex_);
  bool SaveLocked() KIRNOW_REQUIRES(mutex_);
  // Records the error and the OS error behind it (0: none).
  void SetErrorLocked(std::string error, int osError = 0) KIRNOW_REQUIRES(mutex_);

  const std::string path_;
  // Held for each operation, the file lock and the file's reading and writing included; a
  // Read's or a Modify's function runs under it and must not call the store again.
  mutable Mutex mutex_;
  // The file as last read; null when unknown.
  std::unique_ptr<regtree::Tree> tree_ KIRNOW_GUARDED_BY(mutex_);
  RegLayout layout_ KIRNOW_GUARDED_BY(mutex_);  // its text layout
  FileId loadedId_ KIRNOW_GUARDED_BY(mutex_);
  std::string lastError_ KIRNOW_GUARDED_BY(mutex_);
  int lastOsError_ KIRNOW_GUARDED_BY(mutex_) = 0;
};

std::unique_ptr<Registry> MakeRegistryStore(const std::string& path);

// The error of the most recent failed load or save of any store in this process (empty when
// the most recent operation succeeded); for tools that hold only a Registry.
std::string RegistryStoreLastError();

}  // namespace kirnow::platform
