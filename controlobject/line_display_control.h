// LineDisplayControl: the OPOS LineDisplay control object of our own. A host calls its dispatch
// members by fixed DISPIDs; it finds the service object of a logical device through the OPOS
// device entries, loads it through the class registry, and forwards methods by name and
// properties by their OPOS property indexes.
#pragma once

#include <atomic>
#include <map>
#include <memory>
#include <string>

#include "controlobject/service_object_loader.h"
#include "opos/line_display_dispids.h"
#include "opos/opos_constants.h"
#include "platform/com/com_types.h"
#include "platform/registry/registry.h"

namespace kirnow::control {

class LineDisplayControl final : public IDispatch {
 public:
  // A new control object with one reference for the caller. It reads the device entries from
  // `registry` and creates service objects through `loader`; it owns both.
  static LineDisplayControl* Create(std::unique_ptr<platform::Registry> registry,
                                    std::unique_ptr<ServiceObjectLoader> loader);

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* pctinfo) override;
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT iTInfo, LCID lcid, ITypeInfo** ppTInfo) override;
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID riid, LPOLESTR* rgszNames, UINT cNames, LCID lcid,
                                          DISPID* rgDispId) override;
  HRESULT STDMETHODCALLTYPE Invoke(DISPID dispIdMember, REFIID riid, LCID lcid, WORD wFlags,
                                   DISPPARAMS* pDispParams, VARIANT* pVarResult,
                                   EXCEPINFO* pExcepInfo, UINT* puArgErr) override;

  // The members as C++ calls (what Invoke runs).
  int32_t Open(std::u16string_view deviceName);
  int32_t Close();
  int32_t ClaimDevice(int32_t timeout);
  int32_t ClearText();
  int32_t CreateWindow(int32_t viewportRow, int32_t viewportColumn, int32_t viewportHeight,
                       int32_t viewportWidth, int32_t windowHeight, int32_t windowWidth);
  int32_t DestroyWindow();
  int32_t DisplayText(std::u16string_view data, int32_t attribute);
  int32_t DisplayTextAt(int32_t row, int32_t column, std::u16string_view data, int32_t attribute);
  int32_t ResultCode();
  std::u16string DeviceName();
  int32_t GetNumber(int32_t pidx);
  void SetNumber(int32_t pidx, int32_t value);
  bool IsOpen() const { return static_cast<bool>(so_); }

 private:
  LineDisplayControl(std::unique_ptr<platform::Registry> registry,
                     std::unique_ptr<ServiceObjectLoader> loader);
  ~LineDisplayControl();

  // The device entry name for a logical device name, or empty when there is none.
  std::string FindDeviceEntry(const std::string& logicalName);
  // Calls a service object method by name with arguments in call order; answers the
  // HRESULT of the call and, in *result, what the method returned.
  HRESULT CallSo(const char* method, std::initializer_list<VARIANT> args, VARIANT* result);
  int32_t CallSoRc(const char* method, std::initializer_list<VARIANT> args);
  void Fail(int32_t code) { ownResult_ = code; }
  void ReleaseService();

  std::atomic<ULONG> refs_{1};
  std::unique_ptr<platform::Registry> registry_;
  std::unique_ptr<ServiceObjectLoader> loader_;
  com::Ref<IDispatch> so_;
  std::map<std::string, DISPID> soDispids_;
  // The code the control object set itself, shown as ResultCode until a call reaches the
  // service object; -1 when ResultCode is the service object's.
  int32_t ownResult_ = OPOS_E_CLOSED;
};

// The control object over the system registry and loader, with one reference for the caller;
// nullptr when it cannot be made.
IDispatch* CreateLineDisplayControl();

}  // namespace kirnow::control
