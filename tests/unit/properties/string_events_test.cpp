// String properties, the event methods, health check and direct I/O, and their trace records.
#include <gtest/gtest.h>

#include <cctype>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <memory>
#include <regex>
#include <sstream>
#include <string>

#include "opos/opos_constants.h"
#include "serviceobject/core/posl_display.h"
#include "tests/fakes/fake_platform.h"

namespace kirnow {
namespace {

using fakes::FakePlatform;
using fakes::MakeModule;

bool IsHex4(std::u16string_view text, bool upperOnly) {
  if (text.size() != 4) return false;
  for (const char16_t c : text) {
    const bool digit = c >= u'0' && c <= u'9';
    const bool upper = c >= u'A' && c <= u'F';
    const bool lower = c >= u'a' && c <= u'f';
    if (!digit && !upper && !(lower && !upperOnly)) return false;
  }
  return true;
}

// A service object that was never opened: fields as created, port closed.
class NeverOpenedTest : public ::testing::Test {
 protected:
  FakePlatform fp;
  std::unique_ptr<ModuleState> module = MakeModule(fp);
  POSLDisplay so{*module};
};

using StringPropertiesTest = NeverOpenedTest;
using EventsTest = NeverOpenedTest;

TEST_F(StringPropertiesTest, FixedTexts) {
  EXPECT_EQ(so.GetPropertyString(PIDX_DeviceName, nullptr), u"JQ POS Pole Display");

  const auto description = so.GetPropertyString(PIDX_DeviceDescription, nullptr);
  ASSERT_TRUE(description);
  EXPECT_EQ(description->substr(0, 4), u"PID_");
  EXPECT_TRUE(IsHex4(description->substr(4), false)) << description->size();

  const auto soDescription = so.GetPropertyString(PIDX_ServiceObjectDescription, nullptr);
  ASSERT_TRUE(soDescription);
  EXPECT_EQ(soDescription->substr(0, 4), u"VID_");
  EXPECT_TRUE(IsHex4(soDescription->substr(4), true));

  const auto sets = so.GetPropertyString(PIDXDisp_CharacterSetList, nullptr);
  ASSERT_TRUE(sets);
  EXPECT_EQ(*sets, u"437,850,852,858,860,863,865,866,932,998,1252,254,255");
}

TEST_F(StringPropertiesTest, EachReadIsAnIndependentCopy) {
  auto first = so.GetPropertyString(PIDX_DeviceName, nullptr);
  auto second = so.GetPropertyString(PIDX_DeviceName, nullptr);
  ASSERT_TRUE(first && second);
  EXPECT_NE(first->data(), second->data());
  (*first)[0] = u'X';
  EXPECT_EQ(*second, u"JQ POS Pole Display");
  EXPECT_EQ(so.GetPropertyString(PIDX_DeviceName, nullptr), u"JQ POS Pole Display");

  so.CheckHealthText = u"Internal HCheck: Successful";
  auto text = so.GetPropertyString(PIDX_CheckHealthText, nullptr);
  ASSERT_TRUE(text);
  text->clear();
  EXPECT_EQ(so.CheckHealthText, u"Internal HCheck: Successful");
}

TEST_F(StringPropertiesTest, HeldStringsAreEmptyAndWritesChangeNothing) {
  EXPECT_EQ(so.GetPropertyString(PIDX_CheckHealthText, nullptr), u"");
  EXPECT_EQ(so.GetPropertyString(PIDXDisp_CustomGlyphList, nullptr), u"");
  for (const int32_t index : {PIDX_CheckHealthText, PIDXDisp_CustomGlyphList, PIDX_DeviceName,
                              PIDXDisp_CharacterSetList, 12345}) {
    so.SetPropertyString(index, u"changed");
  }
  EXPECT_EQ(so.GetPropertyString(PIDX_CheckHealthText, nullptr), u"");
  EXPECT_EQ(so.GetPropertyString(PIDXDisp_CustomGlyphList, nullptr), u"");
  EXPECT_EQ(so.GetPropertyString(PIDX_DeviceName, nullptr), u"JQ POS Pole Display");
  EXPECT_TRUE(fp.box.shown.empty());
}

TEST_F(StringPropertiesTest, UnknownIndexIsNotAnswered) {
  const std::u16string callers = u"caller's text";
  for (const int32_t index : {PIDX_STRING, PIDX_STRING + 5, PIDX_STRING + 5003, 3, 0, -1}) {
    EXPECT_FALSE(so.GetPropertyString(index, &callers)) << index;
  }
  EXPECT_EQ(callers, u"caller's text");
}

TEST_F(EventsTest, EventMethodsChangeNothing) {
  so.ResultCode = OPOS_E_OFFLINE;
  so.ResultCodeExtended = 7;
  so.OutputID = 3;
  int32_t response = 12;
  so.SOError(OPOS_E_ILLEGAL, 99, 2, &response);
  EXPECT_EQ(response, 12);

  EXPECT_EQ(so.COFreezeEvents(true), OPOS_SUCCESS);
  so.SOData(5);
  so.SOOutputComplete(42);
  so.SOStatusUpdate(2001);
  int32_t data = 77;
  std::u16string text = u"abc";
  so.SODirectIO(1, &data, &text);
  EXPECT_EQ(data, 77);
  EXPECT_EQ(text, u"abc");

  int32_t value = 0;
  so.GetPropertyNumber(PIDX_ResultCode, &value);
  EXPECT_EQ(value, OPOS_E_OFFLINE);
  so.GetPropertyNumber(PIDX_ResultCodeExtended, &value);
  EXPECT_EQ(value, 7);
  so.GetPropertyNumber(PIDX_OutputID, &value);
  EXPECT_EQ(value, 3);
  so.GetPropertyNumber(PIDX_FreezeEvents, &value);
  EXPECT_EQ(value, 0);
  EXPECT_TRUE(fp.box.shown.empty());
}

TEST_F(EventsTest, HealthCheckAndDirectIOSendNothingAndKeepTheirArguments) {
  so.CheckHealthText = u"last";
  so.ResultCode = OPOS_E_OFFLINE;
  auto exercise = [&] {
    for (const int32_t level : {1, 2, 3, 0, -5}) EXPECT_EQ(so.CheckHealth(level), OPOS_SUCCESS);
    int32_t data = -3;
    std::u16string text = u"\u20ac 1";
    EXPECT_EQ(so.DirectIO(17, &data, &text), OPOS_SUCCESS);
    EXPECT_EQ(data, -3);
    EXPECT_EQ(text, u"\u20ac 1");
    EXPECT_EQ(so.DirectIO(0, nullptr, nullptr), OPOS_SUCCESS);
  };
  exercise();  // port never opened
  fp.serial.AddPort(4);
  ASSERT_TRUE(module->Port.Open(4, 9600));
  exercise();  // and with the port open
  EXPECT_TRUE(fp.serial.Written().empty());
  EXPECT_TRUE(fp.box.shown.empty());
  EXPECT_EQ(so.GetPropertyString(PIDX_CheckHealthText, nullptr), u"last");
  EXPECT_EQ(so.ResultCode, OPOS_E_OFFLINE);
}

// With the trace switch on, the records show the arguments as they were on entry.
TEST(PropertyTraceTest, RecordsShowArgumentsOnEntry) {
  const auto previous = std::filesystem::current_path();
  const auto dir =
      std::filesystem::temp_directory_path() /
      ("kirnow-props-trace-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()));
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  std::filesystem::current_path(dir);
  std::string log;
  {
    FakePlatform fp;
    auto module = MakeModule(fp, true);
    POSLDisplay so{*module};
    so.BlinkRate = 5;
    int32_t number = 41;
    so.GetPropertyNumber(PIDXDisp_BlinkRate, &number);
    EXPECT_EQ(number, 5);
    so.SetPropertyNumber(PIDXDisp_BlinkRate, 3);
    const std::u16string callers = u"old";
    so.GetPropertyString(PIDX_DeviceName, &callers);
    so.SetPropertyString(PIDX_CheckHealthText, u"new");
    so.COFreezeEvents(true);
    int32_t data = 8;
    std::u16string text = u"io";
    so.SODirectIO(2, &data, &text);
    int32_t response = 9;
    so.SOError(106, 1, 2, &response);
    so.DirectIO(6, &data, &text);
    so.CheckHealth(1);
    std::ifstream in(module->trace.path());
    std::stringstream all;
    all << in.rdbuf();
    log = std::regex_replace(all.str(), std::regex("Time:=[0-9]+"), "Time:=T");
  }
  std::filesystem::current_path(previous);
  std::filesystem::remove_all(dir);

  EXPECT_EQ(log,
            "\nTime:=T\nGetPropertyNumber:PropIndex=5018,*pNumber=41\n"
            "\nTime:=T\nSetPropertyNumber:PropIndex=5018,Number=3\n"
            "\nTime:=T\nGetPropertyString:PropIndex=1000003,*pString=old\n"
            "\nTime:=T\nSetPropertyString:PropIndex=1000001,String=new\n"
            "\nTime:=T\nCOFreezeEvents:\n"
            "\nTime:=T\nSODirectIO:EventNumber=2,*pData=8,*pDtring=io\n"
            "\nTime:=T\nSOError:ResultCode=106,ResultCodeExtended=1,ErrorLocus=2,"
            "*pErrorResponse=9\n"
            "\nTime:=T\nDirectIO:Command=6,*pData=8,*pString=io\n"
            "\nTime:=T\nCheckHealth:Level=1\n");
}

}  // namespace
}  // namespace kirnow
