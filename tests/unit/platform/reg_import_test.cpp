// Saving the registry store keeps what a change did not touch, and importing a .reg file
// changes only the keys and values it names: a user's own entries, comments and spacing survive
// the programs (and scripts) that write their entries into the same store.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/registry/posix/reg_store.h"
#include "tests/support/file_text.h"

namespace kirnow::platform {
namespace {

using testsupport::ReadFile;
using testsupport::WriteFile;

class RegImportTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(scratch_.path().empty());
    dir_ = scratch_.path();
    path_ = dir_ + "/registry.reg";
  }

  testsupport::ScratchDir scratch_{"kirnow-regimport"};
  std::string dir_;
  std::string path_;
};

// A store as a user keeps it: comments, odd spacing, CRLF in one place, an entry of their own.
const std::string kUserStore =
    "Windows Registry Editor Version 5.00\n"
    "\n"
    "; my till's second display -- keep!\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\OLEforRetail\\ServiceOPOS\\LineDisplay\\Back Office]\n"
    "@=\"JQ.POSLDisplay.1\"\n"
    "\"Port\" = \"COM7\"\r\n"
    "\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\OLEforRetail\\ServiceOPOS\\LineDisplay\\JQ POS POLE DISPLAY]\n"
    "@=\"Old.ProgID\"\n"
    "\"Port\"=\"COM3\"\n"
    "\n"
    "[HKLM\\HARDWARE\\DEVICEMAP\\SERIALCOMM]\n"
    "\"/dev/ttyUSB1\"=\"COM7\"\n"
    "\n"
    ";; end\n";

// What the run script owns: the device entry's class, the virtual display's USB record and its
// COM port mapping.
const std::string kOwned =
    "Windows Registry Editor Version 5.00\n"
    "\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\OLEforRetail\\ServiceOPOS\\LineDisplay\\JQ POS POLE DISPLAY]\n"
    "@=\"JQ.POSLDisplay.1\"\n"
    "\n"
    "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Enum\\USB\\Vid_2f1a&Pid_0d21\\6&1\\Device "
    "Parameters]\n"
    "\"PortName\"=\"COM5\"\n"
    "\n"
    "[HKEY_LOCAL_MACHINE\\HARDWARE\\DEVICEMAP\\SERIALCOMM]\n"
    "\"/root/.kirnow/pole-display\"=\"COM5\"\n";

TEST_F(RegImportTest, ImportChangesOnlyWhatItNamesAndASecondImportNothing) {
  WriteFile(path_, kUserStore);
  RegistryStore store(path_);
  ASSERT_TRUE(store.Import(kOwned, "owned.reg")) << store.LastError();
  const std::string once = ReadFile(path_);

  // The user's section, its comment and its CRLF line come through untouched, and so does the
  // trailing comment; the device entry keeps its "Port" and gets the class.
  const std::string userPart = kUserStore.substr(0, kUserStore.find("\n[HKEY_LOCAL_MACHINE"
                                                                    "\\SOFTWARE\\OLEforRetail"
                                                                    "\\ServiceOPOS\\LineDisplay"
                                                                    "\\JQ"));
  EXPECT_EQ(once.substr(0, userPart.size()), userPart);
  EXPECT_NE(once.find("@=\"JQ.POSLDisplay.1\"\n\"Port\"=\"COM3\"\n"), std::string::npos) << once;
  EXPECT_NE(once.find("\"/dev/ttyUSB1\"=\"COM7\"\n\"/root/.kirnow/pole-display\"=\"COM5\"\n"),
            std::string::npos)
      << once;
  EXPECT_NE(once.find("\\6&1\\Device Parameters]\n\"PortName\"=\"COM5\"\n"), std::string::npos);
  EXPECT_EQ(once.substr(once.size() - 7), ";; end\n") << once;
  EXPECT_EQ(
      store.GetValue("HKLM\\SOFTWARE\\OLEforRetail\\ServiceOPOS\\LineDisplay\\Back Office", "Port")
          ->AsString(),
      "COM7");

  // Run again (as on every start of the run script): the file stays byte for byte.
  const auto before = std::filesystem::last_write_time(path_);
  ASSERT_TRUE(store.Import(kOwned, "owned.reg"));
  EXPECT_EQ(ReadFile(path_), once);
  EXPECT_EQ(std::filesystem::last_write_time(path_), before);
  RegistryStore fresh(path_);
  ASSERT_TRUE(fresh.Import(kOwned, "owned.reg"));
  EXPECT_EQ(ReadFile(path_), once);
}

TEST_F(RegImportTest, SavesKeepUntouchedSectionsAndDropDeletedOnes) {
  WriteFile(path_, kUserStore);
  RegistryStore store(path_);
  // A value written by the service object ("Port") rewrites only its own section.
  ASSERT_TRUE(
      store.SetValue("HKLM\\SOFTWARE\\OLEforRetail\\ServiceOPOS\\LineDisplay\\JQ POS POLE DISPLAY",
                     RegValue::FromString("Port", "COM5")));
  std::string expected = kUserStore;
  expected.replace(expected.find("\"Port\"=\"COM3\""), 13, "\"Port\"=\"COM5\"");
  EXPECT_EQ(ReadFile(path_), expected);

  // A deleted key takes its section with it; everything else stays.
  ASSERT_TRUE(store.DeleteTree("HKLM\\HARDWARE\\DEVICEMAP\\SERIALCOMM"));
  // DEVICEMAP had no section of its own: now empty, it gets one so that it still exists.
  const std::string without = expected.substr(0, expected.find("\n[HKLM\\HARDWARE")) +
                              "\n[HKEY_LOCAL_MACHINE\\HARDWARE\\DEVICEMAP]\n\n;; end\n";
  EXPECT_EQ(ReadFile(path_), without);
  RegistryStore other(path_);
  EXPECT_FALSE(other.KeyExists("HKLM\\HARDWARE\\DEVICEMAP\\SERIALCOMM"));
  EXPECT_TRUE(other.KeyExists("HKLM\\HARDWARE\\DEVICEMAP"));
}

