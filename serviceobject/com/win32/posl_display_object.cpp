// The POSLDisplay COM object. Every method converts its automation arguments, calls the core
// service object and converts the results back; no exception leaves a method.
#include "serviceobject/com/win32/posl_display_object.h"

#include <new>
#include <string>
#include <string_view>
#include <utility>

#include "serviceobject/com/win32/com_module.h"
#include "serviceobject/core/posl_display.h"

namespace kirnow::win32com {
namespace {

static_assert(sizeof(OLECHAR) == sizeof(char16_t), "BSTR characters are UTF-16 code units");

std::u16string_view View(BSTR text) {
  if (!text) return {};
  return {reinterpret_cast<const char16_t*>(text), SysStringLen(text)};
}

BSTR Allocate(std::u16string_view text) {
  BSTR copy = SysAllocStringLen(reinterpret_cast<const OLECHAR*>(text.data()),
                                static_cast<UINT>(text.size()));
  if (!copy) throw std::bad_alloc();
  return copy;
}

// Runs one method body; an exception becomes an HRESULT instead of crossing the interface.
template <typename Body>
HRESULT Guarded(Body&& body) noexcept {
  try {
    return std::forward<Body>(body)();
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (...) {
    return E_FAIL;
  }
}

// Methods that hand back an OPOS result code through pRC.
template <typename Body>
HRESULT WithResult(LONG* pRC, Body&& body) noexcept {
  if (!pRC) return E_POINTER;
  return Guarded([&] {
    *pRC = std::forward<Body>(body)();
    return S_OK;
  });
}

// Enumerator over an empty set of connection points.
class EmptyConnectionPoints final : public IEnumConnectionPoints {
 public:
  EmptyConnectionPoints() { LockModule(); }
  ~EmptyConnectionPoints() { UnlockModule(); }

  STDMETHODIMP QueryInterface(REFIID riid, void** object) override {
    if (!object) return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IEnumConnectionPoints)) {
      *object = static_cast<IEnumConnectionPoints*>(this);
      AddRef();
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override {
    return static_cast<ULONG>(InterlockedIncrement(&refs_));
  }
  STDMETHODIMP_(ULONG) Release() override {
    const LONG left = InterlockedDecrement(&refs_);
    if (left == 0) delete this;
    return static_cast<ULONG>(left);
  }
  STDMETHODIMP Next(ULONG count, IConnectionPoint** points, ULONG* fetched) override {
    if (count > 0 && !points) return E_POINTER;
    if (count > 1 && !fetched) return E_POINTER;
    if (fetched) *fetched = 0;
    return count == 0 ? S_OK : S_FALSE;
  }
  STDMETHODIMP Skip(ULONG count) override { return count == 0 ? S_OK : S_FALSE; }
  STDMETHODIMP Reset() override { return S_OK; }
  STDMETHODIMP Clone(IEnumConnectionPoints** copy) override {
    if (!copy) return E_POINTER;
    *copy = new (std::nothrow) EmptyConnectionPoints();
    if (!*copy) return E_OUTOFMEMORY;
    (*copy)->AddRef();
    return S_OK;
  }

 private:
  LONG refs_ = 0;
};

}  // namespace

PoslDisplayObject::PoslDisplayObject(IUnknown* outer) : outer_(outer ? outer : &inner_) {
  LockModule();
}

PoslDisplayObject::~PoslDisplayObject() {
  if (core_) {
    core_.reset();
    ReleaseModuleState();
  }
  UnlockModule();
}

HRESULT PoslDisplayObject::Create(IUnknown* outer, REFIID riid, void** object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  if (outer && !IsEqualIID(riid, IID_IUnknown)) return CLASS_E_NOAGGREGATION;
  auto* created = new (std::nothrow) PoslDisplayObject(outer);
  if (!created) return E_OUTOFMEMORY;
  try {
    ModuleState& state = AcquireModuleState();
    try {
      created->core_ = std::make_unique<POSLDisplay>(state);
    } catch (...) {
      ReleaseModuleState();
      throw;
    }
  } catch (...) {
    delete created;
    return E_OUTOFMEMORY;
  }
  // The query takes the first reference; when it fails the object goes at once.
  created->inner_.AddRef();
  const HRESULT hr = created->inner_.QueryInterface(riid, object);
  created->inner_.Release();
  return hr;
}

// --- IUnknown --------------------------------------------------------------------------------

HRESULT PoslDisplayObject::Inner::QueryInterface(REFIID riid, void** object) {
  if (!object) return E_POINTER;
  if (IsEqualIID(riid, IID_IUnknown)) {
    *object = static_cast<IUnknown*>(this);
  } else if (IsEqualIID(riid, IID_IPOSLDisplay) || IsEqualIID(riid, IID_IDispatch)) {
    *object = static_cast<IPOSLDisplay*>(&owner_);
  } else if (IsEqualIID(riid, IID_IConnectionPointContainer)) {
    *object = static_cast<IConnectionPointContainer*>(&owner_);
  } else {
    *object = nullptr;
    return E_NOINTERFACE;
  }
  static_cast<IUnknown*>(*object)->AddRef();
  return S_OK;
}

ULONG PoslDisplayObject::Inner::AddRef() { return static_cast<ULONG>(++owner_.refs_); }

ULONG PoslDisplayObject::Inner::Release() {
  const LONG left = --owner_.refs_;
  if (left == 0) delete &owner_;
  return static_cast<ULONG>(left);
}

HRESULT PoslDisplayObject::QueryInterface(REFIID riid, void** object) {
  return outer_->QueryInterface(riid, object);
}
ULONG PoslDisplayObject::AddRef() { return outer_->AddRef(); }
ULONG PoslDisplayObject::Release() { return outer_->Release(); }

// --- IDispatch -------------------------------------------------------------------------------

HRESULT PoslDisplayObject::GetTypeInfoCount(UINT* count) {
  if (!count) return E_POINTER;
  *count = 1;
  return S_OK;
}

HRESULT PoslDisplayObject::GetTypeInfo(UINT index, LCID lcid, ITypeInfo** typeInfo) {
  if (!typeInfo) return E_POINTER;
  *typeInfo = nullptr;
  if (index != 0) return DISP_E_BADINDEX;
  return GetPoslDisplayTypeInfo(lcid, typeInfo);
}

HRESULT PoslDisplayObject::GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID lcid,
                                         DISPID* ids) {
  if (!IsEqualIID(riid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
  ITypeInfo* info = nullptr;
  HRESULT hr = GetPoslDisplayTypeInfo(lcid, &info);
  if (FAILED(hr)) return hr;
  hr = info->GetIDsOfNames(names, count, ids);
  info->Release();
  return hr;
}

HRESULT PoslDisplayObject::Invoke(DISPID id, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params,
                                  VARIANT* result, EXCEPINFO* excepInfo, UINT* argError) {
  if (!IsEqualIID(riid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
  ITypeInfo* info = nullptr;
  HRESULT hr = GetPoslDisplayTypeInfo(lcid, &info);
  if (FAILED(hr)) return hr;
  hr = info->Invoke(static_cast<IPOSLDisplay*>(this), id, flags, params, result, excepInfo,
                    argError);
  info->Release();
  return hr;
}

// --- IPOSLDisplay ----------------------------------------------------------------------------

HRESULT PoslDisplayObject::OpenService(BSTR DeviceClass, BSTR DeviceName, IDispatch* pDispatch,
                                       LONG* pRC) {
  return WithResult(
      pRC, [&] { return core_->OpenService(View(DeviceClass), View(DeviceName), pDispatch); });
}

HRESULT PoslDisplayObject::CloseService(LONG* pRC) {
  return WithResult(pRC, [&] { return core_->CloseService(); });
}

HRESULT PoslDisplayObject::ClaimDevice(LONG Timeout, LONG* pRC) {
  return WithResult(pRC, [&] { return core_->ClaimDevice(Timeout); });
}

HRESULT PoslDisplayObject::ReleaseDevice(LONG* pRC) {
  return WithResult(pRC, [&] { return core_->ReleaseDevice(); });
}

HRESULT PoslDisplayObject::CheckHealth(LONG Level, LONG* pRC) {
  return WithResult(pRC, [&] { return core_->CheckHealth(Level); });
}

HRESULT PoslDisplayObject::DirectIO(LONG Command, LONG* pData, BSTR* pString, LONG* pRC) {
  return WithResult(pRC, [&] {
    int32_t data = pData ? *pData : 0;
    std::u16string text(pString ? View(*pString) : std::u16string_view());
    const int32_t rc = core_->DirectIO(Command, pData ? &data : nullptr, pString ? &text : nullptr);
    if (pData) *pData = data;
    // The caller's string is replaced only when the answer differs from it.
    if (pString && text != View(*pString)) {
      BSTR answer = Allocate(text);
      SysFreeString(*pString);
      *pString = answer;
    }
    return rc;
  });
}

HRESULT PoslDisplayObject::DisplayText(BSTR Data, LONG Attribute, LONG* pRC) {
  return WithResult(pRC, [&] { return core_->DisplayText(View(Data), Attribute); });
}

HRESULT PoslDisplayObject::DisplayTextAt(LONG Row, LONG Column, BSTR Data, LONG Attribute,
                                         LONG* pRC) {
  return WithResult(pRC, [&] { return core_->DisplayTextAt(Row, Column, View(Data), Attribute); });
}

HRESULT PoslDisplayObject::ClearText(LONG* pRC) {
  return WithResult(pRC, [&] { return core_->ClearText(); });
}

HRESULT PoslDisplayObject::ScrollText(LONG Direction, LONG Units, LONG* pRC) {
  return WithResult(pRC, [&] { return core_->ScrollText(Direction, Units); });
}

HRESULT PoslDisplayObject::SetDescriptor(LONG Descriptor, LONG Attribute, LONG* pRC) {
  return WithResult(pRC, [&] { return core_->SetDescriptor(Descriptor, Attribute); });
}

HRESULT PoslDisplayObject::ClearDescriptors(LONG* pRC) {
  return WithResult(pRC, [&] { return core_->ClearDescriptors(); });
}

HRESULT PoslDisplayObject::RefreshWindow(LONG Window, LONG* pRC) {
  return WithResult(pRC, [&] { return core_->RefreshWindow(Window); });
}

HRESULT PoslDisplayObject::ReadCharacterAtCursor(LONG* pChar, LONG* pRC) {
  if (!pChar) return E_POINTER;
  return WithResult(pRC, [&] {
    // An out parameter: whatever the caller left in it is not read.
    int32_t character = 0;
    const int32_t rc = core_->ReadCharacterAtCursor(&character);
    *pChar = character;
    return rc;
  });
}

HRESULT PoslDisplayObject::DefineGlyph(LONG GlyphCode, BSTR Glyph, LONG* pRC) {
  return WithResult(pRC, [&] { return core_->DefineGlyph(GlyphCode, View(Glyph)); });
}

HRESULT PoslDisplayObject::GetPropertyNumber(LONG PropIndex, LONG* pNumber) {
  if (!pNumber) return E_POINTER;
  return Guarded([&] {
    // An index the object does not answer leaves the caller's number as it was.
    int32_t number = *pNumber;
    core_->GetPropertyNumber(PropIndex, &number);
    *pNumber = number;
    return S_OK;
  });
}

HRESULT PoslDisplayObject::SetPropertyNumber(LONG PropIndex, LONG Number) {
  return Guarded([&] {
    core_->SetPropertyNumber(PropIndex, Number);
    return S_OK;
  });
}

HRESULT PoslDisplayObject::GetPropertyString(LONG PropIndex, BSTR* pString) {
  if (!pString) return E_POINTER;
  return Guarded([&] {
    // The caller's string is read only for the trace record; an index the object does not
    // answer leaves it as it was.
    std::u16string current;
    const bool tracing = core_->module().trace.enabled();
    if (tracing) current.assign(View(*pString));
    std::optional<std::u16string> answer =
        core_->GetPropertyString(PropIndex, tracing ? &current : nullptr);
    if (answer) *pString = Allocate(*answer);
    return S_OK;
  });
}

HRESULT PoslDisplayObject::SetPropertyString(LONG PropIndex, BSTR String) {
  return Guarded([&] {
    core_->SetPropertyString(PropIndex, View(String));
    return S_OK;
  });
}

HRESULT PoslDisplayObject::COFreezeEvents(VARIANT_BOOL Freeze, LONG* pRC) {
  return WithResult(pRC, [&] { return core_->COFreezeEvents(Freeze != VARIANT_FALSE); });
}

HRESULT PoslDisplayObject::CreateWindow(LONG ViewportRow, LONG ViewportColumn, LONG ViewportHeight,
                                        LONG ViewportWidth, LONG WindowHeight, LONG WindowWidth,
                                        LONG* pRC) {
  return WithResult(pRC, [&] {
    return core_->CreateWindow(ViewportRow, ViewportColumn, ViewportHeight, ViewportWidth,
                               WindowHeight, WindowWidth);
  });
}

HRESULT PoslDisplayObject::DestroyWindow(LONG* pRC) {
  return WithResult(pRC, [&] { return core_->DestroyWindow(); });
}

HRESULT PoslDisplayObject::SOData(LONG Status) {
  return Guarded([&] {
    core_->SOData(Status);
    return S_OK;
  });
}

HRESULT PoslDisplayObject::SODirectIO(LONG EventNumber, LONG* pData, BSTR* pString) {
  return Guarded([&] {
    int32_t data = pData ? *pData : 0;
    std::u16string text(pString ? View(*pString) : std::u16string_view());
    core_->SODirectIO(EventNumber, pData ? &data : nullptr, pString ? &text : nullptr);
    if (pData) *pData = data;
    return S_OK;
  });
}

HRESULT PoslDisplayObject::SOError(LONG ResultCode, LONG ResultCodeExtended, LONG ErrorLocus,
                                   LONG* pErrorResponse) {
  return Guarded([&] {
    int32_t response = pErrorResponse ? *pErrorResponse : 0;
    core_->SOError(ResultCode, ResultCodeExtended, ErrorLocus,
                   pErrorResponse ? &response : nullptr);
    if (pErrorResponse) *pErrorResponse = response;
    return S_OK;
  });
}

HRESULT PoslDisplayObject::SOOutputComplete(LONG OutputID) {
  return Guarded([&] {
    core_->SOOutputComplete(OutputID);
    return S_OK;
  });
}

HRESULT PoslDisplayObject::SOStatusUpdate(LONG Data) {
  return Guarded([&] {
    core_->SOStatusUpdate(Data);
    return S_OK;
  });
}

// --- IConnectionPointContainer ---------------------------------------------------------------

HRESULT PoslDisplayObject::EnumConnectionPoints(IEnumConnectionPoints** enumerator) {
  if (!enumerator) return E_POINTER;
  *enumerator = new (std::nothrow) EmptyConnectionPoints();
  if (!*enumerator) return E_OUTOFMEMORY;
  (*enumerator)->AddRef();
  return S_OK;
}

HRESULT PoslDisplayObject::FindConnectionPoint(REFIID, IConnectionPoint** point) {
  if (!point) return E_POINTER;
  *point = nullptr;
  return CONNECT_E_NOCONNECTION;
}

}  // namespace kirnow::win32com
