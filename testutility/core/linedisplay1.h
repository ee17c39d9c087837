// CLinedisplay1: typed calls on the hosted LineDisplay control object. Every operation is one
// late-bound Invoke with a fixed DISPID of the control's dispatch interface; names are never
// looked up. A call that the dispatch interface rejects throws DispatchError; OPOS result codes
// returned as values are handed back untouched.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <stdexcept>
#include <string>
#include <string_view>

#include "platform/com/com_types.h"

namespace polecheck {

// A failure at the dispatch level (an HRESULT, as opposed to an OPOS result code).
class DispatchError : public std::runtime_error {
 public:
  DispatchError(HRESULT hr, std::string description);
  HRESULT Code() const { return hr_; }
  // The control's own error description (empty when it reported none).
  const std::string& Description() const { return description_; }
  // The text shown to the user: the description, or the failing HRESULT.
  std::string UserText() const;

 private:
  HRESULT hr_;
  std::string description_;
};

class CLinedisplay1 {
 public:
  CLinedisplay1() = default;
  explicit CLinedisplay1(IDispatch* control);  // takes a reference of its own
  ~CLinedisplay1();
  CLinedisplay1(const CLinedisplay1&) = delete;
  CLinedisplay1& operator=(const CLinedisplay1&) = delete;

  void Attach(IDispatch* control);  // takes a reference of its own, drops the previous one
  IDispatch* Control() const { return control_; }

  void SetDeviceEnabled(bool enabled);
  int32_t GetResultCode();
  std::u16string GetDeviceName();
  int32_t ClaimDevice(int32_t timeout);
  int32_t Close();
  int32_t Open(std::u16string_view deviceName);
  bool GetClaimed();  // DISPID 39, the control's Claimed property
  int32_t GetCurrentWindow();
  void SetCurrentWindow(int32_t window);
  void SetInterCharacterWait(int32_t ms);
  void SetMarqueeType(int32_t type);
  void SetMarqueeUnitWait(int32_t ms);
  int32_t ClearText();
  int32_t CreateWindow(int32_t viewportRow, int32_t viewportColumn, int32_t viewportHeight,
                       int32_t viewportWidth, int32_t windowHeight, int32_t windowWidth);
  int32_t DestroyWindow();
  int32_t DisplayText(std::u16string_view data, int32_t attribute);
  int32_t DisplayTextAt(int32_t row, int32_t column, std::u16string_view data, int32_t attribute);

  // One argument of a call: a 32-bit integer, a Boolean or a text.
  struct Arg {
    enum class Kind { I4, Bool, Text } kind;
    int32_t i4 = 0;
    std::u16string_view text;
    static Arg I4(int32_t v) { return Arg{Kind::I4, v, {}}; }
    static Arg Bool(bool v) { return Arg{Kind::Bool, v ? 1 : 0, {}}; }
    static Arg Text(std::u16string_view t) { return Arg{Kind::Text, 0, t}; }
  };

 private:
  // Invokes `id` with `kind` and the arguments in their natural order; the result (if wanted)
  // comes back in `result`, which the caller clears.
  void InvokeHelper(DISPID id, WORD kind, std::initializer_list<Arg> args, VARIANT* result);
  int32_t InvokeI4(DISPID id, WORD kind, std::initializer_list<Arg> args);
  void Put(DISPID id, Arg value);

  IDispatch* control_ = nullptr;
};

}  // namespace polecheck
