// The test dialog's handlers against a recording control object: which calls each makes, in
// which order, what the user sees, and which controls end up disabled.
#include "testutility/core/polecheck_dlg.h"

#include <gtest/gtest.h>

#include "tests/unit/testutility/recording_control.h"
#include "tests/unit/testutility/recording_view.h"
#include "testutility/core/resource_ids.h"

namespace polecheck {
namespace {

using testing::RecordingControl;
using testing::RecordingView;
using Calls = std::vector<std::string>;

const Calls kStartup = {"call 37 'JQ POS POLE DISPLAY'",
                        "get 22",
                        "call 32 1000",
                        "get 22",
                        "put 17 TRUE",
                        "get 22",
                        "get 30",
                        "get 39",
                        "call 82 0 0 1 20 1 20",
                        "put 73 100",
                        "call 82 1 0 1 20 1 20",
                        "put 73 50",
                        "put 60 0",
                        "call 81"};
const Calls kStop = {"put 72 5", "put 72 0", "call 81"};

Calls Join(std::initializer_list<Calls> parts) {
  Calls out;
  for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

class PolecheckDlgTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_ActiveMarquee = 0;
    g_TextBuffer.assign(1024, u'\0');
  }

  void StartUp() {
    ASSERT_TRUE(dlg.OnInitDialog());
    ASSERT_TRUE(dlg.StartupSucceeded()) << ::testing::PrintToString(view.messages);
    control.Take();
    view.events.clear();
  }

