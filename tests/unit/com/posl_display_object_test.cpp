// The POSLDisplay COM object over fakes: arguments converted from VARIANTs (by value and by
// reference) reach the service object, results come back the automation way, bad calls are
// refused with the dispatch errors, and releasing an object with an open session closes it.
#include "serviceobject/com/posl_display_object.h"

#include <gtest/gtest.h>

#include <vector>

#include "kirnow_config.h"
#include "tests/fakes/counted_dispatch.h"
#include "tests/fakes/fake_com_module.h"
#include "tests/fakes/fake_platform.h"

namespace kirnow::server {
namespace {

using com::Ref;

const std::string kLineDisplay =
    "HKEY_LOCAL_MACHINE\\SOFTWARE\\OLEforRetail\\ServiceOPOS\\LineDisplay";

class ComObject : public ::testing::Test {
 protected:
  ComObject() {
    std::string vid = KIRNOW_USB_VID;
    for (char& c : vid) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    fp.registry.SetString(kLineDisplay + "\\JQ POS POLE DISPLAY", "", "JQ.POSLDisplay.1");
    fp.registry.SetString("HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Enum\\USB\\Vid_" + vid +
                              "&Pid_" KIRNOW_USB_PID "\\0001\\Device Parameters",
                          "PortName", "COM4");
    fp.serial.AddPort(4);
    fp.serial.SetIdentity(4, fakes::RecordingSerialDevice::IdentityMode::Answer, KIRNOW_USB_PID);
    EXPECT_EQ(PoslDisplayObject::Create(module, nullptr, IID_IDispatch, object.receiveVoid()),
              S_OK);
  }

