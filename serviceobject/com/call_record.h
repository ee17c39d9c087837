// The field trace's record of one dispatch method, made in the method's frame: the method's
// name and its arguments as the caller passed them (named as the method table names them), what
// it handed back, pRC, ResultCode after it and how long it took. The property methods are
// recorded as reads and writes of the property, by name and index. While the trace is off
// nothing is gathered but the time.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/com/com_types.h"
#include "serviceobject/core/so_state.h"

namespace kirnow::server {

// One argument as the record shows it: a number, a quoted text, "null" for a null pointer, a
// reference by what it refers to, a dispatch pointer as "set" or "null".
std::string ArgText(LONG value);
std::string ArgText(VARIANT_BOOL value);
std::string ArgText(BSTR value);
std::string ArgText(const LONG* value);
std::string ArgText(BSTR const* value);
std::string ArgText(IDispatch* value);

class CallRecord {
 public:
  CallRecord(ModuleState& module, const char* method);

  // The arguments in the method's order, taken once, while the trace is on (a method that
  // switched the trace on gives them after its work: they are its inputs, unchanged).
  template <typename... Args>
  void Arguments(const Args&... args) {
    if (!described_ && module_.fieldTrace.On()) {
      values_ = {ArgText(args)...};
      described_ = true;
    }
  }
  // A property method's record: a read or a write of the property at `index`.
  void Property(int32_t index, bool write) {
    property_ = true;
    write_ = write;
    index_ = index;
  }
  // What the method handed back (a property read's value, a character read), or a property
  // write's value.
  void Returned(std::string text) { returned_ = std::move(text); }
  bool On() const { return module_.fieldTrace.On(); }

  // Ends the record and hands it to the trace.
  void Done(HRESULT hr, const LONG* pRC, int32_t resultCode);

 private:
  ModuleState& module_;
  const char* method_;
  uint64_t start_;
  bool described_ = false;
  std::vector<std::string> values_;
  std::optional<std::string> returned_;
  bool property_ = false;
  bool write_ = false;
  int32_t index_ = 0;
};

}  // namespace kirnow::server
