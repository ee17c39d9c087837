// The control object: finding the device entry and the service object, the result codes of every
// way an open can fail, and how members reach the service object by name and property index.
#include "controlobject/line_display_control.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "serviceobject/com/dispatch_table.h"
#include "serviceobject/com/iposl_display_methods.h"
#include "tests/fakes/memory_registry.h"

namespace kirnow::control {
namespace {

const std::string kEntries = "HKEY_LOCAL_MACHINE\\SOFTWARE\\OLEforRetail\\ServiceOPOS\\LineDisplay";
const char16_t kDevice[] = u"JQ POS POLE DISPLAY";

// The methods the control object calls: the service object's, up to DestroyWindow.
const std::vector<std::string> kSoMethods = [] {
  std::vector<std::string> names;
  for (const auto& m : dispatch::Methods()) names.emplace_back(m.name);
  names.resize(KIRNOW_IPOSLDISPLAY_CONTROL_METHOD_COUNT);
  return names;
}();

// A service object that records the calls it gets, by name, with integer and string arguments.
class FakeServiceObject final : public IDispatch {
 public:
  std::vector<std::string> names = kSoMethods;
  std::vector<std::string> calls;
  std::map<int32_t, int32_t> numbers = {{8, 1005103}, {6, 0}};
  int32_t openRc = 0;
  ULONG refs = 1;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
    if (IsEqualGUID(riid, IID_IUnknown) || IsEqualGUID(riid, IID_IDispatch)) {
      *ppv = this;
      ++refs;
      return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
  ULONG STDMETHODCALLTYPE Release() override { return --refs; }
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* n, UINT, LCID, DISPID* id) override {
    const std::string name = com::Utf16ToUtf8(reinterpret_cast<const char16_t*>(n[0]));
    for (size_t i = 0; i < names.size(); ++i) {
      if (names[i] == name) {
        *id = static_cast<DISPID>(100 + i);
        return S_OK;
      }
    }
    *id = DISPID_UNKNOWN;
    return DISP_E_UNKNOWNNAME;
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* p, VARIANT* result,
                                   EXCEPINFO*, UINT*) override {
    const std::string name = names[static_cast<size_t>(id - 100)];
    std::string call = name;
    std::vector<int32_t> ints;
    for (UINT i = p->cArgs; i-- > 0;) {
      const VARIANT& v = p->rgvarg[i];
      if (v.vt == VT_I4) {
        call += " " + std::to_string(v.lVal);
        ints.push_back(v.lVal);
      } else if (v.vt == VT_BSTR) {
        call += " '" + com::Utf16ToUtf8(com::BstrView(v.bstrVal)) + "'";
      } else if (v.vt == VT_DISPATCH) {
        call += v.pdispVal ? " <dispatch>" : " <null>";
      }
    }
    if (name == "SetPropertyNumber") numbers[ints[0]] = ints[1];
    if (name != "GetPropertyNumber") calls.push_back(call);
    if (!result) return S_OK;
    VariantInit(result);
    if (name == "SetPropertyNumber" || name == "SetPropertyString") return S_OK;
    if (name == "GetPropertyString") {
      result->vt = VT_BSTR;
      result->bstrVal = com::AllocBstr(u"JQ POS Pole Display");
      return S_OK;
    }
    result->vt = VT_I4;
    result->lVal = name == "GetPropertyNumber" ? numbers[ints[0]]
                   : name == "OpenService"     ? openRc
                                               : 0;
    return S_OK;
  }
};

class FakeLoader final : public ServiceObjectLoader {
 public:
  FakeLoader(FakeServiceObject* so, LoadStatus status, int* unloads)
      : so_(so), status_(status), unloads_(unloads) {}
  LoadResult Create(const std::string& progId, IDispatch** out) override {
    lastProgId = progId;
    *out = nullptr;
    if (status_ != LoadStatus::Created) return {status_, "fake"};
    so_->AddRef();
    *out = so_;
    return {LoadStatus::Created, ""};
  }
  void Unload() override { ++*unloads_; }
  std::string lastProgId;

