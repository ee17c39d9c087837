// The in-memory registry follows the same name rules as the real registry, so the session and
// registration logic tested against it behaves the same on the real thing.
#include "tests/fakes/memory_registry.h"

#include <gtest/gtest.h>

namespace kirnow::fakes {
namespace {

using platform::RegType;
using platform::RegValue;

TEST(MemoryRegistry, NamesCompareWithoutCaseAndKeepTheirCase) {
  MemoryRegistry reg;
  ASSERT_TRUE(reg.CreateKey("HKLM\\SOFTWARE\\OLEforRetail\\ServiceOPOS\\LineDisplay\\JQ POS"));
  EXPECT_TRUE(reg.KeyExists("HKEY_LOCAL_MACHINE\\software\\oleforretail\\serviceopos"));
  EXPECT_EQ(reg.SubkeyName("hklm\\SOFTWARE\\OLEFORRETAIL", 0), "ServiceOPOS");

  const std::string key = "HKLM\\SOFTWARE\\OLEforRetail\\ServiceOPOS\\LineDisplay\\JQ POS";
  ASSERT_TRUE(reg.SetValue(key, RegValue::FromString("Port", "COM3")));
  ASSERT_TRUE(reg.SetValue(key, RegValue::FromString("PORT", "COM4")));  // the same value
  EXPECT_EQ(reg.ValueCount(key), 1u);
  auto v = reg.GetValue(key, "port");
  ASSERT_TRUE(v);
  EXPECT_EQ(v->name, "Port");
  EXPECT_EQ(v->AsString(), "COM4");

  // A value cannot be written into a key that does not exist.
  EXPECT_FALSE(reg.SetValue(key + "\\Missing", RegValue::FromDword("x", 1)));
  EXPECT_FALSE(reg.KeyExists("HKEY_NOWHERE\\SOFTWARE"));
}

TEST(MemoryRegistry, SubkeysEnumerateInNameOrderValuesInCreationOrder) {
  MemoryRegistry reg;
  for (const char* name : {"b", "C", "A"}) reg.CreateKey(std::string("HKLM\\K\\") + name);
  EXPECT_EQ(reg.SubkeyCount("HKLM\\K"), 3u);
  EXPECT_EQ(reg.SubkeyName("HKLM\\K", 0), "A");
  EXPECT_EQ(reg.SubkeyName("HKLM\\K", 1), "b");
  EXPECT_EQ(reg.SubkeyName("HKLM\\K", 2), "C");
  EXPECT_FALSE(reg.SubkeyName("HKLM\\K", 3));

  reg.SetString("HKLM\\K\\b", "zeta", "1");
  reg.SetString("HKLM\\K\\b", "alpha", "2");
  EXPECT_EQ(reg.ValueAt("HKLM\\K\\b", 0)->name, "zeta");
  EXPECT_EQ(reg.ValueAt("HKLM\\K\\b", 1)->name, "alpha");
  EXPECT_FALSE(reg.ValueAt("HKLM\\K\\b", 2));

  reg.FailSubkeyName("hklm\\k", 1);
  EXPECT_FALSE(reg.SubkeyName("HKLM\\K", 1));
  EXPECT_EQ(reg.SubkeyName("HKLM\\K", 2), "C");

  // Removed and made again, a value goes last and a key to its place by name, in the order of
  // the names' upper case ('_' after the letters).
  reg.DeleteValue("HKLM\\K\\b", "ZETA");
  reg.SetString("HKLM\\K\\b", "Zeta", "3");
  for (const char* name : {"b", "a_b", "A", "AB"}) reg.CreateKey(std::string("HKLM\\L\\") + name);
  reg.DeleteTree("HKLM\\L\\a");
  reg.CreateKey("HKLM\\L\\a");
  EXPECT_EQ(reg.Dump().substr(reg.Dump().find("[HKEY_LOCAL_MACHINE\\K\\b]")),
            "[HKEY_LOCAL_MACHINE\\K\\b]\nalpha=sz:2\nZeta=sz:3\n[HKEY_LOCAL_MACHINE\\K\\C]\n"
            "[HKEY_LOCAL_MACHINE\\L]\n[HKEY_LOCAL_MACHINE\\L\\a]\n[HKEY_LOCAL_MACHINE\\L\\AB]\n"
            "[HKEY_LOCAL_MACHINE\\L\\a_b]\n[HKEY_LOCAL_MACHINE\\L\\b]\n");
}

TEST(MemoryRegistry, DeleteTreeRemovesTheWholeSubtreeButNeverARoot) {
  MemoryRegistry reg;
  reg.SetString("HKCR\\CLSID\\{1}\\InprocServer32", "", "kirnow.dll");
  reg.SetString("HKCR\\CLSID\\{2}", "", "other");
  EXPECT_TRUE(reg.DeleteTree("HKEY_CLASSES_ROOT\\clsid\\{1}"));
  EXPECT_FALSE(reg.KeyExists("HKCR\\CLSID\\{1}\\InprocServer32"));
  EXPECT_TRUE(reg.KeyExists("HKCR\\CLSID\\{2}"));
  EXPECT_TRUE(reg.DeleteTree("HKCR\\CLSID\\{1}"));  // already gone
  EXPECT_FALSE(reg.DeleteTree("HKCR"));
  EXPECT_TRUE(reg.DeleteValue("HKCR\\CLSID\\{2}", ""));
  EXPECT_FALSE(reg.DeleteValue("HKCR\\CLSID\\{2}", ""));
  EXPECT_EQ(reg.Dump(),
            "[HKEY_CLASSES_ROOT]\n[HKEY_CLASSES_ROOT\\CLSID]\n"
            "[HKEY_CLASSES_ROOT\\CLSID\\{2}]\n");
}

TEST(RegValue, StringsAreStoredAsTerminatedUtf16) {
  const RegValue v = RegValue::FromString("Sign",
                                          "\xE2\x82\xAC"
                                          "1");  // euro sign, '1'
  EXPECT_EQ(v.data, (std::vector<uint8_t>{0xAC, 0x20, '1', 0, 0, 0}));
  EXPECT_EQ(v.AsString(),
            "\xE2\x82\xAC"
            "1");
  EXPECT_FALSE(v.AsDword());

  const RegValue d = RegValue::FromDword("n", 0x0A0B0C0D);
  EXPECT_EQ(d.data, (std::vector<uint8_t>{0x0D, 0x0C, 0x0B, 0x0A}));
  EXPECT_EQ(d.AsDword(), 0x0A0B0C0Du);
  EXPECT_FALSE(d.AsString());

  RegValue shortDword = d;
  shortDword.data.resize(2);
  EXPECT_FALSE(shortDword.AsDword());
}

}  // namespace
}  // namespace kirnow::fakes
