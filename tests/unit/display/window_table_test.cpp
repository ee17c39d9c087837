// Window table: creating windows with the one-based cursor, destroying back to the device
// window's copies, selecting by RefreshWindow, and the table's bounds.
#include "tests/unit/display/display_fixture.h"

namespace kirnow::testing {
namespace {

using Windows = DisplayTest;

TEST_F(Windows, CreatedWindowsCountTheirCursorFromOneAndMoveTheDisplayCursor) {
  so->CreateWindow(0, 0, 1, 20, 1, 20);
  EXPECT_EQ(so->CurrentWindow, 1);
  const WindowRecord& w1 = module->list[1];
  EXPECT_EQ(w1.WindowHeight, 1);
  EXPECT_EQ(w1.WindowWidth, 20);
  EXPECT_EQ(w1.ViewportRow, 0);
  EXPECT_EQ(w1.CursorRow, 1);
  EXPECT_EQ(w1.CursorColumn, 1);
  EXPECT_EQ(w1.DeviceRows, 2);
  EXPECT_EQ(w1.DeviceColumns, 20);
  EXPECT_EQ(fp.serial.Written(), B({0x1F, 0x24, 0x01, 0x01}));

  fp.serial.ClearWritten();
  so->CreateWindow(1, 3, 1, 20, 1, 17);
  EXPECT_EQ(so->CurrentWindow, 2);
  EXPECT_EQ(module->list[2].CursorRow, 2);
  EXPECT_EQ(module->list[2].CursorColumn, 4);
  EXPECT_EQ(module->list[2].WindowWidth, 17);
  EXPECT_EQ(fp.serial.Written(), B({0x1F, 0x24, 0x04, 0x02}));
  // The object's copies still describe window 0 until a window is selected.
  EXPECT_EQ(so->CurrentColumns, 20);
  EXPECT_EQ(so->CurrentCursorRow, 0);
}

TEST_F(Windows, DestroyLoadsTheDeviceWindowsCopiesAndStopsAtZero) {
  so->CreateWindow(0, 0, 1, 20, 1, 20);
  so->CreateWindow(1, 0, 1, 20, 1, 20);
  Select(2);
  SetMarquee(DISP_MT_INIT);
  SetUnitWait(70);
  fp.serial.ClearWritten();

  so->DestroyWindow();
  EXPECT_EQ(so->CurrentWindow, 1);
  EXPECT_EQ(so->CurrentRows, 2);
  EXPECT_EQ(so->CurrentColumns, 20);
  EXPECT_EQ(so->CurrentCursorRow, 0);
  EXPECT_EQ(so->CurrentCursorColumn, 0);
  EXPECT_EQ(so->MarqueeType, 0);
  EXPECT_EQ(so->MarqueeUnitWait, 0);
  EXPECT_TRUE(fp.serial.Written().empty());

  so->DestroyWindow();
  so->DestroyWindow();
  EXPECT_EQ(so->CurrentWindow, 0);

  // The destroyed record is reused with its marquee settings.
  so->CreateWindow(0, 0, 1, 20, 1, 20);
  so->CreateWindow(1, 0, 1, 20, 1, 20);
  EXPECT_EQ(module->list[2].MarqueeType, DISP_MT_INIT);
  EXPECT_EQ(module->list[2].MarqueeUnitWait, 70);
}

TEST_F(Windows, RefreshSelectsWithoutSendingAndKeepsTheMarqueeCopy) {
  CreateLineWindows();
  so->MarqueeType = DISP_MT_INIT;
  so->RefreshWindow(2);
  EXPECT_EQ(so->CurrentWindow, 2);
  EXPECT_EQ(so->CurrentCursorRow, 2);
  EXPECT_EQ(so->CurrentCursorColumn, 1);
  EXPECT_EQ(so->CurrentRows, 1);
  EXPECT_EQ(so->MarqueeType, DISP_MT_INIT);
  EXPECT_TRUE(fp.serial.Written().empty());
}

TEST_F(Windows, NothingReachesBeyondTheTable) {
  for (int i = 0; i < 9; ++i) so->CreateWindow(0, i, 1, 20, 1, 20);
  ASSERT_EQ(so->CurrentWindow, 9);
  fp.serial.ClearWritten();
  so->CreateWindow(1, 1, 1, 20, 1, 20);
  EXPECT_EQ(so->CurrentWindow, 9);
  EXPECT_EQ(module->list[9].ViewportColumn, 8);
  EXPECT_TRUE(fp.serial.Written().empty());

  so->RefreshWindow(10);
  EXPECT_EQ(so->CurrentWindow, 9);
  so->RefreshWindow(-1);
  EXPECT_EQ(so->CurrentWindow, 9);
  EXPECT_TRUE(fp.serial.Written().empty());
}

}  // namespace
}  // namespace kirnow::testing
