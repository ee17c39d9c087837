// File seam: the few operations on files of its own that the library needs (the field trace):
// making a private folder, appending to a private file, renaming and removing. Paths are UTF-8.
// Every failure keeps the OS error (errno, GetLastError).
//
// Private means: on Linux a folder made here is mode 0700 and a file 0600; on Windows a folder
// made here and a file created here carry a protected access list of their own that lets
// SYSTEM, the administrators and the account that writes them in, and nobody else.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace kirnow::platform {

#ifdef _WIN32
inline constexpr char kPathSeparator = '\\';
#else
inline constexpr char kPathSeparator = '/';
#endif

// `folder` and `name` joined by the platform's separator.
inline std::string JoinPath(std::string_view folder, std::string_view name) {
  std::string path(folder);
  if (!path.empty() && path.back() != '/' && path.back() != kPathSeparator) {
    path.push_back(kPathSeparator);
  }
  path.append(name);
  return path;
}

// A file open for appending. Not shared between threads.
class AppendFile {
 public:
  virtual ~AppendFile() = default;
  // Appends all of `bytes`; false with the OS error when not all of them went (a full disk).
  virtual bool Append(std::string_view bytes, int& osError) = 0;
  // The file's size: what it held when opened and what was appended since.
  virtual uint64_t Size() const = 0;
};

class Files {
 public:
  virtual ~Files() = default;
  // Makes `folder` and any missing parents, each private. True when it is a folder afterwards.
  virtual bool MakeFolder(const std::string& folder, int& osError) = 0;
  // Opens `path` for appending, created private when it does not exist (on Linux a file there
  // already is made private where this account may). Only a plain file is opened, never through
  // a link.
  virtual std::unique_ptr<AppendFile> OpenAppend(const std::string& path, int& osError) = 0;
  // Renames `from` to `to`, replacing a file there.
  virtual bool Rename(const std::string& from, const std::string& to, int& osError) = 0;
  // Removes the file; true when it is gone afterwards (also when it was not there).
  virtual bool Remove(const std::string& path, int& osError) = 0;
  // The size of the plain file at `path`; -1 when there is none.
  virtual int64_t SizeOf(const std::string& path) = 0;
  // Where the field trace goes unless its device entry names a folder: %ProgramData%\Kirnow\Trace
  // on Windows, ~/.kirnow/trace on Linux.
  virtual std::string DefaultTraceFolder() = 0;
};

std::unique_ptr<Files> MakeSystemFiles();

#ifndef _WIN32
// $HOME/.kirnow ("./.kirnow" without a home): the folder of the library's own files on Linux,
// the registry store's and the trace's.
std::string KirnowHomeFolder();
#endif

}  // namespace kirnow::platform
