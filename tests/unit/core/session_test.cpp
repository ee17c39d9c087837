// OpenService, ClaimDevice, ReleaseDevice and CloseService against an in-memory registry and a
// recording serial device: finding the device name, walking the USB instances, identifying the
// display, the greeting, the "Port" value, the defaults and the result codes.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "kirnow_config.h"
#include "serviceobject/core/posl_display.h"
#include "tests/fakes/fake_platform.h"

namespace kirnow {
namespace {

using IdentityMode = fakes::RecordingSerialDevice::IdentityMode;
using Box = std::pair<std::string, std::string>;

const std::string kLineDisplay =
    "HKEY_LOCAL_MACHINE\\SOFTWARE\\OLEforRetail\\ServiceOPOS\\LineDisplay";
const std::string kProgId = "JQ.POSLDisplay.1";
const std::string kPid = KIRNOW_USB_PID;

std::string UsbKey() {
  std::string vid = KIRNOW_USB_VID;
  for (char& c : vid) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Enum\\USB\\Vid_" + vid + "&Pid_" + kPid;
}

std::vector<uint8_t> Bytes(std::initializer_list<std::vector<uint8_t>> parts) {
  std::vector<uint8_t> out;
  for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

std::vector<uint8_t> Text(const std::string& s) { return {s.begin(), s.end()}; }

const std::vector<uint8_t> kQuery = {0x1D, 0x49, 0x02};
const std::vector<uint8_t> kInit = {0x1B, 0x40};

class Session : public ::testing::Test {
 protected:
  void AddDeviceEntry(const std::string& name, const std::string& progId = kProgId) {
    fp.registry.SetString(kLineDisplay + "\\" + name, "", progId);
  }
  void AddInstance(const std::string& instance, const std::string& portName) {
    fp.registry.SetString(UsbKey() + "\\" + instance + "\\Device Parameters", "PortName", portName);
  }
  void AddDisplay(int32_t port, IdentityMode mode = IdentityMode::Answer) {
    fp.serial.AddPort(port);
    fp.serial.SetIdentity(port, mode, kPid);
  }
  std::optional<std::string> PortValue(const std::string& name) {
    auto v = fp.registry.GetValue(kLineDisplay + "\\" + name, "Port");
    if (!v) return std::nullopt;
    return v->AsString();
  }
  void Open() { so.OpenService(u"LineDisplay", u"JQ POS POLE DISPLAY", &dispatch); }

  fakes::FakePlatform fp;
  std::unique_ptr<ModuleState> module = fakes::MakeModule(fp);
  POSLDisplay so{*module};
  int dispatch = 0;
};

TEST_F(Session, IdentifiedDisplayIsGreetedAndRecorded) {
  AddDeviceEntry("JQ POS POLE DISPLAY");
  AddInstance("0001", "COM3");
  AddDisplay(3);
  so.ResultCode = 99;

  Open();

  EXPECT_EQ(fp.serial.Written(), Bytes({kQuery, kQuery, kInit, Text("JQ POS POLE DISPLAY"),
                                        Text(" Open Success"), kInit}));
  EXPECT_TRUE(fp.box.shown.empty());
  EXPECT_EQ(so.ResultCode, OPOS_SUCCESS);
  EXPECT_EQ(module->PortNumber, 3);
  EXPECT_EQ(module->BaudRate, 9600);
  EXPECT_EQ(fp.serial.lastBaud, 9600);
  EXPECT_TRUE(module->Port.Opened());
  EXPECT_EQ(PortValue("JQ POS POLE DISPLAY"), "COM3");
  EXPECT_EQ(so.ControlObject, &dispatch);
  EXPECT_EQ(so.State, 2);
  EXPECT_EQ(so.DeviceEnabled, 1);
  // The identification waits 200 ms, 100 ms and 200 ms between and after the two queries.
  const auto stamped = fp.serial.WrittenWithTicks();
  ASSERT_GE(stamped.size(), 7u);
  EXPECT_GE(stamped[3].first - stamped[2].first, 300u);
  EXPECT_GE(stamped[6].first - stamped[5].first, 200u);

  // The port is open already: this claim changes neither Claimed nor ResultCode.
  so.ResultCode = 55;
  so.ClaimDevice(1000);
  EXPECT_EQ(so.Claimed, 0);
  EXPECT_EQ(so.ResultCode, 55);
  EXPECT_EQ(fp.serial.openCount, 1);
}

// The field trace follows the switch of each OpenService: nothing at all while it is off; on,
// the session's header, the walk with why an instance was skipped, the port's life, the wire
// and the message boxes; off again, nothing more.
TEST_F(Session, TheFieldTraceFollowsTheSwitchOfEachOpenService) {
  AddDeviceEntry("JQ POS POLE DISPLAY");
  AddInstance("A1", "COM2");  // no such port
  AddInstance("B2", "COM3");
  AddDisplay(3);
  Open();
  so.CloseService();
  module->fieldTrace.Stop();
  EXPECT_TRUE(fp.files.Paths().empty());

  const std::string entry = kLineDisplay + "\\JQ POS POLE DISPLAY";
  fp.registry.SetString(entry, "Trace", "1");
  fp.registry.SetString(entry, "TraceFolder", "/trace");
  Open();
  so.CloseService();
  module->fieldTrace.Stop();
  const std::string path = "/trace/kirnow-polecheck-4242.log";
  const std::string text = fp.files.Read(path);
  for (const char* expected :
       {" start Kirnow " KIRNOW_VERSION ", ",
        "; OpenService of \"JQ POS POLE DISPLAY\"; trace in /trace",
        " usb A1 skipped: COM2 cannot be opened\n", " box OpenService: \"Open port error\"\n",
        " usb B2: COM3 answered as the display: chosen\n", " port COM3 opened\n",
        " wire COM3: sent 1D 49 02\n", " wire COM3: read 50 49 44 3A",
        " port COM3 confirmed as the display by OpenService's identity exchange\n",
        " wire COM3: sent 1B 40\n", " port COM3 closed\n"}) {
    EXPECT_NE(text.find(expected), std::string::npos) << expected << "\n" << text;
  }

  fp.registry.DeleteValue(entry, "Trace");
  Open();
  so.CloseService();
  module->fieldTrace.Stop();
  EXPECT_EQ(fp.files.Read(path), text);
}

TEST_F(Session, NoUsbRecordTriesNothingAndClaimFails) {
  AddDeviceEntry("JQ POS POLE DISPLAY");
  AddDisplay(3);  // connected, but the system has no record of it
  so.ResultCode = 42;

  Open();

  EXPECT_TRUE(fp.box.shown.empty());
  EXPECT_TRUE(fp.serial.Written().empty());
  EXPECT_EQ(so.ResultCode, 42);
  EXPECT_EQ(module->PortNumber, 0);
  EXPECT_FALSE(module->Port.Opened());
  EXPECT_EQ(so.State, 2);
  EXPECT_EQ(so.DeviceEnabled, 1);

  so.ClaimDevice(1000);
  EXPECT_EQ(so.ResultCode, OPOS_E_ILLEGAL);
  EXPECT_EQ(so.Claimed, 0);
  EXPECT_EQ(fp.box.shown, (std::vector<Box>{{"Open Port Error", "ClaimDevice"}}));
}

TEST_F(Session, DefaultsAndWindowZeroAreSetWhetherOrNotADisplayIsFound) {
  so.DataCount = 7;
  so.DeviceBrightness = 50;
  so.MarqueeRepeatWait = 9;
  module->list[0].BlinkRate = 33;
  module->list[1].WindowHeight = 1;
  Open();

  EXPECT_EQ(so.BinaryConversion, 0);
  EXPECT_EQ(so.CapPowerReporting, 1);
  EXPECT_EQ(so.PowerState, 2000);
  EXPECT_EQ(so.ServiceObjectVersion, 1005103);
  EXPECT_EQ(so.CharacterSet, 998);
  EXPECT_EQ(so.DeviceRows, 2);
  EXPECT_EQ(so.DeviceColumns, 20);
  EXPECT_EQ(so.CurrentRows, 2);
  EXPECT_EQ(so.CurrentColumns, 20);
  EXPECT_EQ(so.BlinkRate, 5);
  for (const auto& [index, value] : {std::pair{PIDXDisp_CapCharacterSet, 998},
                                     {PIDXDisp_CapHMarquee, 0},
                                     {PIDXDisp_CapVMarquee, 1}}) {
    int32_t number = -1;
    so.GetPropertyNumber(index, &number);
    EXPECT_EQ(number, value) << index;
  }
  EXPECT_EQ(so.CursorUpdate, 1);
  // Fields OpenService does not set keep their values.
  EXPECT_EQ(so.DataCount, 7);
  EXPECT_EQ(so.DeviceBrightness, 50);
  EXPECT_EQ(so.MarqueeRepeatWait, 9);

  const WindowRecord& w = module->list[0];
  EXPECT_EQ(w.WindowHeight, 2);
  EXPECT_EQ(w.WindowWidth, 20);
  EXPECT_EQ(w.CursorUpdate, 1);
  EXPECT_EQ(w.DeviceRows, 2);
  EXPECT_EQ(w.DeviceColumns, 20);
  EXPECT_EQ(w.BlinkRate, 33);
  EXPECT_EQ(module->list[1].WindowHeight, 1);
}

TEST_F(Session, OnlyExactComOneToThirtySetsThePort) {
  for (const std::string bad : {"COM31", "com3", "COM03", "COM0", "COM3 "}) {
    SCOPED_TRACE(bad);
    fakes::FakePlatform p;
    auto m = fakes::MakeModule(p);
    POSLDisplay s(*m);
    p.serial.AddPort(3);
    p.serial.AddPort(31);
    p.serial.SetIdentity(3, IdentityMode::Answer, kPid);
    p.registry.SetString(UsbKey() + "\\0001\\Device Parameters", "PortName", bad);
    s.OpenService(u"", u"", nullptr);
    EXPECT_EQ(p.box.shown, (std::vector<Box>{{"Open port error", "OpenService"},
                                             {"OPOS_E_OFFLINE", "OpenService"}}));
    EXPECT_EQ(s.ResultCode, OPOS_E_OFFLINE);
    EXPECT_EQ(p.serial.openCount, 0);
  }
}

TEST_F(Session, AbsentFirstPortThenIdentifiedSecond) {
  AddInstance("0001", "COM7");
  AddInstance("0002", "COM30");
  AddDisplay(30);

  Open();

  EXPECT_EQ(fp.box.shown, (std::vector<Box>{{"Open port error", "OpenService"},
                                            {"OPOS_E_OFFLINE", "OpenService"}}));
  EXPECT_EQ(so.ResultCode, OPOS_SUCCESS);
  EXPECT_EQ(module->PortNumber, 30);
  EXPECT_TRUE(module->Port.Opened());
}

TEST_F(Session, APortThisUserMayNotOpenSaysWhyInBothMessages) {
  AddInstance("0001", "COM4");
  const std::string why = "COM4 is /dev/ttyACM0, which user pos may not open";
  fp.serial.Refuse(4, why);

  Open();
  // A claim of the same port after a session that had it (the failed walk left 0 behind).
  module->PortNumber = 4;
  so.ClaimDevice(1000);

  EXPECT_EQ(fp.box.shown, (std::vector<Box>{{"Open port error\n\n" + why, "OpenService"},
                                            {"OPOS_E_OFFLINE", "OpenService"},
                                            {"Open Port Error\n\n" + why, "ClaimDevice"}}));
  EXPECT_EQ(so.ResultCode, OPOS_E_ILLEGAL);
}

TEST_F(Session, IdentifiedInstanceEndsTheWalk) {
  AddInstance("0001", "COM3");
  AddInstance("0002", "COM4");
  AddDisplay(3);
  AddDisplay(4);
  Open();
  EXPECT_EQ(so.ResultCode, OPOS_SUCCESS);
  EXPECT_EQ(module->PortNumber, 3);
  EXPECT_EQ(fp.serial.openCount, 1);
}

TEST_F(Session, IdentityRepliesDecideTheOutcome) {
  {
    SCOPED_TRACE("answers only the second query");
    AddInstance("0001", "COM5");
    AddDisplay(5, IdentityMode::SecondOnly);
    Open();
    EXPECT_EQ(so.ResultCode, OPOS_SUCCESS);
    EXPECT_TRUE(fp.box.shown.empty());
    EXPECT_TRUE(module->Port.Opened());
  }
  for (IdentityMode mode : {IdentityMode::WrongId, IdentityMode::Silent}) {
    SCOPED_TRACE(static_cast<int>(mode));
    fakes::FakePlatform p;
    auto m = fakes::MakeModule(p);
    POSLDisplay s(*m);
    p.registry.SetString(UsbKey() + "\\0001\\Device Parameters", "PortName", "COM5");
    p.registry.SetString(kLineDisplay + "\\Pole", "", kProgId);
    p.serial.AddPort(5);
    p.serial.SetIdentity(5, mode, kPid);
    s.OpenService(u"", u"Pole", nullptr);
    EXPECT_EQ(p.box.shown, (std::vector<Box>{{"OPOS_E_OFFLINE", "OpenService"}}));
    EXPECT_EQ(s.ResultCode, OPOS_E_OFFLINE);
    EXPECT_EQ(m->PortNumber, 0);
    EXPECT_FALSE(m->Port.Opened());
    EXPECT_EQ(p.serial.Written(), Bytes({kQuery, kQuery}));  // no greeting, no final initialise
    auto port = p.registry.GetValue(kLineDisplay + "\\Pole", "Port");
    EXPECT_FALSE(port.has_value());
  }
}

// A marquee still walking from an earlier session sends nothing to a device that is being asked
// who it is: another device now at the number gets the two queries alone.
TEST_F(Session, AMarqueeOfAnEarlierSessionStaysOffADeviceBeingIdentified) {
  AddInstance("0001", "COM5");
  AddDisplay(5);
  Open();
  so.DisplayTextAt(0, 0, u"walking", DISP_DT_NORMAL);
  so.SetPropertyNumber(PIDXDisp_MarqueeType, DISP_MT_LEFT);
  so.CloseService();
  fp.serial.SetIdentity(5, IdentityMode::WrongId, kPid);
  fp.serial.ClearWritten();
  Open();
  EXPECT_EQ(so.ResultCode, OPOS_E_OFFLINE);
  EXPECT_EQ(fp.serial.Written(), Bytes({kQuery, kQuery}));
}

TEST_F(Session, LongDeviceNameIsCutInTheGreetingOnly) {
  const std::string name = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123";  // 30 characters
  AddDeviceEntry(name);
  AddInstance("0001", "COM3");
  AddDisplay(3);
  Open();
  EXPECT_EQ(fp.serial.Written(),
            Bytes({kQuery, kQuery, kInit, Text(name.substr(0, 27)), Text(" Open Success"), kInit}));
  EXPECT_EQ(PortValue(name), "COM3");
}

TEST_F(Session, LastMatchingDeviceEntryNamesTheDevice) {
  AddDeviceEntry("Alpha");
  AddDeviceEntry("Beta");
  AddDeviceEntry("Gamma", "Other.Display.1");
  AddDeviceEntry("Zeta", "jq.posldisplay.1");  // the ProgID compares case-sensitively
  AddInstance("0001", "COM3");
  AddDisplay(3);
  Open();
  EXPECT_EQ(fp.serial.Written(),
            Bytes({kQuery, kQuery, kInit, Text("Beta"), Text(" Open Success"), kInit}));
  EXPECT_EQ(PortValue("Beta"), "COM3");
  EXPECT_FALSE(PortValue("Alpha").has_value());
}

TEST_F(Session, NoDeviceEntryGreetsWithTheDefaultNameAndWritesNoPort) {
  AddInstance("0001", "COM3");
  AddDisplay(3);
  Open();
  EXPECT_EQ(fp.serial.Written(), Bytes({kQuery, kQuery, kInit, Text("JQ POS Pole Display"),
                                        Text(" Open Success"), kInit}));
  EXPECT_EQ(so.ResultCode, OPOS_SUCCESS);
  EXPECT_FALSE(fp.registry.KeyExists(kLineDisplay + "\\JQ POS Pole Display"));
}

TEST_F(Session, UnreadableInstanceNameIsReportedAndTheWalkGoesOn) {
  AddInstance("0001", "COM8");
  AddInstance("0002", "COM3");
  AddDisplay(3);
  fp.registry.FailSubkeyName(UsbKey(), 0);
  Open();
  EXPECT_EQ(fp.box.shown, (std::vector<Box>{{"USB Registry Enum Error", "OpenService"}}));
  EXPECT_EQ(so.ResultCode, OPOS_SUCCESS);
  EXPECT_EQ(module->PortNumber, 3);
}

TEST_F(Session, ClaimAfterCloseReopensTheSamePort) {
  AddInstance("0001", "COM3");
  AddDisplay(3);
  Open();
  ASSERT_TRUE(module->Port.Opened());

  so.CloseService();
  EXPECT_FALSE(module->Port.Opened());
  EXPECT_EQ(module->PortNumber, 3);
  fp.serial.ClearWritten();

  so.ClaimDevice(0);
  EXPECT_EQ(so.Claimed, 1);
  EXPECT_EQ(so.ResultCode, OPOS_SUCCESS);
  EXPECT_EQ(fp.serial.lastOpenedPort, 3);
  EXPECT_EQ(fp.serial.lastBaud, 9600);
  EXPECT_EQ(fp.serial.openCount, 2);

  so.ReleaseDevice();  // changes nothing
  EXPECT_EQ(so.Claimed, 1);
  EXPECT_TRUE(module->Port.Opened());
  EXPECT_TRUE(fp.serial.Written().empty());
  EXPECT_TRUE(fp.box.shown.empty());

  // A number the record cannot tell (mapped by hand), with another device on it now: asked, it
  // does not answer as the display, the claim fails as a failed open does, and it gets nothing
  // else. The display back there answers and is claimed.
  so.CloseService();
  fp.serial.SetInRecord(3, false);
  fp.serial.SetIdentity(3, fakes::RecordingSerialDevice::IdentityMode::WrongId, KIRNOW_USB_PID);
  fp.serial.ClearWritten();
  so.ClaimDevice(0);
  so.DisplayText(u"PRICE 12.50", DISP_DT_NORMAL);
  EXPECT_EQ(so.ResultCode, OPOS_E_ILLEGAL);
  EXPECT_EQ(so.Claimed, 0);
  EXPECT_EQ(fp.box.shown, (std::vector<Box>{{"Open Port Error", "ClaimDevice"}}));
  const std::vector<uint8_t> asked = fp.serial.Written();
  EXPECT_EQ(std::string(asked.begin(), asked.end()), "\x1D\x49\x02\x1D\x49\x02");
  fp.serial.SetIdentity(3, fakes::RecordingSerialDevice::IdentityMode::Answer, KIRNOW_USB_PID);
  so.ClaimDevice(0);
  EXPECT_EQ(so.Claimed, 1);
}

// The display was pulled out under an open session and is back: OpenService opens the port
// again and identifies the display, instead of finding the dead port still open and failing.
TEST_F(Session, OpenServiceOnAPortThatDiedReopensIt) {
  AddInstance("0001", "COM3");
  AddDisplay(3);
  Open();
  ASSERT_EQ(so.ResultCode, OPOS_SUCCESS);
  fp.serial.SetUnplugged(true);
  module->Port.SendByte(0x41);
  ASSERT_TRUE(module->Port.Dead());
  fp.serial.SetUnplugged(false);
  fp.serial.ClearWritten();

  Open();
  EXPECT_EQ(so.ResultCode, OPOS_SUCCESS);
  EXPECT_TRUE(fp.box.shown.empty());
  EXPECT_FALSE(module->Port.Dead());
  EXPECT_EQ(fp.serial.openCount, 2);
  const std::vector<uint8_t> written = fp.serial.Written();
  ASSERT_GE(written.size(), 6u);
  EXPECT_EQ(std::vector<uint8_t>(written.begin(), written.begin() + 6), Bytes({kQuery, kQuery}));
}

}  // namespace
}  // namespace kirnow