TEST_F(RegImportTest, DeletionsInTheImportAreApplied) {
  WriteFile(path_, kUserStore);
  RegistryStore store(path_);
  ASSERT_TRUE(
      store.Import("Windows Registry Editor Version 5.00\n\n"
                   "[-HKEY_LOCAL_MACHINE\\SOFTWARE\\OLEforRetail\\ServiceOPOS\\LineDisplay"
                   "\\Back Office]\n\n"
                   "[HKLM\\HARDWARE\\DEVICEMAP\\SERIALCOMM]\n\"/dev/ttyUSB1\"=-\n",
                   "delete.reg"));
  RegistryStore other(path_);
  EXPECT_FALSE(
      other.KeyExists("HKLM\\SOFTWARE\\OLEforRetail\\ServiceOPOS\\LineDisplay\\Back Office"));
  EXPECT_EQ(other.ValueCount("HKLM\\HARDWARE\\DEVICEMAP\\SERIALCOMM"), 0u);
  EXPECT_NE(ReadFile(path_).find("\"Port\"=\"COM3\""), std::string::npos);
}

TEST_F(RegImportTest, AKeyCreatedAgainUnderAnotherCaseIsSavedUnderItsNewName) {
  WriteFile(path_,
            "Windows Registry Editor Version 5.00\n\n"
            "[HKEY_CURRENT_USER\\Software\\Kinds]\r\n\"n\"=dword:00000001\r\n\n"
            "[HKCU\\Software\\Other]\n\"o\"=\"x\"\n");
  RegistryStore store(path_);
  ASSERT_TRUE(
      store.Import("Windows Registry Editor Version 5.00\n\n"
                   "[-HKEY_CURRENT_USER\\Software]\n\n"
                   "[HKCU\\SOFTWARE\\kinds]\n\"n\"=dword:00000001\n\n"
                   "[HKCU\\software\\other]\n\"o\"=\"x\"\n",
                   "recase.reg"))
      << store.LastError();
  EXPECT_EQ(store.SubkeyName("HKCU", 0), "SOFTWARE");
  EXPECT_EQ(store.SubkeyName("HKCU\\Software", 0), "kinds");

  // A fresh reader of the file sees the names the store holds; each section keeps its line end.
  const std::string text = ReadFile(path_);
  EXPECT_NE(text.find("[HKEY_CURRENT_USER\\SOFTWARE\\kinds]\r\n\"n\"=dword:00000001\r\n"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("[HKCU\\SOFTWARE\\other]\n"), std::string::npos) << text;
  RegistryStore fresh(path_);
  EXPECT_EQ(fresh.SubkeyName("HKCU", 0), "SOFTWARE");
  EXPECT_EQ(fresh.SubkeyName("HKCU\\Software", 0), "kinds");
  EXPECT_EQ(fresh.SubkeyName("HKCU\\Software", 1), "other");
}

TEST_F(RegImportTest, AMalformedStoreOrImportIsReportedByLineAndChangesNothing) {
  const std::string broken = kUserStore + "[HKLM\\SOFTWARE\\Broken\n";
  WriteFile(path_, broken);
  RegistryStore store(path_);
  EXPECT_FALSE(store.Import(kOwned, "owned.reg"));
  EXPECT_EQ(store.LastError(), path_ + ":16: a key line must end with ']'");
  EXPECT_EQ(ReadFile(path_), broken);

  WriteFile(path_, kUserStore);
  const std::string half = kOwned + "\"Bad\"=dword:xyz\n";
  EXPECT_FALSE(store.Import(half, "owned.reg"));
  EXPECT_EQ(store.LastError(), "owned.reg:11: bad dword");
  EXPECT_EQ(ReadFile(path_), kUserStore);  // not even the valid first part was applied
}

TEST_F(RegImportTest, AFileTheLayoutCannotKeepIsWrittenAfresh) {
  // A store that deletes a value (regedit's own syntax) has no section-by-section form: it is
  // rewritten whole, with the same content.
  WriteFile(path_,
            "Windows Registry Editor Version 5.00\n\n[HKLM\\SOFTWARE\\A]\n\"x\"=\"1\"\n\"x\"=-\n"
            "\"y\"=\"2\"\n");
  RegistryStore store(path_);
  ASSERT_TRUE(store.CreateKey("HKLM\\SOFTWARE\\B"));
  EXPECT_EQ(
      ReadFile(path_),
      "Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE]\n\n"
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\A]\n\"y\"=\"2\"\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\B]\n\n");
}

TEST_F(RegImportTest, AStoreOfCommentsOnlyBehindAByteOrderMarkGetsItsHeaderWhenSaved) {
  // The comment behind the mark is no header: the store is written afresh and stays readable.
  WriteFile(path_, "\xEF\xBB\xBF; Windows Registry Editor Version 5.00\n\n; notes\n");
  RegistryStore store(path_);
  ASSERT_TRUE(store.CreateKey("HKLM\\SOFTWARE\\B"));
  RegistryStore again(path_);
  EXPECT_EQ(again.SubkeyCount("HKLM\\SOFTWARE"), 1u) << ReadFile(path_);
}

}  // namespace
}  // namespace kirnow::platform
