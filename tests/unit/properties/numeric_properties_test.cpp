// Numeric properties: where each value is kept, what a write sends, and the "set error" path.
#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <memory>
#include <utility>
#include <vector>

#include "opos/opos_constants.h"
#include "serviceobject/core/library_name.h"
#include "serviceobject/core/posl_display.h"
#include "tests/fakes/fake_platform.h"

namespace kirnow {
namespace {

using Bytes = std::vector<uint8_t>;
using fakes::FakePlatform;
using fakes::MakeModule;

constexpr int32_t kUntouched = -7777;
constexpr int32_t kPort = 3;

// Every index GetPropertyNumber answers.
std::vector<int32_t> AnsweredIndexes() {
  std::vector<int32_t> indexes = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 501};
  for (int32_t i = 5001; i <= 5021; ++i) indexes.push_back(i);
  for (int32_t i = 5501; i <= 5512; ++i) indexes.push_back(i);
  return indexes;
}

class NumericPropertiesTest : public ::testing::Test {
 protected:
  // Opens the service object (no display is registered, so it comes up offline), then opens
  // the port directly so that the commands of property writes can be seen.
  void SetUp() override {
    so.OpenService(u"LineDisplay", u"JQ POS POLE DISPLAY", nullptr);
    fp.serial.AddPort(kPort);
    ASSERT_TRUE(module->Port.Open(kPort, 9600));
    fp.serial.ClearWritten();
    fp.box.shown.clear();
  }

  int32_t Get(int32_t index) {
    int32_t value = kUntouched;
    so.GetPropertyNumber(index, &value);
    return value;
  }

  std::map<int32_t, int32_t> Snapshot() {
    std::map<int32_t, int32_t> values;
    for (const int32_t index : AnsweredIndexes()) values[index] = Get(index);
    return values;
  }

