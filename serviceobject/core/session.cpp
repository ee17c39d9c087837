// The device session: OpenService finds the display among the USB instances the system
// records, identifies it, greets the user and sets every default; ClaimDevice opens the port
// when it is not open yet; ReleaseDevice only traces; CloseService closes the port.
#include <algorithm>
#include <array>
#include <optional>
#include <string>
#include <string_view>

#include "kirnow_config.h"
#include "platform/text/utf_convert.h"
#include "serviceobject/com/guids.h"
#include "serviceobject/core/posl_display.h"

namespace kirnow {

namespace {

constexpr const char* kLineDisplayKey =
    "HKEY_LOCAL_MACHINE\\SOFTWARE\\OLEforRetail\\ServiceOPOS\\LineDisplay";
constexpr const char* kUsbEnumKey = "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Enum\\USB";
constexpr std::string_view kServiceProgId = KIRNOW_PROGID;
constexpr const char* kDefaultDeviceName = "JQ POS Pole Display";
constexpr int32_t kSessionBaudRate = 9600;
constexpr size_t kGreetingNameLimit = 27;  // characters of the device name shown in the greeting
constexpr int32_t kHighestPort = 30;

constexpr uint8_t kIdentityQuery[] = {0x1D, 0x49, 0x02};
constexpr uint8_t kInitialise[] = {0x1B, 0x40};
constexpr std::string_view kGreetingTail = " Open Success";

std::string UsbInstancesKey() {
  std::string vid = KIRNOW_USB_VID;
  for (char& c : vid) {
    if (c >= 'A' && c <= 'F') c = static_cast<char>(c - 'A' + 'a');
  }
  return std::string(kUsbEnumKey) + "\\Vid_" + vid + "&Pid_" + KIRNOW_USB_PID;
}

// The number n of "COM<n>" for n from 1 to 30, written exactly so (upper case, no leading
// zeros); nullopt for anything else.
std::optional<int32_t> ParsePortName(std::string_view name) {
  for (int32_t n = 1; n <= kHighestPort; ++n) {
    if (name == "COM" + std::to_string(n)) return n;
  }
  return std::nullopt;
}

// A failed open's message, with the device's words on why when the user can remedy it (a tty
// this user may not open names the device and the group that may).
std::string WithProblem(const std::string& text, const platform::SerialDevice& device) {
  const std::string problem = device.OpenProblem();
  return problem.empty() ? text : text + "\n\n" + problem;
}

}  // namespace

int32_t POSLDisplay::OpenService(std::u16string_view /*DeviceClass*/,
                                 std::u16string_view DeviceName, void* pDispatch) {
  ModuleState& m = module_;
  platform::Registry& registry = m.platform.registry;
  platform::MessageBoxSink& box = m.platform.messageBox;

  m.trace.BeginOpenService([&] { return m.platform.ansi.ToAnsi(DeviceName); });

  ControlObject = pDispatch;

  // The logical device name under which this service object is registered: the last device
  // entry, in enumeration order, with a value naming our ProgID.
  std::string foundName = kDefaultDeviceName;
  const uint32_t entries = registry.SubkeyCount(kLineDisplayKey).value_or(0);
  for (uint32_t i = 0; i < entries; ++i) {
    const std::optional<std::string> name = registry.SubkeyName(kLineDisplayKey, i);
    if (!name) continue;
    const std::string entry = std::string(kLineDisplayKey) + "\\" + *name;
    const std::optional<uint32_t> values = registry.ValueCount(entry);
    if (!values) continue;
    for (uint32_t v = 0; v < *values; ++v) {
      const std::optional<platform::RegValue> value = registry.ValueAt(entry, v);
      if (!value) continue;
      const std::optional<std::string> data = value->AsString();
      if (data && *data == kServiceProgId) foundName = *name;
    }
  }
  const std::string greetingName =
      m.platform.ansi.ToAnsi(platform::Utf8ToUtf16(foundName, kGreetingNameLimit));

  // Find the display among the USB instances and ask each for its identity.
  const std::string usbKey = UsbInstancesKey();
  const uint32_t instances = registry.SubkeyCount(usbKey).value_or(0);
  const std::string expected = std::string("PID:") + KIRNOW_USB_PID;
  for (uint32_t k = 0; k < instances; ++k) {
    const std::optional<std::string> instance = registry.SubkeyName(usbKey, k);
    if (!instance) {
      box.Show("USB Registry Enum Error", "OpenService");
      continue;
    }
    const std::string params = usbKey + "\\" + *instance + "\\Device Parameters";
    const std::optional<uint32_t> values = registry.ValueCount(params);
    if (!values) continue;
    for (uint32_t v = 0; v < *values; ++v) {
      const std::optional<platform::RegValue> value = registry.ValueAt(params, v);
      if (!value || value->name != "PortName") continue;
      const std::optional<std::string> data = value->AsString();
      if (!data) continue;
      if (const std::optional<int32_t> n = ParsePortName(*data)) m.PortNumber = *n;
    }

    m.BaudRate = kSessionBaudRate;
    bool identified = false;
    if (!m.Port.Open(m.PortNumber, m.BaudRate)) {
      box.Show(WithProblem("Open port error", m.platform.serial), "OpenService");
    } else {
      auto query = [&](std::array<uint8_t, 8>& reply) {
        for (uint8_t b : kIdentityQuery) m.Port.SendByte(b);
        m.DelayMs(200);
        for (uint8_t& slot : reply) {
          // When no byte has arrived InByte keeps the byte before it.
          m.Port.ReadData(&m.InByte, 1);
          slot = m.InByte;
        }
      };
      query(m.IdReply1);
      m.DelayMs(100);
      query(m.IdReply2);
      auto matches = [&](const std::array<uint8_t, 8>& reply) {
        return expected.size() == reply.size() &&
               std::equal(reply.begin(), reply.end(), expected.begin(),
                          [](uint8_t a, char b) { return a == static_cast<uint8_t>(b); });
      };
      identified = matches(m.IdReply1) || matches(m.IdReply2);
    }

    if (identified) {
      for (uint8_t b : kInitialise) m.Port.SendByte(b);
      for (char c : greetingName) m.Port.SendByte(static_cast<uint8_t>(c));
      for (char c : kGreetingTail) m.Port.SendByte(static_cast<uint8_t>(c));
      ResultCode = OPOS_SUCCESS;
      // Recorded under the full name; an entry that doesn't exist is simply not written.
      registry.SetValue(
          std::string(kLineDisplayKey) + "\\" + foundName,
          platform::RegValue::FromString("Port", "COM" + std::to_string(m.PortNumber)));
      break;
    }
    m.Port.Close();
    m.PortNumber = 0;
    ResultCode = OPOS_E_OFFLINE;
    box.Show("OPOS_E_OFFLINE", "OpenService");
  }

  // Defaults, found display or not.
  BinaryConversion = 0;
  CapPowerReporting = 1;
  PowerNotify = 0;
  PowerState = 2000;
  State = 2;
  ServiceObjectVersion = 1005103;
  CapBlink = 1;
  CapCharacterSet = 998;
  CapCursorType = 0;
  CapReadBack = 1;
  CapReverse = 1;
  DeviceRows = 2;
  DeviceColumns = 20;
  CharacterSet = 998;
  CurrentWindow = 0;
  CurrentRows = 2;
  CurrentColumns = 20;
  CurrentCursorRow = 0;
  CurrentCursorColumn = 0;
  CursorType = 0;
  MarqueeType = 0;
  MarqueeFormat = 0;
  MarqueeUnitWait = 0;
  InterCharacterWait = 0;
  BlinkRate = 5;
  WaitStartTick = 0;
  DeviceEnabled = 1;
  CapBlinkRate = 1;
  CapBrightness = 1;
  CapCustomGlyph = 1;
  CapDescriptors = 1;
  CapHMarquee = 0;
  CapICharWait = 1;
  CapVMarquee = 1;
  CursorUpdate = 1;

  WindowRecord& window0 = m.list[0];
  window0.WindowHeight = CurrentRows;
  window0.WindowWidth = CurrentColumns;
  window0.ViewportRow = 0;
  window0.ViewportColumn = 0;
  window0.CursorRow = CurrentCursorRow;
  window0.CursorColumn = CurrentCursorColumn;
  window0.CursorUpdate = CursorUpdate;
  window0.CursorType = 0;
  window0.MarqueeFormat = 0;
  window0.MarqueeType = 0;
  window0.MarqueeUnitWait = 0;
  window0.MarqueeRepeatWait = 0;
  window0.InterCharacterWait = 0;
  window0.DeviceRows = 2;
  window0.DeviceColumns = 20;

  for (uint8_t b : kInitialise) m.Port.SendByte(b);
  return OPOS_SUCCESS;
}

int32_t POSLDisplay::CloseService() {
  module_.trace.Record("\nCloseService:\n");
  // Workers that still send afterwards find the port closed and send nothing.
  module_.Port.Close();
  return OPOS_SUCCESS;
}

int32_t POSLDisplay::ClaimDevice(int32_t Timeout) {
  module_.trace.Record("\nClaimDevice:", "Timeout=%d", Timeout);
  if (module_.Port.Opened()) return OPOS_SUCCESS;
  if (module_.Port.Open(module_.PortNumber, module_.BaudRate)) {
    Claimed = 1;
    ResultCode = OPOS_SUCCESS;
  } else {
    ResultCode = OPOS_E_ILLEGAL;
    module_.platform.messageBox.Show(WithProblem("Open Port Error", module_.platform.serial),
                                     "ClaimDevice");
    Claimed = 0;
  }
  return OPOS_SUCCESS;
}

int32_t POSLDisplay::ReleaseDevice() {
  module_.trace.Record("\nReleaseDevice:\n");
  return OPOS_SUCCESS;
}

}  // namespace kirnow
