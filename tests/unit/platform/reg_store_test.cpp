// The registry file store: what other programs and earlier runs wrote must come back exactly,
// names follow the registry's case rules, a damaged file is reported and left alone, and two
// processes writing at once lose nothing.
#include "platform/registry/posix/reg_store.h"

#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "kirnow_config.h"
#include "platform/registry/posix/reg_parser.h"
#include "tests/support/file_text.h"

namespace kirnow::platform {
namespace {

using testsupport::ReadFile;
using testsupport::WriteFile;

// The text as regedit saves it: UTF-16LE after a byte order mark (ASCII text only).
std::string Utf16(const std::string& ascii) {
  std::string wide = "\xFF\xFE";
  for (char c : ascii) {
    wide += c;
    wide += '\0';
  }
  return wide;
}

class RegStoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(scratch_.path().empty());
    dir_ = scratch_.path();
    path_ = dir_ + "/registry.reg";
  }

  testsupport::ScratchDir scratch_{"kirnow-regstore"};
  std::string dir_;
  std::string path_;
};

// A file in exactly the layout the store writes, with every kind of value.
const char* const kCanonical =
    "Windows Registry Editor Version 5.00\n"
    "\n"
    "[HKEY_CLASSES_ROOT\\JQ.POSLDisplay.1]\n"
    "@=\"POSLDisplay Class\"\n"
    "\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE]\n"
    "\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\OLEforRetail]\n"
    "\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\OLEforRetail\\ServiceOPOS]\n"
    "\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\OLEforRetail\\ServiceOPOS\\LineDisplay]\n"
    "\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\OLEforRetail\\ServiceOPOS\\LineDisplay\\JQ POS Pole "
    "Display]\n"
    "@=\"JQ.POSLDisplay.1\"\n"
    "\"Path\"=\"C:\\\\Program Files\\\\\\\"Kirnow\\\"\"\n"
    "\"Euro\"=\"\xE2\x82\xAC 5\"\n"
    "\"Count\"=dword:0000000a\n"
    "\"Lines\"=hex(7):41,00,00,00,42,00,43,00,00,00,00,00\n"
    "\"Home\"=hex(2):25,00,48,00,4f,00,4d,00,45,00,25,00,00,00\n"
    "\"Blob\"=hex:00,01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,11,12,13,14,15,\\\n"
    "  16,17,18,19,1a,1b,1c,1d,1e,1f,20\n"
    "\"Broken\"=hex(1):41,00,0a,00,42,00,00,00\n"
    "\"NoZero\"=hex(1):41,00\n"
    "\"Big\"=hex(b):01,00,00,00,00,00,00,00\n"
    "\"ShortDword\"=hex(4):01,02\n"
    "\n";

TEST_F(RegStoreTest, EveryKindOfValueSurvivesLoadAndSaveByteExact) {
  WriteFile(path_, kCanonical);
  RegistryStore store(path_);
  const std::string key =
      "HKLM\\SOFTWARE\\OLEforRetail\\ServiceOPOS\\LineDisplay\\JQ POS Pole Display";

  EXPECT_EQ(store.GetValue(key, "Path")->AsString(), "C:\\Program Files\\\"Kirnow\"");
  EXPECT_EQ(store.GetValue(key, "Euro")->data,
            (std::vector<uint8_t>{0xAC, 0x20, ' ', 0, '5', 0, 0, 0}));
  EXPECT_EQ(store.GetValue(key, "Count")->AsDword(), 10u);
  EXPECT_EQ(store.GetValue(key, "Lines")->type, RegType::MultiString);
  EXPECT_EQ(store.GetValue(key, "Home")->AsString(), "%HOME%");
  EXPECT_EQ(store.GetValue(key, "Blob")->data.size(), 33u);
  EXPECT_EQ(store.GetValue(key, "Blob")->data[32], 0x20);
  EXPECT_EQ(store.GetValue(key, "")->AsString(), "JQ.POSLDisplay.1");

  // Two saves that cancel out give back the very same file.
  ASSERT_TRUE(store.CreateKey("HKLM\\SOFTWARE\\Scratch"));
  EXPECT_NE(ReadFile(path_), kCanonical);
  ASSERT_TRUE(store.DeleteTree("HKLM\\SOFTWARE\\Scratch"));
  EXPECT_EQ(ReadFile(path_), kCanonical);

  // Values written through the store read back identical from another store on the file.
  RegValue odd;
  odd.name = "Odd";
  odd.type = RegType::String;
  odd.data = {'x', 0, '\r', 0, 0, 0, 'y'};  // a line break, an inner zero, an odd length
  ASSERT_TRUE(store.SetValue(key, odd));
  RegValue bin;
  bin.name = "Bytes";
  bin.type = RegType::Binary;
  for (int i = 0; i < 300; ++i) bin.data.push_back(static_cast<uint8_t>(i * 7));
  ASSERT_TRUE(store.SetValue(key, bin));
  RegistryStore other(path_);
  EXPECT_EQ(other.GetValue(key, "Odd")->data, odd.data);
  EXPECT_EQ(other.GetValue(key, "Bytes")->data, bin.data);
  EXPECT_EQ(other.GetValue(key, "Big")->data, (std::vector<uint8_t>{1, 0, 0, 0, 0, 0, 0, 0}));
  std::istringstream lines(ReadFile(path_));
  for (std::string line; std::getline(lines, line);) {
    if (line[0] != '[') {
      EXPECT_LE(line.size(), 80u) << line;
    }
  }
}