  FakePlatform fp;
  std::unique_ptr<ModuleState> module = MakeModule(fp);
  POSLDisplay so{*module};
};

TEST_F(NumericPropertiesTest, BooleanPropertiesKeepLow16BitsAndReadSignExtended) {
  for (const int32_t index : {PIDX_DataEventEnabled, PIDX_DeviceEnabled, PIDX_FreezeEvents,
                              PIDX_AutoDisable, PIDXDisp_CursorUpdate}) {
    SCOPED_TRACE(index);
    so.SetPropertyNumber(index, 0x00018000);
    EXPECT_EQ(Get(index), -32768);
    so.SetPropertyNumber(index, 0x00010001);
    EXPECT_EQ(Get(index), 1);
    so.SetPropertyNumber(index, -1);
    EXPECT_EQ(Get(index), -1);
  }
  // Ordinary fields keep the whole value.
  so.SetPropertyNumber(PIDX_BinaryConversion, 0x00018000);
  EXPECT_EQ(Get(PIDX_BinaryConversion), 0x00018000);
  EXPECT_TRUE(fp.box.shown.empty());
}

TEST_F(NumericPropertiesTest, BrightnessSendsItsLowByteAndKeepsTheWholeValue) {
  so.SetPropertyNumber(PIDXDisp_DeviceBrightness, 2);
  EXPECT_EQ(fp.serial.Written(), (Bytes{0x1F, 0x58, 0x02}));
  fp.serial.ClearWritten();
  so.SetPropertyNumber(PIDXDisp_DeviceBrightness, 258);
  EXPECT_EQ(fp.serial.Written(), (Bytes{0x1F, 0x58, 0x02}));
  EXPECT_EQ(Get(PIDXDisp_DeviceBrightness), 258);
}

TEST_F(NumericPropertiesTest, CursorMoveSendsColumnThenRowOneBased) {
  so.SetPropertyNumber(PIDXDisp_CursorColumn, 4);
  EXPECT_EQ(fp.serial.Written(), (Bytes{0x1F, 0x24, 0x05, 0x01}));
  fp.serial.ClearWritten();

  so.SetPropertyNumber(PIDXDisp_CursorRow, 1);
  EXPECT_EQ(fp.serial.Written(), (Bytes{0x1F, 0x24, 0x05, 0x02}));
  EXPECT_EQ(so.CurrentCursorRow, 1);
  EXPECT_EQ(so.CurrentCursorColumn, 4);
  EXPECT_EQ(module->list[0].CursorRow, 1);
  EXPECT_EQ(module->list[0].CursorColumn, 4);

  // Any stored value is sent as its low byte plus one, without overflow.
  fp.serial.ClearWritten();
  so.SetPropertyNumber(PIDXDisp_CursorColumn, INT32_MAX);
  EXPECT_EQ(fp.serial.Written(), (Bytes{0x1F, 0x24, 0x00, 0x02}));
  EXPECT_EQ(Get(PIDXDisp_CursorColumn), INT32_MAX);
}

TEST_F(NumericPropertiesTest, CommandsWithThePortClosedStillStore) {
  module->Port.Close();
  so.SetPropertyNumber(PIDXDisp_DeviceBrightness, 7);
  so.SetPropertyNumber(PIDXDisp_CursorRow, 1);
  EXPECT_TRUE(fp.serial.Written().empty());
  EXPECT_EQ(Get(PIDXDisp_DeviceBrightness), 7);
  EXPECT_EQ(Get(PIDXDisp_CursorRow), 1);
}

TEST_F(NumericPropertiesTest, WindowGeometryAndCursorReadFromTheRecord) {
  WindowRecord& w1 = module->list[1];
  w1.WindowWidth = 40;
  w1.WindowHeight = 3;
  w1.CursorRow = 2;
  w1.CursorColumn = 1;
  so.SetPropertyNumber(PIDXDisp_CurrentWindow, 1);

  // The object's copies are stale on purpose: reads must come from the record.
  so.CurrentCursorRow = 9;
  so.CurrentCursorColumn = 9;
  EXPECT_EQ(Get(PIDXDisp_CursorRow), 2);
  EXPECT_EQ(Get(PIDXDisp_CursorColumn), 1);

  EXPECT_EQ(Get(PIDXDisp_Columns), 20);
  EXPECT_EQ(w1.WindowWidth, 20);
  EXPECT_EQ(Get(PIDXDisp_Columns), 20);
  EXPECT_EQ(Get(PIDXDisp_Rows), 3);
  EXPECT_EQ(w1.WindowHeight, 3);
}

TEST_F(NumericPropertiesTest, SelectingAWindowReloadsItsCopiesButNotCursorType) {
  WindowRecord& w2 = module->list[2];
  w2.WindowHeight = 1;
  w2.WindowWidth = 20;
  w2.CursorRow = 2;
  w2.CursorColumn = 1;
  w2.DeviceRows = 2;
  w2.DeviceColumns = 20;
  w2.BlinkRate = 8;
  w2.CursorUpdate = -1;
  w2.InterCharacterWait = 11;
  w2.MarqueeFormat = 1;
  w2.MarqueeRepeatWait = 12;
  w2.MarqueeType = 4;
  w2.MarqueeUnitWait = 13;
  w2.CursorType = 3;
  so.SetPropertyNumber(PIDXDisp_CursorType, 6);
  fp.serial.ClearWritten();

  so.SetPropertyNumber(PIDXDisp_CurrentWindow, 2);
  EXPECT_EQ(Get(PIDXDisp_CurrentWindow), 2);
  EXPECT_EQ(so.CurrentRows, 1);
  EXPECT_EQ(so.CurrentColumns, 20);
  EXPECT_EQ(so.CurrentCursorRow, 2);
  EXPECT_EQ(so.CurrentCursorColumn, 1);
  EXPECT_EQ(Get(PIDXDisp_DeviceRows), 2);
  EXPECT_EQ(Get(PIDXDisp_DeviceColumns), 20);
  EXPECT_EQ(Get(PIDXDisp_BlinkRate), 8);
  EXPECT_EQ(Get(PIDXDisp_CursorUpdate), -1);
  EXPECT_EQ(Get(PIDXDisp_InterCharacterWait), 11);
  EXPECT_EQ(Get(PIDXDisp_MarqueeFormat), 1);
  EXPECT_EQ(Get(PIDXDisp_MarqueeRepeatWait), 12);
  EXPECT_EQ(Get(PIDXDisp_MarqueeType), 4);
  EXPECT_EQ(Get(PIDXDisp_MarqueeUnitWait), 13);
  EXPECT_EQ(Get(PIDXDisp_CursorType), 6);
  EXPECT_TRUE(fp.serial.Written().empty());
}

TEST_F(NumericPropertiesTest, CursorUpdateIsObjectOnlySoSelectingRestoresTheWindowValue) {
  so.SetPropertyNumber(PIDXDisp_CursorUpdate, 0);
  EXPECT_EQ(Get(PIDXDisp_CursorUpdate), 0);
  so.SetPropertyNumber(PIDXDisp_CurrentWindow, 0);
  EXPECT_EQ(Get(PIDXDisp_CursorUpdate), 1);
}

TEST_F(NumericPropertiesTest, WindowOutsideTheTableIsIgnored) {
  so.SetPropertyNumber(PIDXDisp_CurrentWindow, 1);
  so.SetPropertyNumber(PIDXDisp_MarqueeUnitWait, 50);
  const auto before = Snapshot();
  fp.serial.ClearWritten();

  for (const int32_t index : {10, -1, 1000, INT32_MIN, INT32_MAX}) {
    so.SetPropertyNumber(PIDXDisp_CurrentWindow, index);
    EXPECT_EQ(Snapshot(), before) << index;
  }
  // Later writes still land in window 1, not in a record picked by the rejected index.
  so.SetPropertyNumber(PIDXDisp_MarqueeUnitWait, 60);
  EXPECT_EQ(module->list[1].MarqueeUnitWait, 60);
  EXPECT_EQ(module->list[0].MarqueeUnitWait, 0);
  EXPECT_TRUE(fp.serial.Written().empty());
  EXPECT_TRUE(fp.box.shown.empty());
}

TEST_F(NumericPropertiesTest, WindowSettingsGoToObjectAndCurrentRecord) {
  so.SetPropertyNumber(PIDXDisp_CurrentWindow, 1);
  const std::pair<int32_t, std::atomic<int32_t> WindowRecord::*> stores[] = {
      {PIDXDisp_InterCharacterWait, &WindowRecord::InterCharacterWait},
      {PIDXDisp_MarqueeRepeatWait, &WindowRecord::MarqueeRepeatWait},
      {PIDXDisp_MarqueeUnitWait, &WindowRecord::MarqueeUnitWait},
      {PIDXDisp_MarqueeFormat, &WindowRecord::MarqueeFormat},
      {PIDXDisp_BlinkRate, &WindowRecord::BlinkRate},
      {PIDXDisp_CursorType, &WindowRecord::CursorType},
      {PIDXDisp_MarqueeType, &WindowRecord::MarqueeType},  // 4: stored, no worker started
  };
  for (const auto& [index, field] : stores) {
    SCOPED_TRACE(index);
    so.SetPropertyNumber(index, 4);
    EXPECT_EQ(Get(index), 4);
    EXPECT_EQ(module->list[1].*field, 4);
    EXPECT_EQ(module->list[0].*field, 0);
  }
  EXPECT_TRUE(fp.serial.Written().empty());
  EXPECT_TRUE(fp.box.shown.empty());
}

TEST_F(NumericPropertiesTest, ReadOnlyAndUnknownIndexesShowSetErrorAndStoreNothing) {
  so.ResultCode = OPOS_E_OFFLINE;
  const auto before = Snapshot();
  const std::vector<int32_t> refused = {
      PIDX_Claimed, PIDX_OutputID, PIDX_ResultCode, PIDX_ResultCodeExtended,
      PIDX_ServiceObjectVersion, PIDX_State, PIDX_DataCount, PIDX_PowerState,
      PIDX_CapPowerReporting, PIDXDisp_Columns, PIDXDisp_DeviceColumns, PIDXDisp_DeviceDescriptors,
      PIDXDisp_DeviceRows, PIDXDisp_DeviceWindows, PIDXDisp_Rows, PIDXDisp_GlyphHeight,
      PIDXDisp_GlyphWidth,
      // unknown
      0, 15, 999, 5000, 5022, 5513, PIDX_DeviceName, -1};
  std::vector<int32_t> all = refused;
  for (int32_t i = PIDXDisp_CapBlink; i <= PIDXDisp_CapReverse; ++i) all.push_back(i);

  for (const int32_t index : all) {
    fp.box.shown.clear();
    so.SetPropertyNumber(index, 12345);
    ASSERT_EQ(fp.box.shown.size(), 1u) << index;
    EXPECT_EQ(fp.box.shown[0].first, "set error");
    EXPECT_EQ(fp.box.shown[0].second, LibraryBaseName());
  }
  EXPECT_EQ(Snapshot(), before);
  EXPECT_EQ(module->list[0].WindowWidth, 20);
  EXPECT_EQ(module->list[0].WindowHeight, 2);
  EXPECT_TRUE(fp.serial.Written().empty());
}

TEST_F(NumericPropertiesTest, UnknownIndexLeavesTheCallersVariable) {
  for (const int32_t index : {0, 15, 999, 5000, 5022, PIDX_DeviceName, -1}) {
    EXPECT_EQ(Get(index), kUntouched) << index;
  }
  so.GetPropertyNumber(PIDX_State, nullptr);  // tolerated, nothing to write to
}

TEST(LibraryBaseNameTest, IsAPlainFileNameWithoutExtension) {
  const std::string& name = LibraryBaseName();
  EXPECT_FALSE(name.empty());
  EXPECT_EQ(name.find_first_of("/\\"), std::string::npos);
  EXPECT_EQ(name.find(".so"), std::string::npos);
  EXPECT_EQ(&name, &LibraryBaseName());
}

}  // namespace
}  // namespace kirnow
