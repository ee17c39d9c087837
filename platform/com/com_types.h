// COM and OLE Automation types. On Windows these are the system's own headers. Elsewhere
// posix/com_definitions.h defines the subset that the service object, its control object and
// their tools use, with the names, layouts and values that Windows gives them, so that the same
// sources build on both: HRESULT codes, GUIDs, BSTR (length-prefixed UTF-16), VARIANT, DISPPARAMS
// and the interfaces IUnknown, IClassFactory, IDispatch and the connection-point family.
//
// The helpers in namespace kirnow::com exist on every platform.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#ifdef _WIN32

#include "platform/win32/windows_headers.h"

#else

#include "platform/com/posix/com_definitions.h"

#endif  // _WIN32

// ---- Helpers on every platform ----------------------------------------------------------------

namespace kirnow::com {

// "{7D3C2A41-5B8E-4F2A-9C61-2E4B8D1A6F30}": upper-case hexadecimal, braces included.
std::string GuidToString(const GUID& guid);
// Accepts the braced form in either case; nullopt for anything else.
std::optional<GUID> GuidFromString(std::string_view text);

// UTF-8 <-> UTF-16. Invalid input is replaced by U+FFFD; nothing throws except bad_alloc.
std::u16string Utf8ToUtf16(std::string_view utf8);
std::string Utf16ToUtf8(std::u16string_view utf16);

// A newly allocated BSTR holding `text` (which may contain zeros); nullptr only when out of
// memory.
BSTR AllocBstr(std::u16string_view text);
BSTR AllocBstrUtf8(std::string_view utf8);
// The characters of a BSTR by its length prefix; a null BSTR is empty.
std::u16string_view BstrView(BSTR bstr);

// Call arguments by value: a VT_I4, and a VT_BSTR that borrows `s` (the caller keeps it).
VARIANT LongArg(LONG v);
VARIANT BstrArg(BSTR s);

// Owns one BSTR.
class Bstr {
 public:
  Bstr() = default;
  explicit Bstr(std::u16string_view text) : s_(AllocBstr(text)) {}
  ~Bstr() { SysFreeString(s_); }
  Bstr(const Bstr&) = delete;
  Bstr& operator=(const Bstr&) = delete;
  Bstr(Bstr&& other) noexcept : s_(other.s_) { other.s_ = nullptr; }
  Bstr& operator=(Bstr&& other) noexcept {
    if (this != &other) {
      SysFreeString(s_);
      s_ = other.s_;
      other.s_ = nullptr;
    }
    return *this;
  }
  BSTR get() const { return s_; }
  BSTR* receive() {
    SysFreeString(s_);
    s_ = nullptr;
    return &s_;
  }
  BSTR release() {
    BSTR s = s_;
    s_ = nullptr;
    return s;
  }
  std::u16string_view view() const { return BstrView(s_); }

 private:
  BSTR s_ = nullptr;
};

// Owns one VARIANT and clears it.
class Variant {
 public:
  Variant() { VariantInit(&v_); }
  ~Variant() { VariantClear(&v_); }
  Variant(const Variant&) = delete;
  Variant& operator=(const Variant&) = delete;
  VARIANT* get() { return &v_; }
  const VARIANT* get() const { return &v_; }
  VARIANT* operator->() { return &v_; }

 private:
  VARIANT v_;
};

// The ordinary COM reference holder: releases on destruction.
template <typename T>
class Ref {
 public:
  Ref() = default;
  explicit Ref(T* p, bool addRef = false) : p_(p) {
    if (p_ && addRef) p_->AddRef();
  }
  ~Ref() { reset(); }
  Ref(const Ref& other) : p_(other.p_) {
    if (p_) p_->AddRef();
  }
  Ref& operator=(const Ref& other) {
    if (this != &other) {
      if (other.p_) other.p_->AddRef();
      reset();
      p_ = other.p_;
    }
    return *this;
  }
  Ref(Ref&& other) noexcept : p_(other.p_) { other.p_ = nullptr; }
  Ref& operator=(Ref&& other) noexcept {
    if (this != &other) {
      reset();
      p_ = other.p_;
      other.p_ = nullptr;
    }
    return *this;
  }
  void reset() {
    if (p_) {
      T* p = p_;
      p_ = nullptr;
      p->Release();
    }
  }
  T* get() const { return p_; }
  T* operator->() const { return p_; }
  explicit operator bool() const { return p_ != nullptr; }
  // For out parameters: releases what is held and hands out the slot.
  T** receive() {
    reset();
    return &p_;
  }
  void** receiveVoid() { return reinterpret_cast<void**>(receive()); }
  T* detach() {
    T* p = p_;
    p_ = nullptr;
    return p;
  }

 private:
  T* p_ = nullptr;
};

}  // namespace kirnow::com