TEST(RegText, EveryTruncationEitherParsesOrNamesALine) {
  // A file cut short anywhere (by some other writer's crash or a full disk) must never crash
  // the reader; what cannot be read is reported with its line.
  const std::string text = kCanonical;
  for (size_t n = 0; n <= text.size(); ++n) {
    regtree::Tree tree;
    int line = 0;
    std::string message;
    if (!ParseRegText(text.substr(0, n), tree, line, message)) {
      EXPECT_GE(line, 1) << n;
      EXPECT_FALSE(message.empty()) << n;
    }
  }
}

TEST_F(RegStoreTest, FilesFromElsewhereAreRead) {
  // CRLF line ends, comments, spaces, continuation, short dwords and a deletion section.
  WriteFile(path_,
            "Windows Registry Editor Version 5.00\r\n\r\n"
            "; made by hand\r\n"
            "[HKEY_LOCAL_MACHINE\\HARDWARE\\DEVICEMAP\\SERIALCOMM]\r\n"
            "\"/dev/ttyACM0\" = \"COM5\"\r\n"
            "\"n\"=dword:1f\r\n"
            "\"h\"=hex:01, 02,\\\r\n"
            "    03\r\n"
            "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Gone\\Child]\r\n"
            "[-HKEY_LOCAL_MACHINE\\SOFTWARE\\Gone]\r\n"
            "\"ignored\"=\"x\"\r\n");
  RegistryStore store(path_);
  const std::string key = "HKLM\\HARDWARE\\DEVICEMAP\\SERIALCOMM";
  EXPECT_EQ(store.GetValue(key, "/dev/ttyACM0")->AsString(), "COM5");
  EXPECT_EQ(store.GetValue(key, "n")->AsDword(), 0x1Fu);
  EXPECT_EQ(store.GetValue(key, "h")->data, (std::vector<uint8_t>{1, 2, 3}));
  EXPECT_FALSE(store.KeyExists("HKLM\\SOFTWARE\\Gone"));
  EXPECT_EQ(store.LastError(), "");

  // regedit's own files are UTF-16 with a byte order mark.
  WriteFile(path_, Utf16("Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\K]\r\n"));
  EXPECT_TRUE(store.KeyExists("HKCU\\K"));
}

TEST_F(RegStoreTest, NamesCompareWithoutCaseAndKeepTheirCase) {
  RegistryStore store(path_);
  EXPECT_FALSE(store.KeyExists("HKLM\\SOFTWARE"));  // no file yet: an empty registry
  ASSERT_TRUE(store.CreateKey("HKEY_LOCAL_MACHINE\\SOFTWARE\\OLEforRetail"));
  ASSERT_TRUE(store.SetValue("hklm\\software\\oleforretail", RegValue::FromString("Port", "COM1")));
  ASSERT_TRUE(store.SetValue("HKLM\\SOFTWARE\\OLEFORRETAIL", RegValue::FromString("PORT", "COM2")));
  EXPECT_EQ(store.ValueCount("HKLM\\Software\\OLEforRetail"), 1u);
  const auto v = store.GetValue("HKLM\\SOFTWARE\\OLEforRetail", "port");
  ASSERT_TRUE(v);
  EXPECT_EQ(v->name, "Port");
  EXPECT_EQ(v->AsString(), "COM2");
  EXPECT_EQ(store.SubkeyName("HKCU\\..\\x", 0), std::nullopt);
  const std::string text = ReadFile(path_);
  EXPECT_NE(text.find("[HKEY_LOCAL_MACHINE\\SOFTWARE\\OLEforRetail]\n\"Port\"=\"COM2\"\n"),
            std::string::npos)
      << text;
}

