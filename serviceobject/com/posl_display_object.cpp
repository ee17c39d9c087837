// The POSLDisplay COM object: creation, identity, connection points and the 27 methods, each
// converting its automation arguments, calling the service object and converting the results
// back. No exception leaves a method.
#include "serviceobject/com/posl_display_object.h"

#include <mutex>
#include <new>
#include <string>

#include "serviceobject/com/call_record.h"
#include "serviceobject/com/guarded.h"
#include "serviceobject/display/display_engine.h"
#include "serviceobject/trace/trace_text.h"

namespace kirnow::server {
namespace {

// Replaces the BSTR in *slot by `text` (in/out string parameters: the callee frees the old one).
HRESULT PutBstr(BSTR* slot, std::u16string_view text) {
  BSTR fresh = com::AllocBstr(text);
  if (!fresh) return E_OUTOFMEMORY;
  SysFreeString(*slot);
  *slot = fresh;
  return S_OK;
}

// The connection-point enumerator over the empty set. While it lives it holds a module lock:
// its code is the library's, so the library must not be unloaded under it.
class EmptyConnectionPoints final : public IEnumConnectionPoints {
 public:
  explicit EmptyConnectionPoints(ComModule& module) : module_(module) { module_.Lock(); }
  ~EmptyConnectionPoints() { module_.Unlock(); }
  EmptyConnectionPoints(const EmptyConnectionPoints&) = delete;
  EmptyConnectionPoints& operator=(const EmptyConnectionPoints&) = delete;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
    if (!ppv) return E_POINTER;
    if (IsEqualGUID(riid, IID_IUnknown) || IsEqualGUID(riid, IID_IEnumConnectionPoints)) {
      *ppv = static_cast<IEnumConnectionPoints*>(this);
      AddRef();
      return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG left = --refs_;
    if (left == 0) delete this;
    return left;
  }
  HRESULT STDMETHODCALLTYPE Next(ULONG count, IConnectionPoint** ppCP, ULONG* pcFetched) override {
    if (!ppCP) return E_POINTER;
    if (count != 1 && !pcFetched) return E_POINTER;
    if (pcFetched) *pcFetched = 0;
    return count == 0 ? S_OK : S_FALSE;
  }
  HRESULT STDMETHODCALLTYPE Skip(ULONG count) override { return count == 0 ? S_OK : S_FALSE; }
  HRESULT STDMETHODCALLTYPE Reset() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE Clone(IEnumConnectionPoints** ppEnum) override {
    if (!ppEnum) return E_POINTER;
    *ppEnum = new (std::nothrow) EmptyConnectionPoints(module_);
    if (!*ppEnum) return E_OUTOFMEMORY;
    return S_OK;
  }

