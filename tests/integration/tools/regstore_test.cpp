// regstore and regsvr as the run script uses them, on a store that a user keeps entries and
// comments in: each start imports the script's own entries and registers the library again,
// and the user's part of the file comes through every start byte for byte.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "polecheck_harness.h"
#include "tests/support/file_text.h"

namespace kirnow::it {
namespace {

using testsupport::ReadFile;
using testsupport::WriteFile;

const char* const kUserPart =
    "Windows Registry Editor Version 5.00\n"
    "\n"
    "; the back-office display, added by hand\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\OLEforRetail\\ServiceOPOS\\LineDisplay\\Back Office]\n"
    "@=\"JQ.POSLDisplay.1\"\n"
    "\"Port\"=\"COM7\"\n";

const char* const kOwned =
    "Windows Registry Editor Version 5.00\n\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\OLEforRetail\\ServiceOPOS\\LineDisplay\\JQ POS POLE DISPLAY]\n"
    "@=\"JQ.POSLDisplay.1\"\n\n"
    "[HKEY_LOCAL_MACHINE\\HARDWARE\\DEVICEMAP\\SERIALCOMM]\n"
    "\"/tmp/pole-display\"=\"COM5\"\n";

TEST(RegStoreTool, TwoStartsKeepTheUsersEntriesAndChangeNothingTheSecondTime) {
  const std::string regstore = BuiltFile("regstore");
  const std::string regsvr = BuiltFile("regsvr");
  const std::string library = BuiltFile("Kirnow.so");
  if (regstore.empty() || regsvr.empty() || library.empty()) {
    GTEST_SKIP() << "regstore, regsvr or Kirnow.so not built";
  }
  testsupport::ScratchDir scratch("kirnow-regstore-it");
  ASSERT_FALSE(scratch.path().empty());
  const std::string dir = scratch.path();
  const std::string store = dir + "/registry.reg";
  const std::string owned = dir + "/owned.reg";
  WriteFile(store, kUserPart);
  WriteFile(owned, kOwned);

  auto start = [&] {
    const auto imported = RunProgram({regstore, "--store", store, "import", owned}, {}, 10000);
    EXPECT_EQ(imported.status, 0) << imported.err;
    const auto registered = RunProgram({regsvr, library}, {"KIRNOW_REGISTRY=" + store}, 10000);
    EXPECT_EQ(registered.status, 0) << registered.err;
  };
  start();
  const std::string first = ReadFile(store);
  EXPECT_EQ(first.substr(0, std::string(kUserPart).size()), kUserPart);
  EXPECT_NE(first.find("\"/tmp/pole-display\"=\"COM5\""), std::string::npos);
  EXPECT_NE(first.find("[HKEY_CLASSES_ROOT\\JQ.POSLDisplay.1]"), std::string::npos);
  start();
  EXPECT_EQ(ReadFile(store), first);

  // A damaged store stops the import with its line, and stays as it is.
  const std::string damaged = first + "[HKEY_LOCAL_MACHINE\\SOFTWARE\n";
  WriteFile(store, damaged);
  const auto refused = RunProgram({regstore, "--store", store, "import", owned}, {}, 10000);
  EXPECT_EQ(refused.status, 1);
  EXPECT_NE(refused.err.find(store + ":"), std::string::npos) << refused.err;
  EXPECT_NE(refused.err.find("a key line must end with ']'"), std::string::npos) << refused.err;
  EXPECT_EQ(ReadFile(store), damaged);
}

}  // namespace
}  // namespace kirnow::it