  // Invokes `id` with the arguments in call order (they are passed reversed, as automation does).
  HRESULT Call(DISPID id, std::vector<VARIANT> args, VARIANT* result = nullptr,
               UINT* argErr = nullptr) {
    std::vector<VARIANT> reversed(args.rbegin(), args.rend());
    DISPPARAMS params = {reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
    return object->Invoke(id, IID_NULL, 0, DISPATCH_METHOD, &params, result, nullptr, argErr);
  }
  static VARIANT Long(LONG v) {
    VARIANT x;
    VariantInit(&x);
    x.vt = VT_I4;
    x.lVal = v;
    return x;
  }
  // The BSTR stays owned by the test's Bstr objects.
  static VARIANT Text(const com::Bstr& s) {
    VARIANT x;
    VariantInit(&x);
    x.vt = VT_BSTR;
    x.bstrVal = s.get();
    return x;
  }

  fakes::FakePlatform fp;
  std::unique_ptr<ModuleState> state = fakes::MakeModule(fp);
  fakes::FakeComModule module{*state};
  Ref<IDispatch> object;
};

TEST_F(ComObject, SessionAndOutputThroughInvoke) {
  com::Bstr deviceClass(u"LineDisplay"), name(u"JQ POS POLE DISPLAY"), text(u"Hi");
  com::Variant result;
  ASSERT_EQ(Call(1, {Text(deviceClass), Text(name), VARIANT{}}, result.get()), S_OK);
  EXPECT_EQ(result->vt, VT_I4);
  EXPECT_EQ(result->lVal, 0);
  EXPECT_TRUE(fp.serial.IsOpen());

  // ResultCode (6) read back; then text; an integer given as a string is converted.
  ASSERT_EQ(Call(16, {Long(6)}, result.get()), S_OK);
  EXPECT_EQ(result->lVal, 0);
  fp.serial.ClearWritten();
  ASSERT_EQ(Call(7, {Text(text), Long(0)}, result.get()), S_OK);
  const auto written = fp.serial.Written();
  ASSERT_GE(written.size(), 2u);
  EXPECT_EQ(std::string(written.end() - 2, written.end()), "Hi");

  com::Bstr numberText(u"5015");
  ASSERT_EQ(Call(17, {Text(numberText), Long(70)}, result.get()), S_OK);
  EXPECT_EQ(result->vt, VT_EMPTY);
  ASSERT_EQ(Call(16, {Long(5015)}, result.get()), S_OK);
  EXPECT_EQ(result->lVal, 70);

  // Each string property read hands out a string of its own.
  ASSERT_EQ(Call(18, {Long(1000003)}, result.get()), S_OK);
  ASSERT_EQ(result->vt, VT_BSTR);
  com::Variant again;
  ASSERT_EQ(Call(18, {Long(1000003)}, again.get()), S_OK);
  EXPECT_NE(result->bstrVal, again->bstrVal);
  EXPECT_EQ(com::BstrView(result->bstrVal), com::BstrView(again->bstrVal));
  EXPECT_FALSE(com::BstrView(result->bstrVal).empty());
}

TEST_F(ComObject, ByReferenceArgumentsAndUnansweredStrings) {
  // ReadCharacterAtCursor's out parameter, as VT_BYREF|VT_I4 and as a referenced VARIANT.
  LONG ch = -5;
  VARIANT ref;
  VariantInit(&ref);
  ref.vt = VT_BYREF | VT_I4;
  ref.plVal = &ch;
  ASSERT_EQ(Call(14, {ref}), S_OK);
  EXPECT_NE(ch, -5);
  VARIANT inner = Long(-5);
  ref.vt = VT_BYREF | VT_VARIANT;
  ref.pvarVal = &inner;
  ASSERT_EQ(Call(14, {ref}), S_OK);
  EXPECT_EQ(inner.vt, VT_I4);
  EXPECT_EQ(inner.lVal, ch);

  // An index with no string leaves the caller's BSTR where it was.
  Ref<IPOSLDisplay> direct;
  ASSERT_EQ(object->QueryInterface(IID_IPOSLDisplay, direct.receiveVoid()), S_OK);
  com::Bstr mine(u"mine");
  BSTR slot = mine.get();
  ASSERT_EQ(direct->GetPropertyString(123456, &slot), S_OK);
  EXPECT_EQ(slot, mine.get());
  EXPECT_EQ(direct->GetPropertyString(1000003, nullptr), E_POINTER);
  EXPECT_EQ(direct->ClearText(nullptr), E_POINTER);
}

TEST_F(ComObject, RefusedCalls) {
  UINT argErr = 99;
  com::Bstr notNumber(u"twelve");
  EXPECT_EQ(Call(8, {Long(0), Text(notNumber), Long(0), Long(0)}, nullptr, &argErr),
            DISP_E_TYPEMISMATCH);
  EXPECT_EQ(argErr, 2u);  // position in the reversed argument array
  EXPECT_EQ(Call(3, {}), DISP_E_BADPARAMCOUNT);
  EXPECT_EQ(Call(3, {Long(1), Long(2)}), DISP_E_BADPARAMCOUNT);
  EXPECT_EQ(Call(0, {}), DISP_E_MEMBERNOTFOUND);
  EXPECT_EQ(Call(28, {}), DISP_E_MEMBERNOTFOUND);

  VARIANT v = Long(1);
  DISPID put = DISPID_PROPERTYPUT;
  DISPPARAMS params = {&v, &put, 1, 1};
  EXPECT_EQ(
      object->Invoke(3, IID_NULL, 0, DISPATCH_PROPERTYPUT, &params, nullptr, nullptr, nullptr),
      DISP_E_MEMBERNOTFOUND);
  EXPECT_EQ(
      object->Invoke(3, IID_IDispatch, 0, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr),
      DISP_E_UNKNOWNINTERFACE);
  // Named arguments by parameter position: DisplayTextAt(Column:=3, Row:=1, Data, Attribute).
  std::vector<VARIANT> named = {Long(3), Long(1)};
  com::Bstr ab(u"ab");
  named.push_back(Long(0));
  named.push_back(Text(ab));  // positional: rgvarg holds them last first after the named ones
  std::vector<VARIANT> all = {named[0], named[1], named[2], named[3]};
  DISPID ids[] = {1, 0};
  params = {all.data(), ids, 4, 2};
  // Positional arguments would be Row, Column: with both named they would repeat, so refuse.
  EXPECT_EQ(object->Invoke(8, IID_NULL, 0, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr),
            DISP_E_PARAMNOTFOUND);
}

TEST_F(ComObject, TheControlObjectMayComeThroughOneReferencedVariant) {
  fakes::CountedDispatch control;
  VARIANT object;
  VariantInit(&object);
  object.vt = VT_DISPATCH;
  object.pdispVal = &control;
  VARIANT ref, twice;
  ref.vt = twice.vt = VT_BYREF | VT_VARIANT;
  ref.pvarVal = &object;
  twice.pvarVal = &ref;
  com::Bstr deviceClass(u"LineDisplay"), name(u"JQ POS POLE DISPLAY");

  // Referred to twice, the argument is refused (what oleaut32 answers) and OpenService never runs.
  UINT argErr = 99;
  EXPECT_EQ(Call(1, {Text(deviceClass), Text(name), twice}, nullptr, &argErr), E_INVALIDARG);
  EXPECT_EQ(argErr, 0u);
  EXPECT_FALSE(fp.serial.IsOpen());
  EXPECT_EQ(control.refs, 1u);

  com::Variant result;
  ASSERT_EQ(Call(1, {Text(deviceClass), Text(name), ref}, result.get()), S_OK);
  EXPECT_EQ(result->lVal, 0);
  EXPECT_TRUE(fp.serial.IsOpen());
  EXPECT_EQ(control.refs, 1u);  // the call's own reference ends with the call
}

// With the field trace on, the frame records each method with its arguments as the caller
// passed them and its outcome, and each property access by name; the final release ends the
// writer after it has written them.
TEST_F(ComObject, TheFrameRecordsEachCallAsTheCallerPassedIt) {
  fp.registry.SetString(kLineDisplay + "\\JQ POS POLE DISPLAY", "Trace", "1");
  com::Bstr deviceClass(u"LineDisplay"), name(u"JQ POS POLE DISPLAY"), text(u"Hi\n");
  ASSERT_EQ(Call(1, {Text(deviceClass), Text(name), VARIANT{}}), S_OK);
  ASSERT_EQ(Call(8, {Long(1), Long(2), Text(text), Long(0)}), S_OK);
  ASSERT_EQ(Call(17, {Long(5014), Long(5)}), S_OK);
  ASSERT_EQ(Call(16, {Long(6)}), S_OK);
  object.reset();
  const std::string trace =
      fp.files.Read(fp.files.DefaultTraceFolder() + "/kirnow-polecheck-4242.log");
  for (const std::string expected :
       {" call OpenService(DeviceClass=\"LineDisplay\", DeviceName=\"JQ POS POLE DISPLAY\", "
        "pDispatch=null) -> pRC 0, ResultCode 0, ",
        " call DisplayTextAt(Row=1, Column=2, Data=\"Hi\\x0A\", Attribute=0) -> pRC 0, "
        "ResultCode 0, ",
        " set MarqueeType (5014) = 5 -> ResultCode 0, ", " get ResultCode (6) = 0 -> "}) {
    EXPECT_NE(trace.find(expected), std::string::npos) << expected << "\n" << trace;
  }
  EXPECT_FALSE(state->fieldTrace.WriterAlive());
}

TEST_F(ComObject, FinalReleaseClosesAnOpenSession) {
  com::Bstr deviceClass(u"LineDisplay"), name(u"JQ POS POLE DISPLAY");
  ASSERT_EQ(Call(1, {Text(deviceClass), Text(name), VARIANT{}}), S_OK);
  ASSERT_TRUE(fp.serial.IsOpen());
  EXPECT_EQ(module.Objects(), 1);
  object.reset();
  EXPECT_FALSE(fp.serial.IsOpen());
  EXPECT_EQ(module.Objects(), 0);
}

}  // namespace
}  // namespace kirnow::server