 private:
  FakeServiceObject* so_;
  LoadStatus status_;
  int* unloads_;
};

class Control : public ::testing::Test {
 protected:
  // A control object over a copy of `registry` and a loader of the given outcome.
  com::Ref<LineDisplayControl> Make(LoadStatus status = LoadStatus::Created) {
    auto reg = std::make_unique<fakes::MemoryRegistry>();
    for (const auto& [path, value] : entries) reg->SetString(path, value.first, value.second);
    auto loader = std::make_unique<FakeLoader>(&so, status, &unloads);
    loaderSeen = loader.get();
    return com::Ref<LineDisplayControl>(
        LineDisplayControl::Create(std::move(reg), std::move(loader)));
  }
  void AddEntry(const std::string& name, const std::string& progId = "JQ.POSLDisplay.1") {
    entries.push_back({kEntries + "\\" + name, {"", progId}});
  }

  std::vector<std::pair<std::string, std::pair<std::string, std::string>>> entries;
  FakeServiceObject so;
  int unloads = 0;
  FakeLoader* loaderSeen = nullptr;
};

TEST_F(Control, OpenFailuresGiveTheirResultCodes) {
  // No entry for the name.
  auto c = Make();
  EXPECT_EQ(c->Open(kDevice), OPOS_E_NOEXIST);
  EXPECT_EQ(c->ResultCode(), OPOS_E_NOEXIST);
  EXPECT_EQ(c->Open(u"..\\..\\Anything"), OPOS_E_NOEXIST);

  // An entry without a ProgID.
  AddEntry("JQ POS POLE DISPLAY", "");
  EXPECT_EQ(Make()->Open(kDevice), OPOS_E_NOEXIST);

  entries.clear();
  AddEntry("JQ POS POLE DISPLAY");
  EXPECT_EQ(Make(LoadStatus::NotFound)->Open(kDevice), OPOS_E_NOEXIST);
  EXPECT_EQ(Make(LoadStatus::NotCreatable)->Open(kDevice), OPOS_E_NOSERVICE);

  // A service object without one of the methods the control object calls.
  so.names.erase(std::find(so.names.begin(), so.names.end(), "DisplayTextAt"));
  c = Make();
  EXPECT_EQ(c->Open(kDevice), OPOS_E_NOSERVICE);
  EXPECT_FALSE(c->IsOpen());
  EXPECT_EQ(so.refs, 1u);  // let go of
  EXPECT_GE(unloads, 1);
  so.names = kSoMethods;

  // A service object of another major version is closed again.
  so.numbers[8] = 2000001;
  c = Make();
  EXPECT_EQ(c->Open(kDevice), OPOS_E_NOSERVICE);
  EXPECT_EQ(so.calls.back(), "CloseService");
  EXPECT_EQ(so.refs, 1u);

  // OpenService's own failure code is passed on.
  so.numbers[8] = 1005103;
  so.openRc = 111;
  c = Make();
  EXPECT_EQ(c->Open(kDevice), 111);
  EXPECT_EQ(c->ResultCode(), 111);
  EXPECT_FALSE(c->IsOpen());
}

TEST_F(Control, LogicalNamesMapToDeviceEntries) {
  AddEntry("Pole Entry", "My.ProgId");
  entries.push_back({kEntries, {"FRONT DISPLAY", "Pole Entry"}});
  auto c = Make();
  ASSERT_EQ(c->Open(u"FRONT DISPLAY"), OPOS_SUCCESS);
  EXPECT_EQ(loaderSeen->lastProgId, "My.ProgId");
  EXPECT_EQ(so.calls[0], "OpenService 'LineDisplay' 'FRONT DISPLAY' <dispatch>");
  EXPECT_EQ(c->Open(u"FRONT DISPLAY"), OPOS_E_ILLEGAL);  // already open
  c->Close();
  // The entry's own name, in any case.
  EXPECT_EQ(c->Open(u"pole ENTRY"), OPOS_SUCCESS);
}

TEST_F(Control, MembersReachTheServiceObject) {
  AddEntry("JQ POS POLE DISPLAY");
  auto c = Make();
  auto invoke = [&](DISPID id, WORD kind, std::vector<VARIANT> args, VARIANT* result) {
    std::vector<VARIANT> reversed(args.rbegin(), args.rend());
    DISPID put = DISPID_PROPERTYPUT;
    DISPPARAMS p = {reversed.data(), kind == DISPATCH_PROPERTYPUT ? &put : nullptr,
                    static_cast<UINT>(reversed.size()), kind == DISPATCH_PROPERTYPUT ? 1u : 0u};
    if (result) VariantClear(result);  // an out parameter: the caller hands it over empty
    return c->Invoke(id, IID_NULL, 0, kind, &p, result, nullptr, nullptr);
  };
  auto i4 = [](LONG v) {
    VARIANT x;
    VariantInit(&x);
    x.vt = VT_I4;
    x.lVal = v;
    return x;
  };
  com::Variant r;
  // Before Open: calls are refused with OPOS_E_CLOSED.
  ASSERT_EQ(invoke(kDispClearText, DISPATCH_METHOD, {}, r.get()), S_OK);
  EXPECT_EQ(r->lVal, OPOS_E_CLOSED);

  com::Bstr name(kDevice);
  VARIANT n;
  VariantInit(&n);
  n.vt = VT_BSTR;
  n.bstrVal = name.get();
  ASSERT_EQ(invoke(kDispOpen, DISPATCH_METHOD, {n}, r.get()), S_OK);
  EXPECT_EQ(r->lVal, OPOS_SUCCESS);
  so.calls.clear();

  VARIANT yes;
  VariantInit(&yes);
  yes.vt = VT_BOOL;
  yes.boolVal = VARIANT_TRUE;
  ASSERT_EQ(invoke(kDispDeviceEnabled, DISPATCH_PROPERTYPUT, {yes}, nullptr), S_OK);
  ASSERT_EQ(invoke(kDispCurrentWindow, DISPATCH_PROPERTYPUT, {i4(2)}, nullptr), S_OK);
  ASSERT_EQ(invoke(kDispInterCharacterWait, DISPATCH_PROPERTYPUT, {i4(300)}, nullptr), S_OK);
  ASSERT_EQ(invoke(kDispMarqueeType, DISPATCH_PROPERTYPUT, {i4(3)}, nullptr), S_OK);
  ASSERT_EQ(invoke(kDispMarqueeUnitWait, DISPATCH_PROPERTYPUT, {i4(50)}, nullptr), S_OK);
  ASSERT_EQ(invoke(kDispCreateWindow, DISPATCH_METHOD, {i4(1), i4(0), i4(1), i4(20), i4(1), i4(20)},
                   r.get()),
            S_OK);
  ASSERT_EQ(invoke(kDispDisplayTextAt, DISPATCH_METHOD, {i4(0), i4(1), n, i4(0)}, r.get()), S_OK);
  EXPECT_EQ(so.calls,
            (std::vector<std::string>{"SetPropertyNumber 3 1", "SetPropertyNumber 5003 2",
                                      "SetPropertyNumber 5012 300", "SetPropertyNumber 5014 3",
                                      "SetPropertyNumber 5015 50", "CreateWindow 1 0 1 20 1 20",
                                      "DisplayTextAt 0 1 'JQ POS POLE DISPLAY' 0"}));

  ASSERT_EQ(invoke(kDispCurrentWindow, DISPATCH_PROPERTYGET, {}, r.get()), S_OK);
  EXPECT_EQ(r->lVal, 2);
  ASSERT_EQ(invoke(kDispDeviceEnabled, DISPATCH_PROPERTYGET, {}, r.get()), S_OK);
  EXPECT_EQ(r->vt, VT_BOOL);
  EXPECT_EQ(r->boolVal, VARIANT_TRUE);
  ASSERT_EQ(invoke(kDispDeviceName, DISPATCH_PROPERTYGET, {}, r.get()), S_OK);
  EXPECT_EQ(com::BstrView(r->bstrVal), u"JQ POS Pole Display");
  so.numbers[6] = 106;  // the service object's ResultCode shows while the control has none
  ASSERT_EQ(invoke(kDispResultCode, DISPATCH_PROPERTYGET, {}, r.get()), S_OK);
  EXPECT_EQ(r->lVal, 106);
  so.numbers[1] = 1;
  ASSERT_EQ(invoke(kDispClaimed, DISPATCH_PROPERTYGET, {}, r.get()), S_OK);
  EXPECT_EQ(r->boolVal, VARIANT_TRUE);

  // Refused shapes of call.
  EXPECT_EQ(invoke(kDispResultCode, DISPATCH_PROPERTYPUT, {i4(0)}, nullptr), DISP_E_MEMBERNOTFOUND);
  EXPECT_EQ(invoke(kDispClaimDevice, DISPATCH_METHOD, {}, r.get()), DISP_E_BADPARAMCOUNT);
  EXPECT_EQ(invoke(kDispClaimDevice, DISPATCH_METHOD, {n}, r.get()), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(invoke(99, DISPATCH_METHOD, {}, r.get()), DISP_E_MEMBERNOTFOUND);

  // Close ends with CloseService; afterwards the control object answers for itself.
  ASSERT_EQ(invoke(kDispClose, DISPATCH_METHOD, {}, r.get()), S_OK);
  EXPECT_EQ(so.calls.back(), "CloseService");
  EXPECT_EQ(so.refs, 1u);
  EXPECT_EQ(c->ResultCode(), OPOS_SUCCESS);
  EXPECT_EQ(c->ClaimDevice(1000), OPOS_E_CLOSED);
  EXPECT_EQ(c->ResultCode(), OPOS_E_CLOSED);

  // Names resolve to the fixed DISPIDs.
  OLECHAR* names[] = {const_cast<OLECHAR*>(u"displaytextat")};
  DISPID id = 0;
  EXPECT_EQ(c->GetIDsOfNames(IID_NULL, names, 1, 0, &id), S_OK);
  EXPECT_EQ(id, kDispDisplayTextAt);
}

TEST(ControlLoader, RegistryChainFailuresBeforeAnyObject) {
  fakes::MemoryRegistry reg;
  auto loader = MakeSystemServiceObjectLoader(reg);
  IDispatch* out = reinterpret_cast<IDispatch*>(1);
  EXPECT_EQ(loader->Create("JQ.POSLDisplay.1", &out).status, LoadStatus::NotFound);
  EXPECT_EQ(out, nullptr);
  const std::string clsid = "{7D3C2A41-5B8E-4F2A-9C61-2E4B8D1A6F30}";
  reg.SetString("HKCR\\JQ.POSLDisplay.1\\CLSID", "", clsid);
  EXPECT_EQ(loader->Create("JQ.POSLDisplay.1", &out).status, LoadStatus::NotFound);  // no class
  reg.SetString("HKCR\\CLSID\\" + clsid + "\\InprocServer32", "", "/nonexistent/Kirnow.so");
  const LoadResult missing = loader->Create("JQ.POSLDisplay.1", &out);
  EXPECT_EQ(missing.status, LoadStatus::NotFound);
  EXPECT_NE(missing.detail.find("/nonexistent/Kirnow.so"), std::string::npos);
  // A library that loads but is no server.
  reg.SetString("HKCR\\CLSID\\" + clsid + "\\InprocServer32", "", "libm.so.6");
  EXPECT_EQ(loader->Create("JQ.POSLDisplay.1", &out).status, LoadStatus::NotCreatable);
  EXPECT_EQ(out, nullptr);
}

}  // namespace
}  // namespace kirnow::control