 private:
  ComModule& module_;
  std::atomic<ULONG> refs_{1};
};

}  // namespace

// ---- Creation and identity --------------------------------------------------------------------

PoslDisplayObject::PoslDisplayObject(ComModule& module, IUnknown* outer)
    : module_(module), outer_(outer ? outer : &inner_), so_(module.State()) {
  inner_.self = this;
  module_.ObjectCreated();
}

PoslDisplayObject::~PoslDisplayObject() {
  // A client that releases the object with its session still open gets the session closed as
  // CloseService would; the last object also stops the marquee and blink workers, closes a
  // port still open (claimed after a CloseService) and ends the field trace's writer once it
  // has written what is queued, so that no worker, no port keeper and no writer outlives the
  // objects that could stop it.
  try {
    platform::RecursiveHold frame(so_.module().callLock);
    if (sessionOpen_) so_.CloseService();
    if (module_.ObjectDestroyed()) {
      StopAllWorkers(module_.State());
      module_.State().Port.Close();
      module_.State().fieldTrace.Stop();
    }
  } catch (...) {
  }
}

HRESULT PoslDisplayObject::Create(ComModule& module, IUnknown* outer, REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  if (outer && !IsEqualGUID(riid, IID_IUnknown)) return CLASS_E_NOAGGREGATION;
  return Guarded([&]() -> HRESULT {
    auto* object = new (std::nothrow) PoslDisplayObject(module, outer);
    if (!object) return E_OUTOFMEMORY;
    // Held once while the interface is queried, so that a failing query frees the object.
    object->inner_.AddRef();
    const HRESULT hr = object->inner_.QueryInterface(riid, ppv);
    object->inner_.Release();
    return hr;
  });
}

HRESULT PoslDisplayObject::Inner::QueryInterface(REFIID riid, void** ppv) {
  return self->InnerQueryInterface(riid, ppv);
}

ULONG PoslDisplayObject::Inner::AddRef() { return ++self->refs_; }

ULONG PoslDisplayObject::Inner::Release() {
  const ULONG left = --self->refs_;
  if (left == 0) delete self;
  return left;
}

HRESULT PoslDisplayObject::InnerQueryInterface(REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  if (IsEqualGUID(riid, IID_IUnknown)) {
    *ppv = static_cast<IUnknown*>(&inner_);
  } else if (IsEqualGUID(riid, IID_IDispatch) || IsEqualGUID(riid, IID_IPOSLDisplay)) {
    *ppv = static_cast<IPOSLDisplay*>(this);
  } else if (IsEqualGUID(riid, IID_IConnectionPointContainer)) {
    *ppv = static_cast<IConnectionPointContainer*>(this);
  } else {
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  static_cast<IUnknown*>(*ppv)->AddRef();
  return S_OK;
}

HRESULT PoslDisplayObject::QueryInterface(REFIID riid, void** ppv) {
  return outer_->QueryInterface(riid, ppv);
}
ULONG PoslDisplayObject::AddRef() { return outer_->AddRef(); }
ULONG PoslDisplayObject::Release() { return outer_->Release(); }

// ---- Connection points ------------------------------------------------------------------------

HRESULT PoslDisplayObject::EnumConnectionPoints(IEnumConnectionPoints** ppEnum) {
  if (!ppEnum) return E_POINTER;
  *ppEnum = new (std::nothrow) EmptyConnectionPoints(module_);
  return *ppEnum ? S_OK : E_OUTOFMEMORY;
}

HRESULT PoslDisplayObject::FindConnectionPoint(REFIID, IConnectionPoint** ppCP) {
  if (!ppCP) return E_POINTER;
  *ppCP = nullptr;
  return CONNECT_E_NOCONNECTION;
}

// ---- IPOSLDisplay -----------------------------------------------------------------------------

template <typename Describe, typename Body>
HRESULT PoslDisplayObject::Framed(const char* method, const LONG* pRC, Describe&& describe,
                                  Body&& body) noexcept {
  return Guarded([&]() -> HRESULT {
    platform::RecursiveHold frame(so_.module().callLock);
    CallRecord record(so_.module(), method);
    describe(record);  // as the caller passed them
    const HRESULT hr = body(record);
    describe(record);  // unless taken already: OpenService may have switched the trace on
    record.Done(hr, pRC, so_.ResultCode);
    return hr;
  });
}

namespace {

std::u16string_view View(BSTR s) { return com::BstrView(s); }

// A LONG in/out parameter as the service object's int32_t: LONG is `long` on Windows and a
// 32-bit int on Linux, the same width but not the same type. The value goes back on scope exit.
class InOutLong {
 public:
  explicit InOutLong(LONG* slot) : slot_(slot), value_(static_cast<int32_t>(*slot)) {}
  ~InOutLong() { *slot_ = value_; }
  InOutLong(const InOutLong&) = delete;
  InOutLong& operator=(const InOutLong&) = delete;
  int32_t* get() { return &value_; }

 private:
  LONG* slot_;
  int32_t value_;
};

}  // namespace

// The arguments of a method, for its record: KIRNOW_ARGS(Row, Column) or KIRNOW_ARGS().
#define KIRNOW_ARGS(...) [&](CallRecord& record) { record.Arguments(__VA_ARGS__); }

#define KIRNOW_RC_METHOD(args, call)                               \
  if (!pRC) return E_POINTER;                                      \
  return Framed(__func__, pRC, args, [&](CallRecord&) -> HRESULT { \
    *pRC = call;                                                   \
    return S_OK;                                                   \
  })

HRESULT PoslDisplayObject::OpenService(BSTR DeviceClass, BSTR DeviceName, IDispatch* pDispatch,
                                       LONG* pRC) {
  if (!pRC) return E_POINTER;
  return Framed(__func__, pRC, KIRNOW_ARGS(DeviceClass, DeviceName, pDispatch),
                [&](CallRecord&) -> HRESULT {
                  *pRC = so_.OpenService(View(DeviceClass), View(DeviceName), pDispatch);
                  sessionOpen_ = true;
                  return S_OK;
                });
}

HRESULT PoslDisplayObject::CloseService(LONG* pRC) {
  if (!pRC) return E_POINTER;
  return Framed(__func__, pRC, KIRNOW_ARGS(), [&](CallRecord&) -> HRESULT {
    *pRC = so_.CloseService();
    sessionOpen_ = false;
    return S_OK;
  });
}

HRESULT PoslDisplayObject::ClaimDevice(LONG Timeout, LONG* pRC) {
  KIRNOW_RC_METHOD(KIRNOW_ARGS(Timeout), so_.ClaimDevice(Timeout));
}
HRESULT PoslDisplayObject::ReleaseDevice(LONG* pRC) {
  KIRNOW_RC_METHOD(KIRNOW_ARGS(), so_.ReleaseDevice());
}
HRESULT PoslDisplayObject::CheckHealth(LONG Level, LONG* pRC) {
  KIRNOW_RC_METHOD(KIRNOW_ARGS(Level), so_.CheckHealth(Level));
}

HRESULT PoslDisplayObject::DirectIO(LONG Command, LONG* pData, BSTR* pString, LONG* pRC) {
  if (!pRC || !pData || !pString) return E_POINTER;
  return Framed(__func__, pRC, KIRNOW_ARGS(Command, pData, pString), [&](CallRecord&) -> HRESULT {
    std::u16string text(View(*pString));
    int32_t data = *pData;
    *pRC = so_.DirectIO(Command, &data, &text);
    *pData = data;
    if (text != View(*pString)) return PutBstr(pString, text);
    return S_OK;
  });
}

HRESULT PoslDisplayObject::DisplayText(BSTR Data, LONG Attribute, LONG* pRC) {
  KIRNOW_RC_METHOD(KIRNOW_ARGS(Data, Attribute), so_.DisplayText(View(Data), Attribute));
}
HRESULT PoslDisplayObject::DisplayTextAt(LONG Row, LONG Column, BSTR Data, LONG Attribute,
                                         LONG* pRC) {
  KIRNOW_RC_METHOD(KIRNOW_ARGS(Row, Column, Data, Attribute),
                   so_.DisplayTextAt(Row, Column, View(Data), Attribute));
}
HRESULT PoslDisplayObject::ClearText(LONG* pRC) {
  KIRNOW_RC_METHOD(KIRNOW_ARGS(), so_.ClearText());
}
HRESULT PoslDisplayObject::ScrollText(LONG Direction, LONG Units, LONG* pRC) {
  KIRNOW_RC_METHOD(KIRNOW_ARGS(Direction, Units), so_.ScrollText(Direction, Units));
}
HRESULT PoslDisplayObject::SetDescriptor(LONG Descriptor, LONG Attribute, LONG* pRC) {
  KIRNOW_RC_METHOD(KIRNOW_ARGS(Descriptor, Attribute), so_.SetDescriptor(Descriptor, Attribute));
}
HRESULT PoslDisplayObject::ClearDescriptors(LONG* pRC) {
  KIRNOW_RC_METHOD(KIRNOW_ARGS(), so_.ClearDescriptors());
}
HRESULT PoslDisplayObject::RefreshWindow(LONG Window, LONG* pRC) {
  KIRNOW_RC_METHOD(KIRNOW_ARGS(Window), so_.RefreshWindow(Window));
}

HRESULT PoslDisplayObject::ReadCharacterAtCursor(LONG* pChar, LONG* pRC) {
  if (!pChar || !pRC) return E_POINTER;
  return Framed(__func__, pRC, KIRNOW_ARGS(pChar), [&](CallRecord& record) -> HRESULT {
    // The caller's value goes in as well: the trace record shows it.
    InOutLong character(pChar);
    *pRC = so_.ReadCharacterAtCursor(character.get());
    if (record.On()) record.Returned(std::to_string(*character.get()));
    return S_OK;
  });
}

HRESULT PoslDisplayObject::DefineGlyph(LONG GlyphCode, BSTR Glyph, LONG* pRC) {
  KIRNOW_RC_METHOD(KIRNOW_ARGS(GlyphCode, Glyph), so_.DefineGlyph(GlyphCode, View(Glyph)));
}

HRESULT PoslDisplayObject::GetPropertyNumber(LONG PropIndex, LONG* pNumber) {
  if (!pNumber) return E_POINTER;
  return Framed(__func__, nullptr, KIRNOW_ARGS(), [&](CallRecord& record) -> HRESULT {
    record.Property(PropIndex, false);
    InOutLong number(pNumber);  // an index nobody answers leaves the number as it was
    so_.GetPropertyNumber(PropIndex, number.get());
    if (record.On()) record.Returned(std::to_string(*number.get()));
    return S_OK;
  });
}

HRESULT PoslDisplayObject::SetPropertyNumber(LONG PropIndex, LONG Number) {
  return Framed(__func__, nullptr, KIRNOW_ARGS(), [&](CallRecord& record) -> HRESULT {
    record.Property(PropIndex, true);
    if (record.On()) record.Returned(ArgText(Number));
    so_.SetPropertyNumber(PropIndex, Number);
    return S_OK;
  });
}

HRESULT PoslDisplayObject::GetPropertyString(LONG PropIndex, BSTR* pString) {
  if (!pString) return E_POINTER;
  return Framed(__func__, nullptr, KIRNOW_ARGS(), [&](CallRecord& record) -> HRESULT {
    record.Property(PropIndex, false);
    // The caller's string is read only for the trace record.
    std::u16string current;
    const bool tracing = so_.module().trace.DebugMode();
    if (tracing) current.assign(View(*pString));
    const auto answer = so_.GetPropertyString(PropIndex, tracing ? &current : nullptr);
    if (!answer) return S_OK;  // an index without a string leaves the caller's BSTR alone
    if (record.On()) record.Returned(trace::Quoted(*answer));
    // A fresh string every call: the caller owns and frees it. What *pString held on entry
    // belongs to the caller as well ([out] parameter), so it is not freed here.
    BSTR fresh = com::AllocBstr(*answer);
    if (!fresh) return E_OUTOFMEMORY;
    *pString = fresh;
    return S_OK;
  });
}

HRESULT PoslDisplayObject::SetPropertyString(LONG PropIndex, BSTR String) {
  return Framed(__func__, nullptr, KIRNOW_ARGS(), [&](CallRecord& record) -> HRESULT {
    record.Property(PropIndex, true);
    if (record.On()) record.Returned(ArgText(String));
    so_.SetPropertyString(PropIndex, View(String));
    return S_OK;
  });
}

HRESULT PoslDisplayObject::COFreezeEvents(VARIANT_BOOL Freeze, LONG* pRC) {
  KIRNOW_RC_METHOD(KIRNOW_ARGS(Freeze), so_.COFreezeEvents(Freeze != VARIANT_FALSE));
}

HRESULT PoslDisplayObject::CreateWindow(LONG ViewportRow, LONG ViewportColumn, LONG ViewportHeight,
                                        LONG ViewportWidth, LONG WindowHeight, LONG WindowWidth,
                                        LONG* pRC) {
  KIRNOW_RC_METHOD(KIRNOW_ARGS(ViewportRow, ViewportColumn, ViewportHeight, ViewportWidth,
                               WindowHeight, WindowWidth),
                   so_.CreateWindow(ViewportRow, ViewportColumn, ViewportHeight, ViewportWidth,
                                    WindowHeight, WindowWidth));
}

HRESULT PoslDisplayObject::DestroyWindow(LONG* pRC) {
  KIRNOW_RC_METHOD(KIRNOW_ARGS(), so_.DestroyWindow());
}

HRESULT PoslDisplayObject::SOData(LONG Status) {
  return Framed(__func__, nullptr, KIRNOW_ARGS(Status), [&](CallRecord&) -> HRESULT {
    so_.SOData(Status);
    return S_OK;
  });
}

HRESULT PoslDisplayObject::SODirectIO(LONG EventNumber, LONG* pData, BSTR* pString) {
  if (!pData || !pString) return E_POINTER;
  return Framed(__func__, nullptr, KIRNOW_ARGS(EventNumber, pData, pString),
                [&](CallRecord&) -> HRESULT {
                  std::u16string text(View(*pString));
                  int32_t data = *pData;
                  so_.SODirectIO(EventNumber, &data, &text);
                  *pData = data;
                  if (text != View(*pString)) return PutBstr(pString, text);
                  return S_OK;
                });
}

HRESULT PoslDisplayObject::SOError(LONG ResultCode, LONG ResultCodeExtended, LONG ErrorLocus,
                                   LONG* pErrorResponse) {
  if (!pErrorResponse) return E_POINTER;
  return Framed(__func__, nullptr,
                KIRNOW_ARGS(ResultCode, ResultCodeExtended, ErrorLocus, pErrorResponse),
                [&](CallRecord&) -> HRESULT {
                  InOutLong response(pErrorResponse);
                  so_.SOError(ResultCode, ResultCodeExtended, ErrorLocus, response.get());
                  return S_OK;
                });
}

HRESULT PoslDisplayObject::SOOutputComplete(LONG OutputID) {
  return Framed(__func__, nullptr, KIRNOW_ARGS(OutputID), [&](CallRecord&) -> HRESULT {
    so_.SOOutputComplete(OutputID);
    return S_OK;
  });
}

HRESULT PoslDisplayObject::SOStatusUpdate(LONG Data) {
  return Framed(__func__, nullptr, KIRNOW_ARGS(Data), [&](CallRecord&) -> HRESULT {
    so_.SOStatusUpdate(Data);
    return S_OK;
  });
}

#undef KIRNOW_RC_METHOD
#undef KIRNOW_ARGS

}  // namespace kirnow::server
