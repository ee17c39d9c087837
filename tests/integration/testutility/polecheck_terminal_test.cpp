// The terminal front end in a real terminal (tmux): start-up shows the dialog with the pole
// display's lines beside it, a typed text sent with Display Text reaches the display, and Escape
// runs Exit.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
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

}  // namespace
}  // namespace kirnow::it
