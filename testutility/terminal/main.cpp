// polecheck: the display's test dialog on a terminal, or a script of its actions.
//
//   polecheck [--vpd-snapshot FILE]   the dialog; FILE (or $KIRNOW_VPD_SNAPSHOT) is the virtual
//                                     pole display's snapshot, whose two lines are shown beside it
//   polecheck --script FILE           start-up, then one action per line (see script_runner.h);
//                                     message boxes are printed as "caption: text"
//
// When start-up fails and no device of the build's USB ids is plugged in, one more line on stderr
// says so, beside the system's own messages (which stay as they are).
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

#include "kirnow_config.h"
#include "platform/device/posix/usb_serial_scan.h"
#include "platform/device/usb_ids.h"
#include "platform/messagebox/message_box.h"
#include "testutility/core/linedisplay1.h"
#include "testutility/core/polecheck_dlg.h"
#include "testutility/core/script_runner.h"
#include "testutility/terminal/control_host.h"
#include "testutility/terminal/stderr_capture.h"
#include "testutility/terminal/terminal_dialog.h"

namespace {

using namespace polecheck;

TerminalDialog* g_dialog = nullptr;

void OnCloseSignal(int) {
  if (g_dialog != nullptr) g_dialog->RequestClose();
}

int Usage() {
  std::cerr << "usage: polecheck [--vpd-snapshot FILE]\n"
               "       polecheck --script FILE\n";
  return 2;
}

// Says why start-up found no display, when the reason is that none is plugged in.
void SayWhenNoDisplayIsPluggedIn() {
  namespace platform = kirnow::platform;
  for (const auto& d : platform::ScanUsbSerialDevices(platform::SysfsRoot(), platform::DevRoot())) {
    if (platform::UsbIds{KIRNOW_USB_VID, KIRNOW_USB_PID}.Names(d.vid, d.pid)) return;
  }
  std::cerr << "Polecheck: no display with USB id " << kirnow::text::LowerAscii(KIRNOW_USB_VID)
            << ":" << kirnow::text::LowerAscii(KIRNOW_USB_PID)
            << " is plugged in; `regstore usb` lists the serial devices\n";
}

int RunScriptMode(const std::string& path) {
  std::ifstream file(path);
  if (!file) {
    std::cerr << "Polecheck: cannot read " << path << "\n";
    return kScriptNotUnderstood;
  }
  std::stringstream in;
  in << file.rdbuf();
  if (!CheckScript(in.str(), std::cerr, "Polecheck")) return kScriptNotUnderstood;
  kirnow::platform::SetMessageBoxHook([](std::string_view text, std::string_view caption) {
    PrintMessageBox(std::cout, text, caption);
  });
  IDispatch* control = CreateLineDisplayControl();
  if (control == nullptr) {
    std::cerr << "Polecheck: the LineDisplay control object cannot be created\n";
    return kScriptStartupFailed;
  }
  // The service object's message boxes come as lines on stderr: print them in order with ours.
  StderrCapture capture;
  const auto print = [](std::string_view text, std::string_view caption) {
    PrintMessageBox(std::cout, text, caption);
  };
  capture.Start();
  std::ostringstream problems;
  int status = 0;
  {
    CLinedisplay1 display(control);
    control->Release();
    ScriptOptions options;
    options.pumpMessages = [&] { capture.Drain(print); };
    status = RunScript(in, display, std::cout, problems, options);
  }
  capture.Stop(print);
  kirnow::platform::SetMessageBoxHook(nullptr);
  std::cerr << problems.str();
  if (status == kScriptStartupFailed) SayWhenNoDisplayIsPluggedIn();
  return status;
}

int RunDialog(const std::string& snapshot) {
  // Without the control object the dialog cannot be built; the program ends without a word.
  IDispatch* control = CreateLineDisplayControl();
  if (control == nullptr) return 0;
  CLinedisplay1 display(control);
  control->Release();

  TerminalDialog view(snapshot);
  if (!view.Open()) {
    std::cerr << "Polecheck: needs a terminal\n";
    return 1;
  }
  g_dialog = &view;
  struct sigaction sa {};
  sa.sa_handler = OnCloseSignal;
  sigaction(SIGINT, &sa, nullptr);
  sigaction(SIGTERM, &sa, nullptr);
  sigaction(SIGHUP, &sa, nullptr);
  kirnow::platform::SetMessageBoxHook([&view](std::string_view text, std::string_view caption) {
    view.ShowMessage(text, caption);
  });
  // The service object's message boxes arrive on stderr; show them as popups instead of
  // letting them run over the screen.
  StderrCapture capture;
  if (capture.Start()) {
    view.SetMessagePump([&capture, &view] {
      capture.Drain(
          [&view](std::string_view text, std::string_view caption) { view.Popup(text, caption); });
    });
  }
  CPolecheckDlg dlg(view, display);
  view.Run(dlg);
  view.SetMessagePump(nullptr);
  capture.Stop();
  kirnow::platform::SetMessageBoxHook(nullptr);
  g_dialog = nullptr;
  // The dialog had the whole terminal; the line comes when it has gone.
  if (!dlg.StartupSucceeded()) SayWhenNoDisplayIsPluggedIn();
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::string script;
  std::string snapshot;
  if (const char* env = std::getenv("KIRNOW_VPD_SNAPSHOT")) snapshot = env;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if ((arg == "--script" || arg == "/script") && i + 1 < argc) {
      script = argv[++i];
    } else if (arg == "--vpd-snapshot" && i + 1 < argc) {
      snapshot = argv[++i];
    } else {
      return Usage();
    }
  }
  return script.empty() ? RunDialog(snapshot) : RunScriptMode(script);
}
