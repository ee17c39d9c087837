// The terminal front end in a real terminal (tmux): start-up shows the dialog with the pole
// display's lines beside it, a typed text sent with Display Text reaches the display, and Escape
// runs Exit; it fits 80 x 24 and says plainly when the terminal is smaller; F1 shows the About
// box; a slow send keeps the display panel live and names the action. The screens are kept in
// the build's artifacts folder.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <thread>

#include "polecheck_harness.h"

namespace kirnow::it {
namespace {

class Tmux {
 public:
  Tmux() : socket_("polecheck-it-" + std::to_string(getpid())) {}
  ~Tmux() { Tmux::Run({"kill-server"}); }

  ProgramResult Run(std::vector<std::string> args) const {
    // The terminal itself speaks UTF-8 (-u); the program inside it gets no locale at all.
    std::vector<std::string> argv = {tmux_, "-u", "-L", socket_};
    argv.insert(argv.end(), args.begin(), args.end());
    return RunProgram(argv, {"LC_ALL=C.UTF-8"}, 10000);
  }
  std::string Screen() const { return Run({"capture-pane", "-p", "-t", "pc"}).out; }
  // Waits until the screen shows `text`; the last screen in `screen`.
  bool WaitFor(const std::string& text, std::string& screen, int timeoutMs = 15000) const {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    do {
      screen = Screen();
      if (screen.find(text) != std::string::npos) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    } while (std::chrono::steady_clock::now() < end);
    return false;
  }
  bool Alive() const { return Run({"has-session", "-t", "pc"}).status == 0; }
  void Keys(std::vector<std::string> keys) const {
    keys.insert(keys.begin(), {"send-keys", "-t", "pc"});
    Run(keys);
  }
  static std::string Find() {
    for (const char* p : {"/usr/bin/tmux", "/usr/local/bin/tmux", "/bin/tmux"}) {
      if (access(p, X_OK) == 0) return p;
    }
    return {};
  }

 private:
  std::string tmux_ = Find();
  std::string socket_;
};

TEST(PolecheckTerminal, StartsUpAndDisplayTextReachesTheDisplay) {
  const std::string missing = MissingPieces();
  if (!missing.empty()) GTEST_SKIP() << missing;
  if (Tmux::Find().empty()) GTEST_SKIP() << "tmux is not installed";
  VirtualDisplay display;
  ASSERT_TRUE(display.Start());
  TestRegistryFile store;
  const std::string problem = PrepareStore(store, display);
  ASSERT_TRUE(problem.empty()) << problem;

  Tmux tmux;
  const std::string command = "env -u LANG -u LC_ALL -u LC_CTYPE KIRNOW_REGISTRY='" + store.Path() +
                              "' '" + BuiltFile("polecheck") + "' --vpd-snapshot '" +
                              display.SnapshotPath() + "'";
  ASSERT_EQ(tmux.Run({"new-session", "-d", "-s", "pc", "-x", "120", "-y", "40", command}).status,
            0);
  std::string screen;
  ASSERT_TRUE(tmux.WaitFor("JQ Pole Display OPOS Test v4.0.0.3", screen)) << screen;
  // Start-up succeeded: no error popup, the sign buttons carry their captions, and the display
  // panel shows what the display shows.
  ASSERT_TRUE(display.WaitForSnapshot([](const Snapshot& s) { return s.valid; }, 5000));
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  screen = tmux.Screen();
  EXPECT_EQ(screen.find("error"), std::string::npos) << screen;
  EXPECT_NE(screen.find("[  \u20AC  ]"), std::string::npos) << screen;
  EXPECT_NE(screen.find("Pole display"), std::string::npos) << screen;

  // Focus starts on Exit; Tab reaches the text field, then Display Text.
  tmux.Run({"send-keys", "-t", "pc", "Tab"});
  tmux.Run({"send-keys", "-t", "pc", "-l", "Hi there"});
  tmux.Run({"send-keys", "-t", "pc", "Tab", "Enter"});
  ASSERT_TRUE(display.WaitForSnapshot(
      [](const Snapshot& s) { return s.line1.rfind("Hi there", 0) == 0; }, 10000))
      << tmux.Screen();
  // The panel beside the dialog follows the display.
  EXPECT_TRUE(tmux.WaitFor("\u2502Hi there", screen)) << screen;

  // Escape runs Exit: the display is cleared and the program ends.
  tmux.Run({"send-keys", "-t", "pc", "Escape"});
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(15);
  while (tmux.Alive() && std::chrono::steady_clock::now() < end) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  EXPECT_FALSE(tmux.Alive());
  EXPECT_TRUE(display.WaitForSnapshot(
      [](const Snapshot& s) { return s.line1 == std::string(20, ' '); }, 5000));
}

void KeepScreen(const std::string& name, const std::string& screen) {
  const std::string bin = BuiltFile("polecheck");
  if (bin.empty()) return;
  const std::string dir = bin.substr(0, bin.rfind('/')) + "/../artifacts";
  mkdir(dir.c_str(), 0755);
  std::ofstream(dir + "/polecheck-terminal-" + name + ".txt") << screen;
}

// A started dialog in a terminal of the given size, against a virtual display.
class PolecheckInTmux : public ::testing::Test {
 protected:
  void Start(int cols, int rows) {
    const std::string missing = MissingPieces();
    if (!missing.empty()) GTEST_SKIP() << missing;
    if (Tmux::Find().empty()) GTEST_SKIP() << "tmux is not installed";
    ASSERT_TRUE(display_.Start());
    const std::string problem = PrepareStore(store_, display_);
    ASSERT_TRUE(problem.empty()) << problem;
    const std::string command = "env -u LANG -u LC_ALL -u LC_CTYPE KIRNOW_REGISTRY='" +
                                store_.Path() + "' '" + BuiltFile("polecheck") +
                                "' --vpd-snapshot '" + display_.SnapshotPath() + "'";
    ASSERT_EQ(tmux_
                  .Run({"new-session", "-d", "-s", "pc", "-x", std::to_string(cols), "-y",
                        std::to_string(rows), command})
                  .status,
              0);
    ASSERT_TRUE(display_.WaitForSnapshot([](const Snapshot& s) { return s.valid; }, 10000));
  }
  void TearDown() override {
    if (tmux_.Alive()) tmux_.Keys({"Escape"});
  }

