// How long one enumeration of the live view of the USB serial devices takes with 50 USB serial
// devices in a fake sysfs (and a few devices without a tty beside them), against the target of
// 5 ms: OpenService enumerates for every instance it tries. Also the whole walk OpenService makes
// over the display's instances, with the COM port lookup of each open; and the same store grown
// to 2 MB (a key of 40,000 values and 22,000 keys of one value each): reading it afresh, one
// enumeration and one change saved, which a session's keeper makes when it records a sighting.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "kirnow_config.h"
#include "platform/registry/posix/live_usb_registry.h"
#include "tests/support/fake_usb_tree.h"

namespace {

using kirnow::platform::LiveUsbRegistry;
using kirnow::platform::RegistryStore;
using kirnow::platform::RegValue;
using kirnow::testsupport::FakeUsbTree;
using Clock = std::chrono::steady_clock;

constexpr int kDevices = 50;
constexpr int kRounds = 200;
constexpr int kBigStoreRounds = 20;  // each of them reads or writes 2 MB
constexpr double kTargetMs = 5.0;

struct Figures {
  double meanMs = 0, medianMs = 0, maxMs = 0;
};

template <typename F>
Figures Measure(F&& once, int rounds = kRounds) {
  std::vector<double> ms;
  for (int i = 0; i < rounds; ++i) {
    const auto start = Clock::now();
    once();
    ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
  }
  std::sort(ms.begin(), ms.end());
  Figures f;
  for (double m : ms) f.meanMs += m / ms.size();
  f.medianMs = ms[ms.size() / 2];
  f.maxMs = ms.back();
  return f;
}

void Print(const char* what, const Figures& f, bool target) {
  std::printf(
      "%-52s mean %6.3f ms  median %6.3f ms  max %6.3f ms%s\n", what, f.meanMs, f.medianMs, f.maxMs,
      target ? (f.medianMs < kTargetMs ? "  (target < 5 ms: met)" : "  (target < 5 ms: MISSED)")
             : "");
}

}  // namespace

int main() {
  FakeUsbTree tree;
  const std::string vid = FakeUsbTree::Lower(KIRNOW_USB_VID);
  const std::string pid = FakeUsbTree::Lower(KIRNOW_USB_PID);
  for (int i = 0; i < kDevices; ++i) {
    FakeUsbTree::Device d;
    d.bus = "1-" + std::to_string(i + 1);
    const bool ours = i % 5 == 0;  // ten displays among forty other adapters
    d.vid = ours ? vid : "0403";
    d.pid = ours ? pid : "6001";
    if (i % 3 != 0) d.serial = "SN" + std::to_string(1000 + i);
    d.usbSerialLayout = !ours;
    d.tty = (ours ? "ttyACM" : "ttyUSB") + std::to_string(i);
    if (i % 2 == 0) d.byId = "usb-Maker_Device_" + std::to_string(i) + "-if00";
    tree.Plug(d);
  }
  for (int i = 0; i < 10; ++i) {  // keyboards, hubs and the like: no tty
    FakeUsbTree::Device d;
    d.bus = "2-" + std::to_string(i + 1);
    d.vid = "046d";
    d.pid = "c31c";
    tree.Plug(d);
  }
  kirnow::testsupport::ScratchDir dir("kirnow-usb-bench");
  LiveUsbRegistry view(std::make_unique<RegistryStore>(dir.path() + "/registry.reg"), tree.Sys(),
                       tree.Dev(), kirnow::platform::UsbIds{KIRNOW_USB_VID, KIRNOW_USB_PID});
  const std::string key =
      "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Enum\\USB\\Vid_" + vid + "&Pid_" + pid;
  const std::string serialComm = "HKEY_LOCAL_MACHINE\\HARDWARE\\DEVICEMAP\\SERIALCOMM";

  // The first enumeration gives every device its number and saves them.
  auto start = Clock::now();
  const uint32_t instances = view.SubkeyCount(key).value_or(0);
  const double firstMs = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
  std::printf("USB serial devices in the fake sysfs: %d (%u of the display's ids), %zu numbered\n",
              kDevices, instances, view.Ports().size());
  std::printf("%-52s %6.3f ms\n", "first enumeration (numbers chosen and saved)", firstMs);

  Print("one enumeration (SubkeyCount of the display's key)",
        Measure([&] { view.SubkeyCount(key); }), true);
  Print("OpenService's walk: every instance and its port", Measure([&] {
          const uint32_t n = view.SubkeyCount(key).value_or(0);
          for (uint32_t k = 0; k < n; ++k) {
            const auto name = view.SubkeyName(key, k);
            const std::string params = key + "\\" + name.value_or("") + "\\Device Parameters";
            const uint32_t values = view.ValueCount(params).value_or(0);
            for (uint32_t v = 0; v < values; ++v) view.ValueAt(params, v);
            const uint32_t ports = view.ValueCount(serialComm).value_or(0);
            for (uint32_t p = 0; p < ports; ++p) view.ValueAt(serialComm, p);
          }
        }),
        false);

  // The store grown to 2 MB around what the devices' first enumeration saved in it.
  const std::string path = dir.path() + "/registry.reg", many = "HKEY_CURRENT_USER\\Many Values";
  std::ofstream grown(path, std::ios::app);
  grown << "\n[" << many << "]\n";
  for (int i = 0; i < 40000; ++i) grown << "\"value " << i << "\"=\"some data\"\n";
  for (int i = 0; i < 22000; ++i)
    grown << "\n[HKEY_CLASSES_ROOT\\Key " << i << "]\n@=\"a class\"\n";
  grown.close();
  std::printf("a store of %.1f MB:\n", static_cast<double>(std::filesystem::file_size(path)) / 1e6);
  Print("  read afresh (a new reader, one lookup)",
        Measure([&] { RegistryStore(path).KeyExists(key); }, kBigStoreRounds), false);
  Print("  one enumeration", Measure([&] { view.SubkeyCount(key); }, kBigStoreRounds), true);
  uint32_t n = 0;
  Print("  one value changed and saved",
        Measure([&] { view.SetValue(many, RegValue::FromDword("n", ++n)); }, kBigStoreRounds),
        false);
  return 0;
}
