// The wrapper's calls on the control object: DISPIDs, invoke kinds, argument order and types,
// and what a rejected call turns into.
#include "testutility/core/linedisplay1.h"

#include <gtest/gtest.h>

#include "tests/unit/testutility/recording_control.h"

namespace polecheck {
namespace {

using testing::RecordingControl;
using Calls = std::vector<std::string>;

TEST(Linedisplay1, PassesArgumentsInOrderWithTheirTypesAndKinds) {
  RecordingControl control;
  {
    CLinedisplay1 display(&control);
    EXPECT_EQ(control.refs, 1u);
    display.Open(u"JQ POS POLE DISPLAY");
    display.ClaimDevice(1000);
    display.SetDeviceEnabled(true);
    display.SetDeviceEnabled(false);
    display.CreateWindow(1, 0, 1, 20, 1, 20);
    display.DisplayTextAt(3, 4, u"\u20ACx", 1);
    display.DisplayText(u"", 0);
    display.SetInterCharacterWait(300);
    display.SetMarqueeType(5);
    display.SetMarqueeUnitWait(50);
    display.GetClaimed();
    display.DestroyWindow();
    display.Close();
  }
  EXPECT_EQ(control.refs, 0u) << "the wrapper keeps exactly one reference";
  EXPECT_EQ(control.calls,
            (Calls{"call 37 'JQ POS POLE DISPLAY'", "call 32 1000", "put 17 TRUE", "put 17 FALSE",
                   "call 82 1 0 1 20 1 20", "call 85 3 4 '?x' 1", "call 84 '' 0", "put 69 300",
                   "put 72 5", "put 73 50", "get 39", "call 83", "call 35"}));
  EXPECT_TRUE(control.namedPutArgSeen) << "a property put passes its value as the named argument";
  ASSERT_EQ(control.texts.size(), 3u);
  EXPECT_EQ(control.texts[1], u"\u20ACx");
  EXPECT_EQ(control.texts[2], u"");
}

TEST(Linedisplay1, ReturnsValuesOfGets) {
  RecordingControl control;
  CLinedisplay1 display(&control);
  control.resultCodeAfter[37] = 108;
  display.Open(u"X");
  EXPECT_EQ(display.GetResultCode(), 108);
  display.SetCurrentWindow(2);
  EXPECT_EQ(display.GetCurrentWindow(), 2);
  control.deviceName = u"JQ POS \u00C4";
  EXPECT_EQ(display.GetDeviceName(), u"JQ POS \u00C4");
  EXPECT_TRUE(display.GetClaimed());
}

TEST(Linedisplay1, RejectedCallThrowsWithTheHresultOrTheControlsDescription) {
  RecordingControl control;
  CLinedisplay1 display(&control);
  control.failWith[81] = static_cast<HRESULT>(0x80020003);
  try {
    display.ClearText();
    FAIL() << "no exception";
  } catch (const DispatchError& e) {
    EXPECT_EQ(static_cast<uint32_t>(e.Code()), 0x80020003u);
    EXPECT_EQ(e.Description(), "");
    EXPECT_NE(e.UserText().find("80020003"), std::string::npos);
  }
  control.failDescription = "Device gone";
  control.failWith[60] = E_FAIL;
  try {
    display.SetCurrentWindow(1);
    FAIL() << "no exception";
  } catch (const DispatchError& e) {
    EXPECT_EQ(e.Code(), E_FAIL);
    EXPECT_EQ(e.UserText(), "Device gone");
  }
}

TEST(Linedisplay1, CallWithoutAControlObjectThrows) {
  CLinedisplay1 display;
  EXPECT_THROW(display.ClearText(), DispatchError);
}

}  // namespace
}  // namespace polecheck