  VirtualDisplay display_;
  TestRegistryFile store_;
  Tmux tmux_;
};

TEST_F(PolecheckInTmux, FitsEightyByTwentyFourAndSaysSoWhenSmaller) {
  Start(80, 24);
  std::string screen;
  ASSERT_TRUE(tmux_.WaitFor("F1: About", screen)) << screen;
  KeepScreen("80x24", screen);
  // The whole dialog: caption, bottom frame, the hint line and the display panel.
  EXPECT_NE(screen.find("JQ Pole Display OPOS Test v4.0.0.3"), std::string::npos) << screen;
  EXPECT_NE(screen.find("\u2514"), std::string::npos) << screen;  // bottom-left corner
  EXPECT_NE(screen.find("Pole display"), std::string::npos) << screen;
  EXPECT_NE(screen.find("[   Exit   ]"), std::string::npos) << screen;

  tmux_.Run({"resize-window", "-t", "pc", "-x", "60", "-y", "20"});
  ASSERT_TRUE(tmux_.WaitFor("the terminal must be at least 79 x 24", screen)) << screen;
  KeepScreen("60x20", screen);
  EXPECT_EQ(screen.find("Pole display"), std::string::npos) << screen;

  tmux_.Run({"resize-window", "-t", "pc", "-x", "80", "-y", "24"});
  EXPECT_TRUE(tmux_.WaitFor("F1: About", screen)) << screen;
  EXPECT_TRUE(tmux_.Alive());
}

TEST_F(PolecheckInTmux, AboutBoxOpensWithF1AndClosesWithEscapeOrOk) {
  Start(80, 24);
  std::string screen;
  ASSERT_TRUE(tmux_.WaitFor("F1: About", screen)) << screen;
  tmux_.Keys({"F1"});
  ASSERT_TRUE(tmux_.WaitFor("Polecheck Ver. 4.0.0.2", screen)) << screen;
  KeepScreen("about", screen);
  EXPECT_NE(screen.find("About Polecheck"), std::string::npos) << screen;
  EXPECT_NE(screen.find("Pole display test utility"), std::string::npos) << screen;
  tmux_.Keys({"Escape"});
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  screen = tmux_.Screen();
  EXPECT_EQ(screen.find("Polecheck Ver."), std::string::npos) << screen;
  EXPECT_TRUE(tmux_.Alive());  // Escape closed the box, not the dialog
  tmux_.Keys({"F1"});
  ASSERT_TRUE(tmux_.WaitFor("Polecheck Ver. 4.0.0.2", screen)) << screen;
  tmux_.Keys({"Enter"});
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  EXPECT_EQ(tmux_.Screen().find("Polecheck Ver."), std::string::npos);
  EXPECT_TRUE(tmux_.Alive());
}

TEST_F(PolecheckInTmux, ASlowSendKeepsThePanelLiveAndNamesTheAction) {
  Start(80, 24);
  std::string screen;
  ASSERT_TRUE(tmux_.WaitFor("F1: About", screen)) << screen;
  // From Exit, back to the delay field: 3 x 100 ms between characters.
  tmux_.Keys({"BTab", "BTab"});
  tmux_.Keys({"-l", "3"});
  tmux_.Keys({"BTab", "BTab", "BTab", "BTab", "Enter"});  // Character Delay Time
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  // Back to the text field, then Display Text.
  for (int i = 0; i < 8; ++i) tmux_.Keys({"BTab"});
  tmux_.Keys({"-l", "abcdefghij"});
  tmux_.Keys({"Tab", "Enter"});
  ASSERT_TRUE(display_.WaitForSnapshot(
      [](const Snapshot& s) { return s.line1.rfind("abcd", 0) == 0; }, 10000));
  // Before the last characters are out, the panel already shows the first ones.
  ASSERT_TRUE(tmux_.WaitFor("\u2502abcd", screen, 3000)) << screen;
  KeepScreen("slow-send", screen);
  EXPECT_NE(screen.find("Running: Display Text"), std::string::npos) << screen;
  EXPECT_NE(display_.ReadSnapshot().line1.rfind("abcdefghij", 0), 0u)
      << "the send ended before the check; the delay was not set";
  ASSERT_TRUE(display_.WaitForSnapshot(
      [](const Snapshot& s) { return s.line1.rfind("abcdefghij", 0) == 0; }, 10000));
  EXPECT_TRUE(tmux_.WaitFor("F1: About", screen)) << screen;  // the hint line is back
}

}  // namespace
}  // namespace kirnow::it