TEST_F(RegStoreTest, AStoreReachedThroughALinkKeepsItsLinkAndTheTargetGetsTheChange) {
  // A relative link to a link, as an installation might set it up.
  const std::string real = dir_ + "/real.reg";
  WriteFile(real, "Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE]\n\n");
  ASSERT_EQ(symlink("real.reg", (dir_ + "/middle.reg").c_str()), 0);
  ASSERT_EQ(symlink("middle.reg", path_.c_str()), 0);
  {
    auto store = platform::MakeRegistryStore(path_);
    ASSERT_TRUE(store->CreateKey("HKEY_LOCAL_MACHINE\\SOFTWARE\\Kirnow"));
    ASSERT_TRUE(store->SetValue("HKEY_LOCAL_MACHINE\\SOFTWARE\\Kirnow",
                                RegValue::FromString("Port", "COM5")));
  }
  struct stat st {};
  ASSERT_EQ(lstat(path_.c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode)) << "the link is still a link";
  EXPECT_NE(ReadFile(real).find("\"Port\"=\"COM5\""), std::string::npos) << ReadFile(real);
  auto again = platform::MakeRegistryStore(path_);
  const auto value = again->GetValue("HKEY_LOCAL_MACHINE\\SOFTWARE\\Kirnow", "Port");
  ASSERT_TRUE(value);
  EXPECT_EQ(value->AsString(), "COM5");
}

TEST_F(RegStoreTest, MalformedFileIsReportedByLineAndNeverOverwritten) {
  const std::string bad =
      "Windows Registry Editor Version 5.00\n"
      "\n"
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\X]\n"
      "\"a\"=\"1\"\n"
      "\"b\"=dword:xyz\n"
      "\"c\"=\"3\"\n";
  WriteFile(path_, bad);
  RegistryStore store(path_);
  EXPECT_FALSE(store.KeyExists("HKLM\\SOFTWARE\\X"));
  EXPECT_FALSE(store.GetValue("HKLM\\SOFTWARE\\X", "a"));
  EXPECT_FALSE(store.SubkeyCount("HKLM\\SOFTWARE"));
  EXPECT_FALSE(store.SetValue("HKLM\\SOFTWARE\\X", RegValue::FromString("a", "2")));
  EXPECT_FALSE(store.CreateKey("HKLM\\SOFTWARE\\Y"));
  EXPECT_FALSE(store.DeleteTree("HKLM\\SOFTWARE\\X"));
  EXPECT_EQ(ReadFile(path_), bad);
  EXPECT_EQ(store.LastError().rfind(path_ + ":5: ", 0), 0u) << store.LastError();
  EXPECT_EQ(RegistryStoreLastError(), store.LastError());

  // Other kinds of damage are caught too, each at its line; a UTF-16 file that lost its last
  // byte is refused rather than read without its last character. So is what the registry would
  // refuse, saying what was too big; no depth of key costs the reader more than its length.
  const std::string cutSpeed =
      Utf16("Windows Registry Editor Version 5.00\r\n\r\n[HKLM\\X]\r\n\"Speed\"=dword:00000010");
  const std::string header = "Windows Registry Editor Version 5.00\n";
  auto times = [](std::string_view piece, size_t n) {
    std::string out;
    for (size_t i = 0; i < n; ++i) out += piece;
    return out;
  };
  const std::string eAcute = "\xC3\xA9";  // two bytes in UTF-8, one character in UTF-16
  struct Case {
    std::string text;
    int line;
    std::string says = {};
  };
  const Case cases[] = {
      {"REGEDIT4\n", 1},
      {"Windows Registry Editor Version 5.00\n\"v\"=\"no key\"\n", 2},
      {"Windows Registry Editor Version 5.00\n[HKEY_NOWHERE\\X]\n", 2},
      {"Windows Registry Editor Version 5.00\n[HKLM\\X]\n\"p\"=\"C:\\dir\"\n", 3},
      {"Windows Registry Editor Version 5.00\n[HKLM\\X]\n\"p\"=hex:01,\\\n", 3},
      {"Windows Registry Editor Version 5.00\n[HKLM\\X]\n\n\"p\"=hex:01,zz\n", 4},
      {"Windows Registry Editor Version 5.00\n[HKLM\\X\n", 2},
      {cutSpeed.substr(0, cutSpeed.size() - 1), 4},
      {"\xFF\xFE\x57", 1},
      {header + "[HKCU" + times("\\k", 512) + "]\n[-HKCU" + times("\\k", 513) + "]\n", 3,
       "513 levels deep"},
      {header + "[HKCU\\" + times(eAcute, 255) + "]\n[HKCU\\" + times("n", 256) + "]\n", 3,
       "256 characters"},
      {header + "[HKCU\\X]\n\"" + times(eAcute, 16383) + "\"=\"\"\n\"" + times("v", 16384) +
           "\"=-\n",
       4, "16384 characters"},
      {header + "[HKCU\\X]\n\"big\"=hex:\\\n" + times("  00,00,00,00,00,00,00,00,\\\n", 262144) +
           "  00\n",
       3, "2097153 bytes"},
      {header + "[HKCU" + times("\\a", 300000) + "]\n", 2, "300000 levels deep"},
  };
  for (const auto& [text, line, says] : cases) {
    const std::string shown = text.substr(0, 200);
    WriteFile(path_, text);
    EXPECT_FALSE(store.CreateKey("HKLM\\Y")) << shown;
    EXPECT_EQ(ReadFile(path_), text);
    EXPECT_NE(store.LastError().find(":" + std::to_string(line) + ": "), std::string::npos)
        << shown << " -> " << store.LastError();
    EXPECT_NE(store.LastError().find(says), std::string::npos) << store.LastError();
  }
  // Mended by hand, the file works again.
  WriteFile(path_, "Windows Registry Editor Version 5.00\n");
  EXPECT_TRUE(store.CreateKey("HKLM\\Y"));
  EXPECT_EQ(store.LastError(), "");
}