  RecordingControl control;
  CLinedisplay1 display{&control};
  RecordingView view;
  CPolecheckDlg dlg{view, display};
};

TEST_F(PolecheckDlgTest, StartupOpensClaimsEnablesChecksAndMakesOneWindowPerLine) {
  EXPECT_TRUE(dlg.OnInitDialog());
  EXPECT_TRUE(dlg.StartupSucceeded());
  EXPECT_EQ(control.calls, kStartup);
  EXPECT_TRUE(view.messages.empty());
  EXPECT_TRUE(view.disabled.empty());
  EXPECT_EQ(view.fields[IDC_COLUMN], u"1");
  EXPECT_EQ(view.fields[IDC_ROW], u"1");
  EXPECT_EQ(view.fields[IDC_DELAY], u"1");
  EXPECT_EQ(view.captions[IDC_EURO], u"\u20AC");
  EXPECT_EQ(view.captions[IDC_POUND], u"\u00A3");
  EXPECT_EQ(g_ActiveMarquee, 0);
}

struct StartupFailure {
  const char* name;
  DISPID failingCall;         // the call after which ResultCode is not 0 (0: device name)
  std::u16string deviceName;  // used when failingCall is 0
  std::string message;
  size_t callsMade;
};

class StartupFailureTest : public PolecheckDlgTest,
                           public ::testing::WithParamInterface<StartupFailure> {};

TEST_P(StartupFailureTest, ShowsItsMessageLeavesOnlyExitAndUndoesNothing) {
  const auto& p = GetParam();
  if (p.failingCall != 0) {
    control.resultCodeAfter[p.failingCall] = p.failingCall == 37 ? 108 : 106;
  } else {
    control.deviceName = p.deviceName;
  }
  EXPECT_TRUE(dlg.OnInitDialog());
  EXPECT_FALSE(dlg.StartupSucceeded());
  EXPECT_EQ(view.messages, (std::vector<std::string>{p.message}));
  EXPECT_EQ(control.calls, Calls(kStartup.begin(), kStartup.begin() + p.callsMade))
      << "start-up stops at the failing step and undoes nothing";
  EXPECT_EQ(view.disabled, (std::set<int>{1000, 1001, 1002, 1003, 1004, 1005, 1006, 1007, 1008,
                                          1009, 1010, 1011, 1013}));
  EXPECT_EQ(view.captions[IDC_EURO], u"\u20AC") << "the captions are set whatever the outcome";
  EXPECT_EQ(view.captions[IDC_POUND], u"\u00A3");

  // Exit is still there and runs its whole sequence.
  control.Take();
  EXPECT_TRUE(dlg.OnCommand(IDCANCEL));
  EXPECT_EQ(control.calls.back(), "call 35");
  EXPECT_EQ(view.ended, (std::vector<int>{IDCANCEL}));
}

INSTANTIATE_TEST_SUITE_P(
    EachStep, StartupFailureTest,
    ::testing::Values(
        StartupFailure{"Open", 37, u"",
                       "JQ Pole Display - OPEN error: This device has not been registered, or "
                       "cannot use.",
                       2},
        StartupFailure{"Claim", 32, u"",
                       "JQ Pole Display - CLAIM error: Fails to get the exclusive right for the "
                       "device.",
                       4},
        StartupFailure{"Enable", 17, u"",
                       "JQ Pole Display - ENABLE error: Now the device is disable to use.", 6},
        StartupFailure{"ForeignDevice", 0, u"ACME Pole", "Polecheck: Device is not JQ POS Device",
                       7},
        StartupFailure{"ShortName", 0, u"JQ PO", "Polecheck: Device is not JQ POS Device", 7},
        StartupFailure{"OtherCase", 0, u"jq pos Pole Display",
                       "Polecheck: Device is not JQ POS Device", 7}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(PolecheckDlgTest, DispatchFailureDuringStartupCountsAsFailedStartup) {
  control.failWith[32] = E_FAIL;
  dlg.OnInitDialog();
  EXPECT_FALSE(dlg.StartupSucceeded());
  ASSERT_EQ(view.messages.size(), 1u);
  EXPECT_EQ(view.messages[0].rfind("Polecheck: ", 0), 0u);
  EXPECT_EQ(view.disabled.size(), 13u);
  EXPECT_EQ(control.calls.back(), "call 32 1000");
}

TEST_F(PolecheckDlgTest, DisplayTextWhileLine1ScrollsStopsItAndClearsTwice) {
  StartUp();
  dlg.OnCommand(IDC_SCROLL_LINE1);
  EXPECT_EQ(control.Take(), (Calls{"put 60 1", "call 81", "put 72 5",
                                   "call 85 0 0 'Scrolling Text Line 1 ' 0", "put 72 3"}));
  EXPECT_EQ(g_ActiveMarquee, 1);

  view.fields[IDC_TEXT_EDIT] = u"Hello";
  dlg.OnCommand(IDC_DISPLAY_TEXT);
  EXPECT_EQ(control.Take(),
            Join({{"get 60"}, kStop, {"call 81", "put 60 0", "call 84 'Hello' 0"}}));
  EXPECT_EQ(g_ActiveMarquee, 0);
  EXPECT_EQ(view.events, (std::vector<std::string>{"disable 1001", "disable 1002", "disable 1003",
                                                   "disable 1004", "enable 1001", "enable 1002",
                                                   "enable 1003", "enable 1004"}));
  EXPECT_TRUE(view.disabled.empty());

  // Nothing running: straight to window 0.
  dlg.OnCommand(IDC_DISPLAY_TEXT);
  EXPECT_EQ(control.Take(), (Calls{"get 60", "put 60 0", "call 84 'Hello' 0"}));
}

TEST_F(PolecheckDlgTest, ScrollingLine1ThenLine2StopsAndClearsLine1First) {
  StartUp();
  dlg.OnCommand(IDC_SCROLL_LINE1);
  control.Take();
  dlg.OnCommand(IDC_SCROLL_LINE2);
  EXPECT_EQ(control.Take(),
            Join({{"get 60"},
                  kStop,
                  {"put 60 2", "call 81", "put 72 5",
                   "call 85 0 0 '<<< Scrolling Text Line 2 >>> ...' 0", "put 72 3"}}));
  EXPECT_EQ(g_ActiveMarquee, 2);

  // And back: line 1 decides from the remembered window.
  dlg.OnCommand(IDC_SCROLL_LINE1);
  EXPECT_EQ(control.Take(), Join({kStop,
                                  {"put 60 1", "call 81", "put 72 5",
                                   "call 85 0 0 'Scrolling Text Line 1 ' 0", "put 72 3"}}));
}

TEST_F(PolecheckDlgTest, BlinkUsesLine1WindowAndTheBlinkAttribute) {
  StartUp();
  dlg.OnCommand(IDC_BLINK);
  EXPECT_EQ(control.Take(), (Calls{"call 81", "put 60 1", "call 81", "put 72 5",
                                   "call 85 1 1 '  !!! Blinking !!! ' 1"}));
  EXPECT_EQ(g_ActiveMarquee, 1);
}

TEST_F(PolecheckDlgTest, DisplayTextAtSendsTypedPositionsZeroBasedWithoutRangeCheck) {
  StartUp();
  view.fields[IDC_TEXT_EDIT] = u"Hi";
  view.fields[IDC_COLUMN] = u"21";
  view.fields[IDC_ROW] = u" 3";
  dlg.OnCommand(IDC_DISPLAY_TEXT_AT);
  EXPECT_EQ(control.Take(), (Calls{"call 85 2 20 'Hi' 0"}));

  // After a line action the marquee is stopped and window 0 selected first; a field that
  // reads as 12ab is 12.
  dlg.OnCommand(IDC_SCROLL_LINE2);
  control.Take();
  view.fields[IDC_COLUMN] = u"12ab";
  dlg.OnCommand(IDC_DISPLAY_TEXT_AT);
  EXPECT_EQ(control.Take(), Join({kStop, {"put 60 0", "call 85 2 11 'Hi' 0"}}));
  EXPECT_EQ(g_ActiveMarquee, 0);
  EXPECT_TRUE(view.messages.empty());
}

TEST_F(PolecheckDlgTest, DisplayTextAtWithABadFieldWarnsAndGoesOnWithWhatWasRead) {
  StartUp();
  view.fields[IDC_TEXT_EDIT] = u"x";
  view.fields[IDC_COLUMN] = u"5";
  view.fields[IDC_ROW] = u"two";
  dlg.OnCommand(IDC_DISPLAY_TEXT_AT);
  EXPECT_EQ(view.messages, (std::vector<std::string>{"Polecheck: Please enter an integer."}));
  EXPECT_NE(std::find(view.events.begin(), view.events.end(), "focus 1011"), view.events.end());
  EXPECT_EQ(control.Take(), (Calls{"call 85 0 4 'x' 0"})) << "column read, row kept at 1";
}

TEST_F(PolecheckDlgTest, CharacterDelayOfThreeZeroAndNotANumber) {
  StartUp();
  view.fields[IDC_DELAY] = u"3";
  dlg.OnCommand(IDC_CHARACTER_DELAY);
  EXPECT_EQ(control.Take(), (Calls{"put 60 1", "put 60 0", "put 72 0", "call 81", "put 69 300"}));
  EXPECT_EQ(view.fields[IDC_DELAY], u"3");
  EXPECT_EQ(dlg.m_Delay, 3);

  view.fields[IDC_DELAY] = u"0";
  dlg.OnCommand(IDC_CHARACTER_DELAY);
  EXPECT_EQ(control.Take().back(), "put 69 0");
  EXPECT_EQ(view.fields[IDC_DELAY], u"0");

  view.fields[IDC_DELAY] = u"2";
  dlg.OnCommand(IDC_CHARACTER_DELAY);
  control.Take();
  view.messages.clear();
  // Not a number: warned at both reads, the previous delay is multiplied and left in the field.
  view.fields[IDC_DELAY] = u"abc";
  dlg.OnCommand(IDC_CHARACTER_DELAY);
  EXPECT_EQ(control.Take().back(), "put 69 200");
  EXPECT_EQ(view.messages, (std::vector<std::string>{"Polecheck: Please enter an integer.",
                                                     "Polecheck: Please enter an integer."}));
  EXPECT_EQ(view.fields[IDC_DELAY], u"200");
}

TEST_F(PolecheckDlgTest, CharacterDelayStopsARunningMarqueeButKeepsItsWindow) {
  StartUp();
  dlg.OnCommand(IDC_SCROLL_LINE1);
  control.Take();
  view.fields[IDC_DELAY] = u"1";
  dlg.OnCommand(IDC_CHARACTER_DELAY);
  EXPECT_EQ(control.Take(),
            Join({kStop, {"put 60 1", "put 60 0", "put 72 0", "call 81", "put 69 100"}}));
  EXPECT_EQ(g_ActiveMarquee, 1);
}

TEST_F(PolecheckDlgTest, HugeDelayDoesNotOverflow) {
  StartUp();
  view.fields[IDC_DELAY] = u"99999999";
  dlg.OnCommand(IDC_CHARACTER_DELAY);
  EXPECT_EQ(control.Take().back(), "put 69 2147483647");
  EXPECT_EQ(view.fields[IDC_DELAY], u"99999999");
}

TEST_F(PolecheckDlgTest, EuroAndPoundAppendOneSignEachAndSendNothing) {
  StartUp();
  dlg.OnCommand(IDC_EURO);
  EXPECT_EQ(view.fields[IDC_TEXT_EDIT], u"\u20AC");
  dlg.OnCommand(IDC_EURO);
  dlg.OnCommand(IDC_POUND);
  EXPECT_EQ(view.fields[IDC_TEXT_EDIT], u"\u20AC\u20AC\u00A3");
  EXPECT_TRUE(control.calls.empty());
  EXPECT_TRUE(view.disabled.empty());
  EXPECT_EQ(g_ActiveMarquee, 0);
}

TEST_F(PolecheckDlgTest, TextLongerThanTheInitialBufferIsNeitherCutNorOverrun) {
  StartUp();
  const std::u16string longText(5000, u'a');
  view.fields[IDC_TEXT_EDIT] = longText;
  dlg.OnCommand(IDC_POUND);
  EXPECT_EQ(view.fields[IDC_TEXT_EDIT], longText + u"\u00A3");
  dlg.OnCommand(IDC_DISPLAY_TEXT);
  ASSERT_FALSE(control.texts.empty());
  EXPECT_EQ(control.texts.back(), longText + u"\u00A3");
}

TEST_F(PolecheckDlgTest, ClearTextStopsBothLinesAndResetsTheWait) {
  StartUp();
  dlg.OnCommand(IDC_SCROLL_LINE2);
  control.Take();
  dlg.OnCommand(IDC_CLEAR_TEXT);
  EXPECT_EQ(control.Take(), (Calls{"put 60 1", "put 72 5", "put 72 0", "put 60 2", "put 72 5",
                                   "put 72 0", "put 60 0", "put 72 0", "put 69 0", "call 81"}));
  EXPECT_EQ(g_ActiveMarquee, 2);
}

TEST_F(PolecheckDlgTest, ExitDestroysBothWindowsClearsClosesAndEnds) {
  StartUp();
  dlg.OnCommand(IDCANCEL);
  EXPECT_EQ(control.Take(), (Calls{"put 60 2", "call 83", "put 60 1", "call 83", "put 72 5",
                                   "put 72 0", "call 81", "call 35"}));
  EXPECT_EQ(view.ended, (std::vector<int>{IDCANCEL}));
}

TEST_F(PolecheckDlgTest, ExitStillEndsWhenTheControlObjectFails) {
  StartUp();
  control.failWith[83] = E_FAIL;
  dlg.OnCommand(IDCANCEL);
  EXPECT_EQ(view.messages.size(), 1u);
  EXPECT_EQ(view.ended, (std::vector<int>{IDCANCEL}));
}

TEST_F(PolecheckDlgTest, DispatchFailureAbortsTheHandlerAndLeavesItsButtonsDisabled) {
  StartUp();
  control.failWith[84] = E_FAIL;
  view.fields[IDC_TEXT_EDIT] = u"x";
  EXPECT_TRUE(dlg.OnCommand(IDC_DISPLAY_TEXT));
  EXPECT_EQ(view.messages.size(), 1u);
  EXPECT_EQ(view.disabled, (std::set<int>{1001, 1002, 1003, 1004}));
  EXPECT_EQ(dlg.DispatchFailures(), 1);
  EXPECT_TRUE(view.ended.empty());
}

TEST_F(PolecheckDlgTest, OkReadsTheFieldsAndEndsWithoutTheExitSequence) {
  StartUp();
  view.fields[IDC_COLUMN] = u"x";
  dlg.OnCommand(IDOK);
  EXPECT_TRUE(view.ended.empty()) << "a bad field keeps the dialog open";
  view.fields[IDC_COLUMN] = u"4";
  dlg.OnCommand(IDOK);
  EXPECT_EQ(view.ended, (std::vector<int>{IDOK}));
  EXPECT_TRUE(control.calls.empty());
  EXPECT_FALSE(dlg.OnCommand(4242));
}

TEST(FieldExchange, ParsesLikeTheDialogsIntegerFields) {
  int32_t v = 7;
  EXPECT_TRUE(ParseFieldInteger(u"12ab", v));
  EXPECT_EQ(v, 12);
  EXPECT_TRUE(ParseFieldInteger(u" \t-5", v));
  EXPECT_EQ(v, -5);
  EXPECT_TRUE(ParseFieldInteger(u"+0", v));
  EXPECT_EQ(v, 0);
  EXPECT_TRUE(ParseFieldInteger(u"99999999999999", v));
  EXPECT_EQ(v, INT32_MAX);
  EXPECT_TRUE(ParseFieldInteger(u"-99999999999999", v));
  EXPECT_EQ(v, INT32_MIN);
  v = 7;
  for (const char16_t* bad : {u"", u"   ", u"-", u"+ 1", u"a1", u"\uFF11"}) {
    EXPECT_FALSE(ParseFieldInteger(bad, v)) << ::testing::PrintToString(std::u16string(bad));
    EXPECT_EQ(v, 7);
  }
  // Only the first 63 characters are read.
  EXPECT_FALSE(ParseFieldInteger(std::u16string(63, u' ') + u"5", v));
  EXPECT_TRUE(ParseFieldInteger(std::u16string(62, u' ') + u"5", v));
  EXPECT_EQ(v, 5);
}

TEST_F(PolecheckDlgTest, FailedReadLeavesThatMemberAndTheLaterOnes) {
  view.fields[IDC_COLUMN] = u"4";
  view.fields[IDC_ROW] = u"?";
  view.fields[IDC_DELAY] = u"9";
  EXPECT_FALSE(dlg.UpdateData(true));
  EXPECT_EQ(dlg.m_Column, 4);
  EXPECT_EQ(dlg.m_Row, 1);
  EXPECT_EQ(dlg.m_Delay, 1);
  EXPECT_EQ(view.events, (std::vector<std::string>{"focus 1011"}));
}

}  // namespace
}  // namespace polecheck
