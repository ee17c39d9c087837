// The whole Linux chain: Kirnow.so registered with regsvr into a registry store file, the control
// object finding it through the device entry and the class registry, and the virtual pole
// display on a pseudo-terminal receiving what the calls send.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "controlobject/line_display_control.h"
#include "virtual_display.h"

namespace kirnow {
namespace {

using control::LineDisplayControl;

size_t Count(const std::vector<uint8_t>& hay, const std::vector<uint8_t>& needle, size_t from = 0) {
  size_t n = 0;
  for (size_t i = from; i + needle.size() <= hay.size(); ++i) {
    if (std::equal(needle.begin(), needle.end(), hay.begin() + static_cast<long>(i))) ++n;
  }
  return n;
}

bool Contains(const std::vector<uint8_t>& hay, const std::string& text) {
  return Count(hay, std::vector<uint8_t>(text.begin(), text.end())) > 0;
}

// Calls a member of the control object the way a host does: by DISPID.
class Host {
 public:
  explicit Host(IDispatch* control) : control_(control) {}
  HRESULT Call(DISPID id, WORD kind, std::vector<VARIANT> args, VARIANT* result = nullptr) {
    std::vector<VARIANT> reversed(args.rbegin(), args.rend());
    DISPID put = DISPID_PROPERTYPUT;
    const bool isPut = kind == DISPATCH_PROPERTYPUT;
    DISPPARAMS p = {reversed.data(), isPut ? &put : nullptr, static_cast<UINT>(reversed.size()),
                    isPut ? 1u : 0u};
    return control_->Invoke(id, IID_NULL, 0, kind, &p, result, nullptr, nullptr);
  }
  int32_t I4(DISPID id, WORD kind, std::vector<VARIANT> args = {}) {
    com::Variant r;
    EXPECT_EQ(Call(id, kind, std::move(args), r.get()), S_OK) << "DISPID " << id;
    VariantChangeType(r.get(), r.get(), 0, VT_I4);
    return r->lVal;
  }
  void Put(DISPID id, VARIANT v) { EXPECT_EQ(Call(id, DISPATCH_PROPERTYPUT, {v}), S_OK); }