TEST_F(RegStoreTest, TwoProcessesWritingAtOnceLoseNoUpdate) {
  ASSERT_TRUE(RegistryStore(path_).CreateKey("HKLM\\SOFTWARE\\Shared"));
  constexpr int kWrites = 20;
  pid_t children[2];
  for (int c = 0; c < 2; ++c) {
    children[c] = fork();
    ASSERT_GE(children[c], 0);
    if (children[c] == 0) {
      RegistryStore store(path_);
      bool ok = true;
      for (int i = 0; i < kWrites; ++i) {
        const std::string name = std::string(1, static_cast<char>('a' + c)) + std::to_string(i);
        // Nobody waits long for the other's lock: a write that meets it fails and says so, and
        // this writer tries it again.
        bool written = false;
        for (int attempt = 0; attempt < 100 && !written; ++attempt) {
          written = store.SetValue("HKLM\\SOFTWARE\\Shared", RegValue::FromDword(name, i));
          ok = ok && (written || store.LastOsError() == EWOULDBLOCK);
        }
        ok = ok && written;
      }
      _exit(ok ? 0 : 1);
    }
  }
  for (pid_t child : children) {
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  RegistryStore store(path_);
  EXPECT_EQ(store.ValueCount("HKLM\\SOFTWARE\\Shared"), 2u * kWrites);
  for (int i = 0; i < kWrites; ++i) {
    EXPECT_EQ(store.GetValue("HKLM\\SOFTWARE\\Shared", "a" + std::to_string(i))->AsDword(),
              static_cast<uint32_t>(i));
    EXPECT_EQ(store.GetValue("HKLM\\SOFTWARE\\Shared", "b" + std::to_string(i))->AsDword(),
              static_cast<uint32_t>(i));
  }
}

TEST_F(RegStoreTest, WhoeverMayWriteTheStoreMayLockItAndNobodyElse) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root, to act as another user";
  const std::string lock = path_ + ".lock";
  ASSERT_EQ(chmod(dir_.c_str(), 0777), 0);
  struct Row {
    mode_t store, lock;
    int other;  // what user nobody, of the store's group, may: 1 change the store, 2 open its lock
  };
  for (const Row row : {Row{0666, 0666, 3}, Row{0640, 0600, 0}}) {
    SCOPED_TRACE(row.store);
    WriteFile(path_, "Windows Registry Editor Version 5.00\n\n");
    ASSERT_EQ(chmod(path_.c_str(), row.store), 0);
    ASSERT_EQ(chown(path_.c_str(), 0, 65534), 0);
    unlink(lock.c_str());
    ASSERT_TRUE(RegistryStore(path_).CreateKey("HKLM\\ByRoot"));
    struct stat st {};
    ASSERT_EQ(stat(lock.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, row.lock);
    EXPECT_EQ(st.st_gid, 65534u);
    ASSERT_EQ(stat(path_.c_str(), &st), 0);
    EXPECT_EQ(st.st_gid, 65534u) << "a save keeps the store's group";
    const pid_t child = fork();
    if (child == 0) {
      if (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0) _exit(9);
      const int fd = open(lock.c_str(), O_RDONLY);
      _exit((RegistryStore(path_).CreateKey("HKLM\\ByNobody") ? 1 : 0) | (fd >= 0 ? 2 : 0));
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_EQ(WEXITSTATUS(status), row.other);
  }

  // Another process holds the lock: a change gives up soon, says why and writes nothing.
  const int holder = open(lock.c_str(), O_RDONLY);
  ASSERT_EQ(flock(holder, LOCK_EX), 0);
  RegistryStore store(path_);
  EXPECT_FALSE(store.CreateKey("HKLM\\Late"));
  EXPECT_EQ(store.LastOsError(), EWOULDBLOCK);
  close(holder);
  EXPECT_FALSE(store.KeyExists("HKLM\\Late"));
}

TEST_F(RegStoreTest, ReadersNeverSeeAPartlyWrittenFile) {
  ASSERT_TRUE(RegistryStore(path_).CreateKey("HKLM\\SOFTWARE\\Big"));
  const pid_t writer = fork();
  ASSERT_GE(writer, 0);
  if (writer == 0) {
    RegistryStore store(path_);
    RegValue v;
    v.type = RegType::Binary;
    v.data.assign(8000, 0x5A);
    for (int i = 0; i < 12; ++i) {
      v.name = "v" + std::to_string(i);
      store.SetValue("HKLM\\SOFTWARE\\Big", v);
    }
    _exit(0);
  }
  int snapshots = 0;
  int status = 0;
  while (waitpid(writer, &status, WNOHANG) == 0) {
    regtree::Tree tree;
    int line = 0;
    std::string message;
    const std::string text = ReadFile(path_);
    ASSERT_TRUE(ParseRegText(text, tree, line, message)) << "line " << line << ": " << message;
    ASSERT_NE(tree.Find("HKLM\\SOFTWARE\\Big"), nullptr);
    ++snapshots;
  }
  EXPECT_GT(snapshots, 0);
  // No temporary file is left behind.
  for (const auto& entry : std::filesystem::directory_iterator(dir_)) {
    const std::string name = entry.path().filename().string();
    EXPECT_TRUE(name == "registry.reg" || name == "registry.reg.lock") << name;
  }
}

TEST_F(RegStoreTest, DefaultPathComesFromTheEnvironment) {
  const char* saved = std::getenv("KIRNOW_REGISTRY");
  const std::string keep = saved != nullptr ? saved : "";
  setenv("KIRNOW_REGISTRY", (dir_ + "/sub/dir/r.reg").c_str(), 1);
  EXPECT_EQ(DefaultRegistryPath(), dir_ + "/sub/dir/r.reg");
  auto reg = MakeSystemRegistry(UsbIds{KIRNOW_USB_VID, KIRNOW_USB_PID});
  EXPECT_TRUE(reg->CreateKey("HKCR\\CLSID"));  // creates the missing directories
  EXPECT_TRUE(std::filesystem::exists(dir_ + "/sub/dir/r.reg"));
  unsetenv("KIRNOW_REGISTRY");
  const char* home = std::getenv("HOME");
  if (home != nullptr) {
    EXPECT_EQ(DefaultRegistryPath(), std::string(home) + "/.kirnow/registry.reg");
  }
  if (saved != nullptr) setenv("KIRNOW_REGISTRY", keep.c_str(), 1);
}

}  // namespace
}  // namespace kirnow::platform
