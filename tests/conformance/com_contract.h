// The COM contract of the service object's library as one table of cases, written once and run
// against both builds: the Linux library through dlopen (integration suite) and the Windows DLLs
// under Wine (com_contract.exe, 32-bit and 64-bit). A runner supplies the library's two entry
// points and a display to open; each case reports its checks through `Report`.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "platform/com/com_types.h"

namespace kirnow::contract {

class Server {
 public:
  virtual ~Server() = default;
  virtual HRESULT CanUnloadNow() = 0;
  virtual HRESULT GetClassObject(REFCLSID clsid, REFIID riid, void** ppv) = 0;
  // The logical device name of a display that answers on its port.
  virtual std::string DeviceName() = 0;
};

class Report {
 public:
  virtual ~Report() = default;
  virtual void Check(bool ok, const std::string& what) = 0;
  void CheckHr(HRESULT got, HRESULT want, const std::string& what);
};

struct Case {
  const char* name;
  void (*run)(Server& server, Report& report);
};

const std::vector<Case>& Cases();

// For test frameworks that print a case: its name.
inline std::ostream& operator<<(std::ostream& out, const Case& c) { return out << c.name; }

// How this build serves IDispatch: the registered type library on Windows (one type info), the
// method table on Linux (none). The one difference of the contract between the platforms.
#ifdef _WIN32
inline constexpr UINT kTypeInfoCount = 1;
#else
inline constexpr UINT kTypeInfoCount = 0;
#endif

}  // namespace kirnow::contract
