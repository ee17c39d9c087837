// Polecheck.exe: the display's test dialog.
//   Polecheck.exe               the dialog
//   Polecheck.exe /script FILE  start-up, then one action per line without showing the dialog;
//                               message boxes are printed to stdout as "caption: text"
#include "platform/win32/windows_headers.h"
// after windows.h, which they need
#include <commctrl.h>
#include <shellapi.h>

#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>

#include "testutility/core/script_runner.h"
#include "testutility/win32/framework.h"
#include "testutility/win32/polecheck_window.h"

namespace polecheck::win32 {

class CPolecheckApp {
 public:
  // Runs the program; the result is the process exit code.
  int Run();

 private:
  bool InitInstance();
  int RunScript(const std::wstring& path);
};

namespace {

// A program without a console prints to the handles it was given, or to its parent's console.
void AttachStandardOutput() {
  HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
  if (out != nullptr && out != INVALID_HANDLE_VALUE) return;
  if (AttachConsole(ATTACH_PARENT_PROCESS)) {
    FILE* f = nullptr;
    freopen_s(&f, "CONOUT$", "w", stdout);
    freopen_s(&f, "CONOUT$", "w", stderr);
  }
}

}  // namespace

int CPolecheckApp::RunScript(const std::wstring& path) {
  AttachStandardOutput();
  std::ifstream file(path.c_str());
  if (!file) {
    std::cerr << ApplicationName() << ": cannot read " << Narrow(path) << "\n";
    return kScriptNotUnderstood;
  }
  std::stringstream in;
  in << file.rdbuf();
  if (!CheckScript(in.str(), std::cerr, ApplicationName())) return kScriptNotUnderstood;
  if (FAILED(OleInitialize(nullptr))) return kScriptStartupFailed;
  int status = kScriptStartupFailed;
  if (IDispatch* control = CreateLineDisplayControl()) {
    CLinedisplay1 display(control);
    control->Release();
    ScriptOptions options;
    options.appName = ApplicationName();
    status = polecheck::RunScript(in, display, std::cout, std::cerr, options);
  } else {
    std::cerr << ApplicationName() << ": the LineDisplay control object cannot be created\n";
  }
  OleUninitialize();
  std::cout.flush();
  return status;
}

bool CPolecheckApp::InitInstance() {
  INITCOMMONCONTROLSEX icc{};
  icc.dwSize = 8;
  icc.dwICC = 0xFF;
  InitCommonControlsEx(&icc);
  // Control containment needs OLE on this thread.
  if (FAILED(OleInitialize(nullptr))) return false;
  {
    PolecheckWindow dlg;
    dlg.DoModal();  // -1 when the control object cannot be created (the dialog has said so)
  }
  OleUninitialize();
  return false;
}

int CPolecheckApp::Run() {
  int argc = 0;
  LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  std::wstring script;
  for (int i = 1; argv != nullptr && i + 1 < argc; ++i) {
    const std::wstring arg = argv[i];
    if (arg == L"/script" || arg == L"-script" || arg == L"--script") script = argv[i + 1];
  }
  if (argv != nullptr) LocalFree(argv);
  if (!script.empty()) return RunScript(script);
  InitInstance();
  return 0;
}

}  // namespace polecheck::win32

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  polecheck::win32::CPolecheckApp app;
  return app.Run();
}
