// The terminal front end in a real terminal (tmux): start-up shows the dialog with the pole
// display's lines beside it, a typed text sent with Display Text reaches the display, and Escape
// runs Exit; it fits 80 x 24 and says plainly when the terminal is smaller; F1 shows the About
// box; a slow send keeps the display panel live and names the action. The screens are kept in
// the build's artifacts folder.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
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
  // The text of a pane ("pc" is the session's active one); with its attributes (SGR sequences)
  // when `escapes` is set.
  std::string Screen(const std::string& pane = "pc", bool escapes = false) const {
    std::vector<std::string> args = {"capture-pane", "-p", "-t", pane};
    if (escapes) args.insert(args.begin() + 1, "-e");
    return Run(args).out;
  }
  // Waits until the screen shows `text`; the last screen in `screen`.
  bool WaitFor(const std::string& text, std::string& screen, int timeoutMs = 15000,
               const std::string& pane = "pc") const {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    do {
      screen = Screen(pane);
      if (screen.find(text) != std::string::npos) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    } while (std::chrono::steady_clock::now() < end);
    return false;
  }
  bool Alive() const { return Run({"has-session", "-t", "pc"}).status == 0; }
  void Keys(std::vector<std::string> keys, const std::string& pane = "pc") const {
    keys.insert(keys.begin(), {"send-keys", "-t", pane});
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

// Keeps a screen as artifacts/polecheck-terminal-NAME.EXT of the build.
void KeepScreen(const std::string& name, const std::string& screen,
                const std::string& extension = "txt") {
  const std::string bin = BuiltFile("polecheck");
  if (bin.empty()) return;
  const std::string dir = bin.substr(0, bin.rfind('/')) + "/../artifacts";
  mkdir(dir.c_str(), 0755);
  std::ofstream(dir + "/polecheck-terminal-" + name + "." + extension) << screen;
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
  EXPECT_TRUE(tmux_.WaitFor(">   Exit   <", screen)) << screen;  // focused once started

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

// The control the screen shows focused, by its mark: a button or the device as ">label<", an
// edit field with ">" before it. Fields are named by their width in cells, which is their
// template control's: the text 39, Column and Row 5 (Column the left one), the delay 4.
// "nothing" or "several: ..." when not exactly one control is marked.
std::string Focused(const std::string& screen) {
  std::vector<std::string> marked;
  std::istringstream lines(screen);
  std::string line;
  while (std::getline(lines, line)) {
    for (size_t at = line.find('>'); at != std::string::npos; at = line.find('>', at + 1)) {
      const size_t close = line.find('<', at);
      // A field runs to the next blank or frame character (box drawing is E2 xx xx in UTF-8).
      // (a label may follow at once: the delay field's "x 100 ms").
      const size_t end = std::min(line.find_first_of(" \xE2", at + 1), line.size());
      std::string field = line.substr(at + 1, end - at - 1);
      if (field.find('_') != std::string::npos) field.erase(field.find_last_of('_') + 1);
      if (field.find('_') == std::string::npos && close != std::string::npos) {
        std::string label = line.substr(at + 1, close - at - 1);
        label.erase(0, label.find_first_not_of(' '));
        label.erase(label.find_last_not_of(' ') + 1);
        marked.push_back(label == "o" ? "device" : label);
      } else if (field.size() == 39) {
        marked.push_back("text field");
      } else if (field.size() == 4) {
        marked.push_back("delay field");
      } else if (field.size() == 5) {
        marked.push_back(line.rfind('_', at) == std::string::npos ? "Column field" : "Row field");
      } else {
        marked.push_back("a field " + std::to_string(field.size()) + " wide");
      }
    }
  }
  if (marked.size() == 1) return marked[0];
  std::string all = marked.empty() ? "nothing" : "several:";
  for (const auto& m : marked) all += " " + m;
  return all;
}

TEST_F(PolecheckInTmux, FieldsShowTheirWidthAndTabMovesTheMarkThroughTheTabOrder) {
  Start(80, 24);
  std::string screen;
  // Exit holds the focus once start-up is over.
  ASSERT_TRUE(tmux_.WaitFor(">   Exit   <", screen)) << screen;
  KeepScreen("fields", screen);
  // Before anything is typed every field shows its width: the text empty, Column, Row and the
  // delay holding the 1 that start-up wrote.
  EXPECT_NE(screen.find(" " + std::string(39, '_') + " "), std::string::npos) << screen;
  EXPECT_NE(screen.find(" 1____   1____ "), std::string::npos) << screen;
  EXPECT_NE(screen.find("] 1___x 100 ms"), std::string::npos) << screen;
  // Only Exit is marked, and the hint line says how to get to the text field.
  EXPECT_EQ(Focused(screen), "Exit") << screen;
  EXPECT_NE(screen.find("Tab: to the text field"), std::string::npos) << screen;

  const std::vector<std::string> order = {"text field",
                                          "Display Text",
                                          "\u20AC",
                                          "\u00A3",
                                          "Display Text At",
                                          "Blink Characters",
                                          "Scrolling Text Line 1",
                                          "Scrolling Text Line 2",
                                          "Character Delay Time",
                                          "Clear Text",
                                          "Column field",
                                          "Row field",
                                          "delay field",
                                          "device",
                                          "Exit"};
  const auto waitForFocus = [&](const std::string& want) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    do {
      screen = tmux_.Screen();
      if (Focused(screen) == want) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    } while (std::chrono::steady_clock::now() < end);
    return false;
  };
  for (size_t i = 0; i < order.size(); ++i) {
    tmux_.Keys({"Tab"});
    ASSERT_TRUE(waitForFocus(order[i])) << "Tab " << i + 1 << ": " << Focused(screen) << "\n"
                                        << screen;
    if (order[i] == "text field") {
      EXPECT_NE(screen.find(">" + std::string(39, '_')), std::string::npos) << screen;
      EXPECT_NE(screen.find("Type the text"), std::string::npos) << screen;
    } else if (order[i] == "Display Text") {
      EXPECT_NE(screen.find("Shift-Tab: to the text field"), std::string::npos) << screen;
    } else if (order[i] == "Blink Characters") {
      EXPECT_NE(screen.find("Tab/Shift-Tab: move"), std::string::npos) << screen;
    }
  }
  // Shift-Tab walks back.
  tmux_.Keys({"BTab"});
  EXPECT_TRUE(waitForFocus("device")) << screen;
  EXPECT_TRUE(tmux_.Alive());
}

// Polecheck beside the virtual display drawing itself in its own terminal: text typed into
// Polecheck and sent with Display Text shows on the display's rendering. Both panes are kept
// with their attributes as artifacts/polecheck-terminal-beside-display.ans (the README's
// picture is made from it).
TEST(PolecheckTerminal, SentTextShowsOnTheDisplayDrawnBeside) {
  const std::string missing = MissingPieces();
  if (!missing.empty()) GTEST_SKIP() << missing;
  if (Tmux::Find().empty()) GTEST_SKIP() << "tmux is not installed";
  const std::string dir = MakeDisplayFileDir("polecheck-beside.");
  ASSERT_FALSE(dir.empty());
  const std::string link = dir + "/display", snapshot = dir + "/display.json";
  struct Cleanup {
    std::string dir;
    ~Cleanup() {
      std::error_code ignored;
      std::filesystem::remove_all(dir, ignored);
    }
  } cleanup{dir};

  Tmux tmux;
  const std::string display = "'" + BuiltFile("vpoledisplay") + "' --link '" + link +
                              "' --snapshot '" + snapshot + "' --log '" + dir + "/display.log'";
  ASSERT_EQ(tmux.Run({"new-session", "-d", "-s", "pc", "-x", "80", "-y", "35", display}).status, 0);
  tmux.Run({"set-option", "-t", "pc", "status", "off"});
  std::string displayPane = tmux.Run({"display-message", "-p", "-t", "pc", "#{pane_id}"}).out;
  displayPane.erase(displayPane.find_last_not_of('\n') + 1);
  struct stat st {};
  for (int i = 0; i < 100 && lstat(link.c_str(), &st) != 0; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  ASSERT_EQ(lstat(link.c_str(), &st), 0) << tmux.Screen();
  TestRegistryFile store;
  const std::string problem = PrepareStore(store, link);
  ASSERT_TRUE(problem.empty()) << problem;

  const std::string command = "env -u LANG -u LC_ALL -u LC_CTYPE KIRNOW_REGISTRY='" + store.Path() +
                              "' '" + BuiltFile("polecheck") + "'";
  std::string dialogPane = tmux.Run({"split-window", "-b", "-v", "-l", "24", "-t", "pc", "-P", "-F",
                                     "#{pane_id}", command})
                               .out;
  dialogPane.erase(dialogPane.find_last_not_of('\n') + 1);
  std::string screen;
  ASSERT_TRUE(tmux.WaitFor("F1: About", screen, 15000, dialogPane)) << screen;

  // The text field, 34 characters: the display's two lines of 20 take them in turn.
  tmux.Keys({"Tab"}, dialogPane);
  tmux.Keys({"-l", "Polecheck says:     Hello, Kirnow!"}, dialogPane);
  tmux.Keys({"Tab", "Enter"}, dialogPane);
  const auto shown = [&] {
    std::ifstream in(snapshot);
    std::stringstream text;
    text << in.rdbuf();
    const Snapshot s = ParseSnapshot(text.str());
    return s.line1 == "Polecheck says:     " && s.line2 == "Hello, Kirnow!      ";
  };
  for (int i = 0; i < 100 && !shown(); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  EXPECT_TRUE(shown()) << tmux.Screen(dialogPane);
  std::string drawn;
  EXPECT_TRUE(tmux.WaitFor("\u2502Polecheck says:     \u2502", drawn, 5000, displayPane)) << drawn;
  EXPECT_NE(drawn.find("\u2502Hello, Kirnow!      \u2502"), std::string::npos) << drawn;
  // The dialog keeps the text in its field, and the focus is back on Display Text.
  screen = tmux.Screen(dialogPane);
  EXPECT_NE(screen.find(" Polecheck says:     Hello, Kirnow!_____ "), std::string::npos) << screen;
  EXPECT_EQ(Focused(screen), "Display Text") << screen;

  std::string both = tmux.Screen(dialogPane, true);
  both.erase(both.find_last_not_of('\n') + 1);
  std::string rule;
  for (int i = 0; i < 80; ++i) rule += "\u2500";
  KeepScreen("beside-display", both + "\n" + rule + "\n" + tmux.Screen(displayPane, true), "ans");

  tmux.Keys({"Escape"}, dialogPane);
  for (int i = 0;
       i < 100 && tmux.Run({"list-panes", "-t", "pc"}).out.find(dialogPane) != std::string::npos;
       ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
}

}  // namespace
}  // namespace kirnow::it
