// Script mode over the recording control object: lines become the dialog's actions, message
// boxes are printed, and the exit status tells what went wrong.
#include "testutility/core/script_runner.h"

#include <gtest/gtest.h>

#include <sstream>

#include "tests/unit/testutility/recording_control.h"
#include "testutility/core/polecheck_dlg.h"

namespace polecheck {
namespace {

using testing::RecordingControl;
using Calls = std::vector<std::string>;

class ScriptTest : public ::testing::Test {
 protected:
  void SetUp() override { g_ActiveMarquee = 0; }

  int Run(const std::string& script) {
    std::istringstream in(script);
    ScriptOptions options;
    options.sleep = [this](uint32_t ms) { slept.push_back(ms); };
    return RunScript(in, display, out, err, options);
  }

  // Calls after the start-up sequence.
  Calls AfterStartup() const {
    auto it = std::find(control.calls.begin(), control.calls.end(), "call 81");
    return Calls(it + 1, control.calls.end());
  }

  RecordingControl control;
  CLinedisplay1 display{&control};
  std::ostringstream out, err;
  std::vector<uint32_t> slept;
};

TEST_F(ScriptTest, RunsEachLineThroughTheDialogsHandlers) {
  EXPECT_EQ(Run("# a comment\n"
                "DisplayTextAt 2 3 Hi there\n"
                "\n"
                "euro\r\n"
                "DisplayText\n"
                "CharacterDelay 2\n"
                "Wait 250\n"
                "ScrollLine1\n"
                "Exit\n"
                "DisplayText never sent\n"),
            kScriptOk);
  EXPECT_EQ(AfterStartup(), (Calls{"call 85 1 2 'Hi there' 0",
                                   "get 60",
                                   "put 60 0",
                                   "call 84 'Hi there?' 0",
                                   "put 60 1",
                                   "put 60 0",
                                   "put 72 0",
                                   "call 81",
                                   "put 69 200",
                                   "put 60 1",
                                   "call 81",
                                   "put 72 5",
                                   "call 85 0 0 'Scrolling Text Line 1 ' 0",
                                   "put 72 3",
                                   "put 60 2",
                                   "call 83",
                                   "put 60 1",
                                   "call 83",
                                   "put 72 5",
                                   "put 72 0",
                                   "call 81",
                                   "call 35"}));
  EXPECT_EQ(slept, (std::vector<uint32_t>{250}));
  EXPECT_EQ(out.str(), "");
}

TEST_F(ScriptTest, EndOfFileRunsExit) {
  EXPECT_EQ(Run("Blink\n"), kScriptOk);
  EXPECT_EQ(control.calls.back(), "call 35");
}

TEST_F(ScriptTest, PrintsMessageBoxesAsCaptionAndText) {
  EXPECT_EQ(Run("DisplayTextAt x 1\n"), kScriptOk);
  EXPECT_EQ(out.str(), "Polecheck: Please enter an integer.\n");
}

TEST_F(ScriptTest, FailedStartupPrintsItsMessageRunsExitAndFails) {
  control.resultCodeAfter[37] = 108;
  EXPECT_EQ(Run("DisplayText x\n"), kScriptStartupFailed);
  EXPECT_EQ(out.str(),
            "JQ Pole Display - OPEN error: This device has not been registered, or cannot use.\n");
  EXPECT_EQ(control.calls.back(), "call 35");
  EXPECT_EQ(std::count(control.calls.begin(), control.calls.end(), "call 84 'x' 0"), 0);
}

TEST_F(ScriptTest, LinesNotUnderstoodAreNamedAndNothingIsSent) {
  EXPECT_EQ(Run("Blink\nBlink twice\nJump\nDisplayTextAt 1\nWait soon\nCharacterDelay\n"),
            kScriptNotUnderstood);
  EXPECT_TRUE(control.calls.empty());
  const std::string e = err.str();
  EXPECT_NE(e.find("line 2 not understood: Blink twice"), std::string::npos) << e;
  EXPECT_NE(e.find("line 3 not understood: Jump"), std::string::npos);
  EXPECT_NE(e.find("line 4 not understood: DisplayTextAt 1"), std::string::npos);
  EXPECT_NE(e.find("line 5 "), std::string::npos);
  EXPECT_NE(e.find("line 6 "), std::string::npos);
  EXPECT_EQ(e.find("line 1 "), std::string::npos);
}

TEST_F(ScriptTest, DispatchFailureIsPrintedAndMakesTheRunFail) {
  control.failWith[84] = E_FAIL;
  EXPECT_EQ(Run("DisplayText x\nClearText\n"), kScriptDispatchFailed);
  EXPECT_NE(out.str().find("Polecheck: "), std::string::npos);
  EXPECT_EQ(control.calls.back(), "call 35") << "the run goes on after the failed line";
}

}  // namespace
}  // namespace polecheck