 private:
  IDispatch* control_;
};

VARIANT Long(LONG v) { return com::LongArg(v); }

VARIANT Text(const com::Bstr& s) { return com::BstrArg(s.get()); }

TEST(ControlObjectOverPty, OpensClaimsEnablesDisplaysAndScrollsThroughKirnowSo) {
  it::VirtualDisplay display;
  ASSERT_TRUE(display.Start());
  it::TestRegistryFile store;
  store.AddDisplay("JQ POS POLE DISPLAY", 5, display.LinkPath());
  const std::string regsvr = std::string(KIRNOW_REGSVR_PATH) + " /s " + KIRNOW_SO_PATH;
  ASSERT_EQ(std::system(regsvr.c_str()), 0);
  ASSERT_NE(store.Read().find("InprocServer32"), std::string::npos);

  com::Ref<IDispatch> control(control::CreateLineDisplayControl());
  ASSERT_TRUE(control);
  Host host(control.get());
  const com::Bstr name(u"JQ POS POLE DISPLAY");

  ASSERT_EQ(host.I4(kDispOpen, DISPATCH_METHOD, {Text(name)}), 0);
  EXPECT_EQ(host.I4(kDispResultCode, DISPATCH_PROPERTYGET), 0);
  ASSERT_TRUE(display.WaitForBytes(8, 3000));
  host.I4(kDispClaimDevice, DISPATCH_METHOD, {Long(1000)});
  EXPECT_EQ(host.I4(kDispResultCode, DISPATCH_PROPERTYGET), 0);
  VARIANT yes;
  VariantInit(&yes);
  yes.vt = VT_BOOL;
  yes.boolVal = VARIANT_TRUE;
  host.Put(kDispDeviceEnabled, yes);
  EXPECT_EQ(host.I4(kDispResultCode, DISPATCH_PROPERTYGET), 0);
  com::Variant deviceName;
  ASSERT_EQ(host.Call(kDispDeviceName, DISPATCH_PROPERTYGET, {}, deviceName.get()), S_OK);
  ASSERT_EQ(deviceName->vt, VT_BSTR);
  EXPECT_EQ(com::BstrView(deviceName->bstrVal).substr(0, 6), u"JQ POS");

  // Text on the whole display.
  const com::Bstr hello(u"Hello pole");
  host.I4(kDispDisplayText, DISPATCH_METHOD, {Text(hello), Long(0)});
  EXPECT_TRUE(display.WaitForSnapshot(
      [](const it::Snapshot& s) { return s.line1.find("Hello pole") != std::string::npos; }, 3000));
  EXPECT_TRUE(Contains(display.ReceivedBytes(), "Hello pole"));

  // A marquee on line 1, in a window of its own, as the test dialog runs it.
  host.I4(kDispCreateWindow, DISPATCH_METHOD,
          {Long(0), Long(0), Long(1), Long(20), Long(1), Long(20)});
  EXPECT_EQ(host.I4(kDispCurrentWindow, DISPATCH_PROPERTYGET), 1);
  host.Put(kDispMarqueeUnitWait, Long(0));
  host.I4(kDispClearText, DISPATCH_METHOD);
  host.Put(kDispMarqueeType, Long(5));
  const com::Bstr scrolling(u"Scrolling Text Line 1 ");
  host.I4(kDispDisplayTextAt, DISPATCH_METHOD, {Long(0), Long(0), Text(scrolling), Long(0)});
  const size_t before = display.ReceivedBytes().size();
  host.Put(kDispMarqueeType, Long(3));
  const std::vector<uint8_t> frameStart = {0x1F, 0x24, 0x01, 0x01};
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(6);
  while (Count(display.ReceivedBytes(), frameStart, before) < 4 &&
         std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  EXPECT_GE(Count(display.ReceivedBytes(), frameStart, before), 4u);
  EXPECT_TRUE(display.WaitForSnapshot(
      [](const it::Snapshot& s) { return s.line1.find("Scrolling") != std::string::npos; }, 5000));

  // Stop the marquee, close: the service object's CloseService ends the session.
  host.Put(kDispMarqueeType, Long(5));
  host.Put(kDispMarqueeType, Long(0));
  host.I4(kDispDestroyWindow, DISPATCH_METHOD);
  EXPECT_EQ(host.I4(kDispClose, DISPATCH_METHOD), 0);
  EXPECT_EQ(host.I4(kDispClearText, DISPATCH_METHOD), kirnow::OPOS_E_CLOSED);
  control.reset();

  // Unregistering takes the class out of the store again.
  const std::string unregister = std::string(KIRNOW_REGSVR_PATH) + " /u /s " + KIRNOW_SO_PATH;
  EXPECT_EQ(std::system(unregister.c_str()), 0);
  EXPECT_EQ(store.Read().find("InprocServer32"), std::string::npos);
}

TEST(ControlObjectOverPty, UnregisteredServerAndMissingLibraryAreNoExist) {
  it::TestRegistryFile store;
  store.AddOposDevice("JQ POS POLE DISPLAY");
  com::Ref<IDispatch> control(control::CreateLineDisplayControl());
  ASSERT_TRUE(control);
  Host host(control.get());
  const com::Bstr name(u"JQ POS POLE DISPLAY");
  EXPECT_EQ(host.I4(kDispOpen, DISPATCH_METHOD, {Text(name)}), kirnow::OPOS_E_NOEXIST);

  store.SetString("HKEY_CLASSES_ROOT\\JQ.POSLDisplay.1\\CLSID", "",
                  "{7D3C2A41-5B8E-4F2A-9C61-2E4B8D1A6F30}");
  store.SetString(
      "HKEY_CLASSES_ROOT\\CLSID\\{7D3C2A41-5B8E-4F2A-9C61-2E4B8D1A6F30}\\InprocServer32", "",
      "/nonexistent/Kirnow.so");
  store.Write();
  EXPECT_EQ(host.I4(kDispOpen, DISPATCH_METHOD, {Text(name)}), kirnow::OPOS_E_NOEXIST);
  EXPECT_EQ(host.I4(kDispResultCode, DISPATCH_PROPERTYGET), kirnow::OPOS_E_NOEXIST);
}

}  // namespace
}  // namespace kirnow
