// The device session: OpenService finds the display among the USB instances the system
// records, identifies it, greets the user and sets every default; ClaimDevice opens the port
// when it is not open yet; ReleaseDevice only traces; CloseService closes the port.
#include <algorithm>
#include <array>
#include <optional>
#include <string>
#include <string_view>

#include "displaymodel/pole_commands.h"
#include "kirnow_config.h"
#include "kirnow_guids.h"
#include "platform/registry/com_names.h"
#include "platform/text/utf_convert.h"
#include "serviceobject/core/capabilities.h"
#include "serviceobject/core/posl_display.h"
#include "serviceobject/trace/trace_settings.h"
#include "serviceobject/trace/trace_text.h"

namespace kirnow {

namespace {

constexpr const char* kLineDisplayKey =
    "HKEY_LOCAL_MACHINE\\SOFTWARE\\OLEforRetail\\ServiceOPOS\\LineDisplay";
constexpr std::string_view kServiceProgId = KIRNOW_PROGID;
constexpr const char* kDefaultDeviceName = "JQ POS Pole Display";
constexpr int32_t kSessionBaudRate = 9600;
constexpr size_t kGreetingNameLimit = 27;  // characters of the device name shown in the greeting

constexpr std::string_view kGreetingTail = " Open Success";
// Version 1.5.103 in the OPOS encoding (major x 1000000 + minor x 1000 + build).
constexpr int32_t kServiceObjectVersion = 1005103;
constexpr int32_t kDefaultBlinkRate = 5;

// A failed open's message, with the device's words on why when the user can remedy it (a tty
// this user may not open names the device and the group that may).
std::string WithProblem(const std::string& text, const platform::SerialDevice& device) {
  const std::string problem = device.OpenProblem();
  return problem.empty() ? text : text + "\n\n" + problem;
}

// The logical device name under which this service object is registered: the last device
// entry, in enumeration order, with a value naming our ProgID; the default name when none does.
std::string FindDeviceName(platform::Registry& registry) {
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
  return foundName;
}

// The port number from the instance's "PortName" values (the name compared exactly; the last
// valid one wins); `current` when none is valid.
int32_t PortOfInstance(platform::Registry& registry, const std::string& params, int32_t current) {
  const std::optional<uint32_t> values = registry.ValueCount(params);
  if (!values) return current;
  for (uint32_t v = 0; v < *values; ++v) {
    const std::optional<platform::RegValue> value = registry.ValueAt(params, v);
    if (!value || value->name != platform::comnames::kPortName) continue;
    const std::optional<std::string> data = value->AsString();
    if (!data) continue;
    if (const std::optional<int32_t> n = platform::comnames::ParseComName(*data)) current = *n;
  }
  return current;
}

// The trace's account of the search: the ids' key and the instances under it, "none" when
// there are none ("Vid_2f1a&Pid_0d21=A1B2C3,1-2").
std::string InstancesSeen(platform::Registry& registry, const std::string& usbKey,
                          uint32_t instances) {
  std::string text = platform::comnames::UsbIdsKeyName(KIRNOW_USB_VID, KIRNOW_USB_PID) + "=";
  if (instances == 0) return text + "none";
  for (uint32_t k = 0; k < instances; ++k) {
    if (k != 0) text += ",";
    text += registry.SubkeyName(usbKey, k).value_or("?");
  }
  return text;
}

// The field trace's switch for this OpenService: under the entry of the device the caller
// opens, or where there is none, under the entry found for this service object.
void BeginFieldTrace(ModuleState& m, std::u16string_view deviceName, const std::string& found) {
  const std::string caller = platform::Utf16ToUtf8(deviceName);
  std::string entry = std::string(kLineDisplayKey) + "\\" + caller;
  if (caller.empty() || !m.platform.registry.KeyExists(entry)) {
    entry = std::string(kLineDisplayKey) + "\\" + found;
  }
  m.fieldTrace.Begin(trace::ReadSettings(m.platform.registry, entry), caller);
}

// Asks the display on the open port for its identity (the port's identity exchange, with its
// fixed waits); the replies and the last byte read stay in the module's fields.
bool Identify(ModuleState& m) {
  const port::IdentityReplies replies = m.Port.Identify(m.InByte);
  m.IdReply1 = replies.first;
  m.IdReply2 = replies.second;
  return replies.display;
}

// The greeting on an identified display: initialise, then the device name and " Open Success".
void Greet(ModuleState& m, std::string_view greetingName) {
  m.Port.SendData(pole::Initialize());
  for (char c : greetingName) m.Port.SendByte(static_cast<uint8_t>(c));
  for (char c : kGreetingTail) m.Port.SendByte(static_cast<uint8_t>(c));
}

// Finds the display among the USB instances the system records and identifies it: opens each
// instance's port in turn, greets the first display that answers with our product id and
// records its port under the device entry. A port that answers otherwise is closed again and
// the object reports OPOS_E_OFFLINE.
void FindAndIdentifyPort(POSLDisplay& so, const std::string& foundName) {
  ModuleState& m = so.module();
  platform::Registry& registry = m.platform.registry;
  platform::MessageBoxSink& box = m.platform.messageBox;
  const std::string greetingName =
      m.platform.ansi.ToAnsi(platform::Utf8ToUtf16(foundName, kGreetingNameLimit));
  const std::string usbKey = platform::comnames::UsbInstancesKey(KIRNOW_USB_VID, KIRNOW_USB_PID);
  // One view of the devices from the count to the last port's lookup: a device plugged in or
  // pulled out meanwhile is for the next OpenService, and no instance is skipped or tried twice.
  const platform::RegistryWalk walk(registry);
  const uint32_t instances = registry.SubkeyCount(usbKey).value_or(0);
  m.trace.Record("\nUSB instances:", [&] { return InstancesSeen(registry, usbKey, instances); });
  m.fieldTrace.Post(trace::kind::kUsb, [&] {
    return trace::UsbSearchText(InstancesSeen(registry, usbKey, instances));
  });
  for (uint32_t k = 0; k < instances; ++k) {
    const std::optional<std::string> instance = registry.SubkeyName(usbKey, k);
    if (!instance) {
      m.fieldTrace.Post(trace::kind::kUsb, [&] { return trace::UsbUnreadableText(k); });
      box.Show("USB Registry Enum Error", "OpenService");
      continue;
    }
    m.PortNumber = PortOfInstance(
        registry,
        usbKey + "\\" + *instance + "\\" + std::string(platform::comnames::kDeviceParameters),
        m.PortNumber);
    m.BaudRate = kSessionBaudRate;
    bool identified = false;
    const bool opened = m.Port.OpenToIdentify(m.PortNumber, m.BaudRate);
    if (!opened) {
      box.Show(WithProblem("Open port error", m.platform.serial), "OpenService");
    } else {
      identified = Identify(m);
    }
    m.fieldTrace.Post(trace::kind::kUsb, [&] {
      return trace::UsbStepText(*instance, m.PortNumber, opened, identified);
    });
    if (identified) {
      m.Port.Confirm();
      Greet(m, greetingName);
      so.ResultCode = OPOS_SUCCESS;
      // Recorded under the full name; an entry that doesn't exist is simply not written.
      registry.SetValue(
          std::string(kLineDisplayKey) + "\\" + foundName,
          platform::RegValue::FromString("Port", platform::comnames::ComName(m.PortNumber)));
      return;
    }
    m.Port.Close();
    m.PortNumber = 0;
    so.ResultCode = OPOS_E_OFFLINE;
    box.Show("OPOS_E_OFFLINE", "OpenService");
  }
}

// The object's values for a new session, found display or not, and window 0 as the whole
// display.
void ResetDefaults(POSLDisplay& so) {
  so.BinaryConversion = 0;
  so.CapPowerReporting = kCapabilities.CapPowerReporting;
  so.PowerNotify = 0;
  so.PowerState = OPOS_PS_UNKNOWN;
  so.State = OPOS_S_IDLE;
  so.ServiceObjectVersion = kServiceObjectVersion;
  so.DeviceRows = pole::kRows;
  so.DeviceColumns = pole::kColumns;
  so.CharacterSet = DISP_CS_ASCII;
  so.CurrentWindow = 0;
  so.CurrentRows = pole::kRows;
  so.CurrentColumns = pole::kColumns;
  so.CurrentCursorRow = 0;
  so.CurrentCursorColumn = 0;
  so.CursorType = DISP_CT_NONE;
  so.MarqueeType = DISP_MT_NONE;
  so.MarqueeFormat = DISP_MF_WALK;
  so.MarqueeUnitWait = 0;
  so.InterCharacterWait = 0;
  so.BlinkRate = kDefaultBlinkRate;
  so.WaitStartTick = 0;
  so.DeviceEnabled = 1;
  so.CursorUpdate = 1;

  WindowRecord& window0 = so.module().list[0];
  window0.WindowHeight = so.CurrentRows;
  window0.WindowWidth = so.CurrentColumns;
  window0.ViewportRow = 0;
  window0.ViewportColumn = 0;
  window0.CursorRow = so.CurrentCursorRow;
  window0.CursorColumn = so.CurrentCursorColumn;
  window0.CursorUpdate = so.CursorUpdate;
  window0.CursorType = DISP_CT_NONE;
  window0.MarqueeFormat = DISP_MF_WALK;
  window0.MarqueeType = DISP_MT_NONE;
  window0.MarqueeUnitWait = 0;
  window0.MarqueeRepeatWait = 0;
  window0.InterCharacterWait = 0;
  window0.DeviceRows = pole::kRows;
  window0.DeviceColumns = pole::kColumns;
}

}  // namespace

int32_t POSLDisplay::OpenService(std::u16string_view /*DeviceClass*/,
                                 std::u16string_view DeviceName, void* pDispatch) {
  ModuleState& m = module_;
  m.trace.BeginOpenService([&] { return m.platform.ansi.ToAnsi(DeviceName); });
  ControlObject = pDispatch;
  const std::string foundName = FindDeviceName(m.platform.registry);
  BeginFieldTrace(m, DeviceName, foundName);
  FindAndIdentifyPort(*this, foundName);
  ResetDefaults(*this);
  m.Port.SendData(pole::Initialize());
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
  // The port confirms what it opens as the display (by the USB record, else by asking it); a
  // device that is not gets nothing but the identity query, and the claim fails.
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
