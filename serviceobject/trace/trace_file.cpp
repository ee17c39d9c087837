// The field trace's two files of one process (trace_file.h).
#include "serviceobject/trace/trace_file.h"

#include <utility>

namespace kirnow::trace {

bool TraceFile::Open(const std::string& folder, const std::string& fileName, uint64_t maxBytes,
                     std::string header, int& osError) {
  Close();
  if (!files_.MakeFolder(folder, osError)) return false;
  path_ = platform::JoinPath(folder, fileName);
  older_ = path_ + ".1";
  header_ = std::move(header);
  half_ = maxBytes / 2;
  KeepOrRemoveOlder();
  file_ = files_.OpenAppend(path_, osError);
  if (!file_) return false;
  // A file left larger than its half (a bigger cap before) moves aside at once.
  if (file_->Size() > half_ && !Rotate(osError)) return false;
  return true;
}

void TraceFile::KeepOrRemoveOlder() {
  int ignored = 0;
  if (files_.SizeOf(older_) > static_cast<int64_t>(half_)) files_.Remove(older_, ignored);
}

bool TraceFile::Rotate(int& osError) {
  file_.reset();
  if (!files_.Rename(path_, older_, osError)) return false;
  KeepOrRemoveOlder();
  file_ = files_.OpenAppend(path_, osError);
  return file_ != nullptr && file_->Append(header_, osError);
}

bool TraceFile::Write(std::string_view line, int& osError) {
  if (!file_) return false;
  if (file_->Size() != 0 && file_->Size() + line.size() > half_ && !Rotate(osError)) {
    file_.reset();
    return false;
  }
  if (file_->Append(line, osError)) return true;
  file_.reset();
  return false;
}

}  // namespace kirnow::trace
