// The registrar over an in-memory registry: the server's own script in both modes, and the
// script language's quoting, replacements, value types and errors.
#include "serviceobject/com/registrar.h"

#include <gtest/gtest.h>

#include "kirnow_rgs.h"
#include "serviceobject/com/guids.h"
#include "tests/fakes/memory_registry.h"

namespace {

using kirnow::fakes::MemoryRegistry;
using kirnow::registrar::Mode;
using kirnow::registrar::RunScript;

const std::string kClassKey = "HKEY_CLASSES_ROOT\\CLSID\\" KIRNOW_CLSID_POSLDISPLAY_STR;
const std::string kOtherClass = "HKEY_CLASSES_ROOT\\CLSID\\{00000000-1111-2222-3333-444444444444}";

std::optional<std::string> Str(MemoryRegistry& reg, const std::string& path,
                               const std::string& name = "") {
  auto v = reg.GetValue(path, name);
  if (!v) return std::nullopt;
  return v->AsString();
}

HRESULT ApplyServerScript(MemoryRegistry& reg, Mode mode,
                          const std::string& module = "/opt/pos/Kirnow.so") {
  std::string error;
  const HRESULT hr = RunScript(reg, kirnow::kRegistrarScript, mode,
                               kirnow::registrar::ServerReplacements(module), &error);
  EXPECT_EQ(error, "");
  return hr;
}

TEST(ServerScript, RegisterWritesEveryKeyOfTheClass) {
  MemoryRegistry reg;
  ASSERT_EQ(ApplyServerScript(reg, Mode::Register, "/opt/pos lib/it's/Kirnow.so"), S_OK);
  EXPECT_EQ(Str(reg, "HKCR\\JQ.POSLDisplay.1"), "POSLDisplay Class");
  EXPECT_EQ(Str(reg, "HKCR\\JQ.POSLDisplay.1\\CLSID"), KIRNOW_CLSID_POSLDISPLAY_STR);
  EXPECT_EQ(Str(reg, "HKCR\\JQ.POSLDisplay"), "POSLDisplay Class");
  EXPECT_EQ(Str(reg, "HKCR\\JQ.POSLDisplay\\CLSID"), KIRNOW_CLSID_POSLDISPLAY_STR);
  EXPECT_EQ(Str(reg, "HKCR\\JQ.POSLDisplay\\CurVer"), "JQ.POSLDisplay.1");
  EXPECT_EQ(Str(reg, kClassKey), "POSLDisplay Class");
  EXPECT_EQ(Str(reg, kClassKey + "\\ProgID"), "JQ.POSLDisplay.1");
  EXPECT_EQ(Str(reg, kClassKey + "\\VersionIndependentProgID"), "JQ.POSLDisplay");
  EXPECT_TRUE(reg.KeyExists(kClassKey + "\\Programmable"));
  EXPECT_EQ(reg.ValueCount(kClassKey + "\\Programmable"), 0u);
  // The module path goes in whole, blanks and quote included.
  EXPECT_EQ(Str(reg, kClassKey + "\\InprocServer32"), "/opt/pos lib/it's/Kirnow.so");
  EXPECT_EQ(Str(reg, kClassKey + "\\InprocServer32", "ThreadingModel"), "Apartment");
  EXPECT_EQ(Str(reg, kClassKey + "\\TypeLib"), KIRNOW_LIBID_KIRNOWLIB_STR);
  EXPECT_EQ(reg.SubkeyCount(kClassKey), 5u);
}

TEST(ServerScript, RegisteringAgainRebuildsTheClassKeyAndUnregisterLeavesClsid) {
  MemoryRegistry reg;
  reg.SetString(kOtherClass, "", "Another Class");
  ASSERT_EQ(ApplyServerScript(reg, Mode::Register, "/old/Kirnow.so"), S_OK);
  // Leftovers of an older installation inside the class key.
  reg.SetString(kClassKey + "\\LocalServer32", "", "/old/server");
  reg.SetString(kClassKey + "\\InprocServer32", "Stale", "x");
  ASSERT_EQ(ApplyServerScript(reg, Mode::Register, "/new/Kirnow.so"), S_OK);

  EXPECT_EQ(reg.SubkeyCount("HKCR\\CLSID"), 2u);  // ours and the other class, once each
  EXPECT_FALSE(reg.KeyExists(kClassKey + "\\LocalServer32"));
  EXPECT_FALSE(reg.GetValue(kClassKey + "\\InprocServer32", "Stale"));
  EXPECT_EQ(Str(reg, kClassKey + "\\InprocServer32"), "/new/Kirnow.so");

  ASSERT_EQ(ApplyServerScript(reg, Mode::Unregister), S_OK);
  EXPECT_FALSE(reg.KeyExists("HKCR\\JQ.POSLDisplay.1"));
  EXPECT_FALSE(reg.KeyExists("HKCR\\JQ.POSLDisplay"));
  EXPECT_FALSE(reg.KeyExists(kClassKey));
  EXPECT_TRUE(reg.KeyExists("HKCR\\CLSID"));
  EXPECT_EQ(Str(reg, kOtherClass), "Another Class");

  // Unregistering what is not there is not a failure.
  EXPECT_EQ(ApplyServerScript(reg, Mode::Unregister), S_OK);
}

TEST(RegistrarScript, ValuesFlagsAndQuoting) {
  MemoryRegistry reg;
  reg.SetString("HKLM\\SOFTWARE\\Keep", "Other", "stays");
  const char* script =
      "HKLM { NoRemove SOFTWARE { NoRemove Keep {\n"
      "  val Count = d '0x10'\n"
      "  val Plain = d 42\n"
      "  val Blob = b 'DEADbeef'\n"
      "  val 'With Blank' = s 'it''s %%100 %WHO%'\n"
      "  Delete Gone\n"
      "  'Sub Key' = s ''\n"
      "} } }";
  reg.SetString("HKLM\\SOFTWARE\\Keep\\Gone\\Deep", "", "x");
  std::string error;
  ASSERT_EQ(RunScript(reg, script, Mode::Register, {{"WHO", "me"}}, &error), S_OK) << error;
  EXPECT_EQ(reg.GetValue("HKLM\\SOFTWARE\\Keep", "count")->AsDword(), 16u);
  EXPECT_EQ(reg.GetValue("HKLM\\SOFTWARE\\Keep", "Plain")->AsDword(), 42u);
  const auto blob = reg.GetValue("HKLM\\SOFTWARE\\Keep", "Blob");
  ASSERT_TRUE(blob);
  EXPECT_EQ(blob->data, (std::vector<uint8_t>{0xDE, 0xAD, 0xBE, 0xEF}));
  EXPECT_EQ(Str(reg, "HKLM\\SOFTWARE\\Keep", "With Blank"), "it's %100 me");
  EXPECT_FALSE(reg.KeyExists("HKLM\\SOFTWARE\\Keep\\Gone"));
  EXPECT_EQ(Str(reg, "HKLM\\SOFTWARE\\Keep\\Sub Key"), "");

  // Unregistering a NoRemove key removes only its listed values and keys.
  ASSERT_EQ(RunScript(reg, script, Mode::Unregister, {{"WHO", "me"}}, &error), S_OK) << error;
  EXPECT_TRUE(reg.KeyExists("HKLM\\SOFTWARE\\Keep"));
  EXPECT_FALSE(reg.GetValue("HKLM\\SOFTWARE\\Keep", "Count"));
  EXPECT_FALSE(reg.GetValue("HKLM\\SOFTWARE\\Keep", "With Blank"));
  EXPECT_FALSE(reg.KeyExists("HKLM\\SOFTWARE\\Keep\\Sub Key"));
  EXPECT_EQ(Str(reg, "HKLM\\SOFTWARE\\Keep", "Other"), "stays");
}

TEST(RegistrarScript, MalformedScriptsFailWithTheirLineAndChangeNothing) {
  struct Case {
    const char* script;
    const char* message;
  };
  const Case cases[] = {
      {"HKCR {\n A = s 'x'\n", "line 3: '}' was expected"},
      {"HKXX { }", "line 1: unknown root key 'HKXX'"},
      {"HKCR {\n A = q 'x' }", "line 2: unknown value type 'q'"},
      {"HKCR { A = d '12z' }", "bad DWORD"},
      {"HKCR { A = d '4294967296' }", "bad DWORD"},
      {"HKCR { A = s '%NOPE%' }", "no replacement for %NOPE%"},
      {"HKCR { A = s 'open }", "unterminated quoted string"},
      {"HKCR { 'A\\B' }", "backslash"},
  };
  for (const Case& c : cases) {
    MemoryRegistry reg;
    std::string error;
    EXPECT_EQ(RunScript(reg, c.script, Mode::Register, {}, &error), DISP_E_EXCEPTION) << c.script;
    EXPECT_NE(error.find(c.message), std::string::npos) << c.script << " -> " << error;
    EXPECT_FALSE(reg.KeyExists("HKCR\\A"));
  }
}

// A registry that refuses to create one key.
class RefusingRegistry : public MemoryRegistry {
 public:
  bool CreateKey(const std::string& path) override {
    if (path.find("InprocServer32") != std::string::npos) return false;
    return MemoryRegistry::CreateKey(path);
  }
};

TEST(RegistrarScript, RefusedWriteStopsWithAccessDenied) {
  RefusingRegistry reg;
  std::string error;
  EXPECT_EQ(RunScript(reg, kirnow::kRegistrarScript, Mode::Register,
                      kirnow::registrar::ServerReplacements("/m.so"), &error),
            E_ACCESSDENIED);
  EXPECT_NE(error.find("InprocServer32"), std::string::npos);
  EXPECT_FALSE(reg.KeyExists(kClassKey + "\\TypeLib"));  // the first failure stops the walk
}

}  // namespace
