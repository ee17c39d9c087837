// The serial port's open/close rules, sending and reading, and writers on two threads; and the
// busy-wait across the tick counter's wrap.
#include "serviceobject/port/serial_port.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <future>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "kirnow_config.h"
#include "serviceobject/core/so_state.h"
#include "tests/fakes/fake_platform.h"
#include "tests/fakes/recording_serial_device.h"
#include "tests/fakes/scripted_clock.h"

namespace kirnow {
namespace {

using fakes::RecordingSerialDevice;
using fakes::ScriptedClock;
using Identity = RecordingSerialDevice::IdentityMode;
const std::string kQuery = "\x1D\x49\x02";

// What the device received since it was last cleared, checked as a repaint: after the identity
// queries it starts with the initialise command and holds `shown`. Returns the bytes as text
// for further checks.
std::string ExpectRepaintShowing(const RecordingSerialDevice& device, const std::string& shown) {
  const std::vector<uint8_t> written = device.Written();
  std::string text(written.begin(), written.end());
  while (text.rfind(kQuery, 0) == 0) text.erase(0, kQuery.size());
  EXPECT_EQ(text.substr(0, 2), "\x1B\x40");
  EXPECT_NE(text.find(shown), std::string::npos) << "no '" << shown << "' in the repaint";
  return text;
}

TEST(DelayMs, EndsOnTimeAcrossTheTickWrap) {
  fakes::FakePlatform fp;
  auto module = fakes::MakeModule(fp);
  const uint32_t start = 0xFFFFFFFFu - 99u;  // 100 ms before the counter wraps to 0
  fp.clock.Set(start);
  module->DelayMs(200);
  const uint32_t elapsed = fp.clock.Now() - start;
  EXPECT_GE(elapsed, 200u);
  EXPECT_LT(elapsed, 210u);
}

TEST(SerialPortOpen, KeepsTheFirstPortAndRateAndRefusesAMissingOne) {
  ScriptedClock clock;
  RecordingSerialDevice device(clock);
  device.AddPort(3);
  device.AddPort(4);
  SerialPort port(device, clock);

  EXPECT_FALSE(port.Open(5, 9600));  // no such device
  EXPECT_FALSE(port.Opened());
  port.SendByte(0x41);
  EXPECT_TRUE(device.Written().empty());

  ASSERT_TRUE(port.Open(3, 9600));
  EXPECT_TRUE(port.Open(4, 19200));  // already open: not reopened
  EXPECT_EQ(device.lastOpenedPort, 3);
  EXPECT_EQ(device.lastBaud, 9600);
  EXPECT_EQ(device.openCount, 1);

  EXPECT_TRUE(port.Close());
  EXPECT_FALSE(port.Opened());
  EXPECT_TRUE(port.Close());  // closing a closed port changes nothing
  EXPECT_FALSE(port.Opened());
  EXPECT_EQ(port.SendData(reinterpret_cast<const uint8_t*>("abc"), 3), 0);
  EXPECT_TRUE(device.Written().empty());
}

TEST(SerialPortSend, LengthRulesAndClosedPort) {
  ScriptedClock clock;
  RecordingSerialDevice device(clock);
  device.AddPort(1);
  SerialPort port(device, clock);
  const uint8_t bytes[] = {0x1B, 0x40, 0x41};

  EXPECT_EQ(port.SendData(bytes, 3), 0);  // closed
  ASSERT_TRUE(port.Open(1, 9600));
  EXPECT_EQ(port.SendData(bytes, 0), 0);
  EXPECT_EQ(port.SendData(bytes, -5), 0);
  EXPECT_TRUE(device.Written().empty());
  EXPECT_EQ(port.SendData(bytes, 2), 2);
  port.SendByte(0x41);
  EXPECT_EQ(device.Written(), (std::vector<uint8_t>{0x1B, 0x40, 0x41}));
}

// OpenService's exchange: a reply byte that has not arrived repeats the one before it (the
// first one the carried byte), and a display that answers only the second query is the display.
TEST(SerialPortIdentify, AMissingReplyByteRepeatsTheOneBeforeIt) {
  ScriptedClock clock;
  RecordingSerialDevice device(clock);
  device.AddPort(2);
  SerialPort port(device, clock);
  ASSERT_TRUE(port.OpenToIdentify(2, 9600));
  device.QueueInput({'P', 'I', 'D'});
  uint8_t carry = 'z';
  const port::IdentityReplies cut = port.Identify(carry);
  EXPECT_EQ(std::string(cut.first.begin(), cut.first.end()), "PIDDDDDD");
  EXPECT_EQ(std::string(cut.second.begin(), cut.second.end()), "DDDDDDDD");
  EXPECT_FALSE(cut.display);
  EXPECT_EQ(carry, 'D');

  device.SetIdentity(Identity::SecondOnly, KIRNOW_USB_PID);
  carry = 0;
  EXPECT_TRUE(port.Identify(carry).display);
  const std::vector<uint8_t> asked = device.Written();
  EXPECT_EQ(std::string(asked.begin(), asked.end()), kQuery + kQuery + kQuery + kQuery);
}

// A device that gives up the processor inside every write, so that two senders really do
// overlap even on a busy machine.
class YieldingDevice : public platform::SerialDevice {
 public:
  bool Open(int32_t, int32_t) override { return true; }
  void Close() override {}
  bool IsOpen() const override { return true; }
  WriteResult WriteByte(uint8_t byte) override {
    std::this_thread::yield();
    std::lock_guard<std::mutex> hold(mutex);
    written.push_back(byte);
    return WriteResult::Written;
  }
  bool ReadyToWrite() override { return true; }
  bool Alive() override { return true; }
  int LastError() const override { return 0; }
  int32_t BytesWaiting() override { return 0; }
  int32_t Read(uint8_t*, int32_t) override { return 0; }

  std::mutex mutex;
  std::vector<uint8_t> written;
};

// Two threads share the one staging byte: every byte must go out exactly once, and each
// thread's bytes in the order that thread sent them. An unguarded staging byte fails here only
// now and then in a plain build, and every time under the thread sanitizer.
TEST(SerialPortSend, TwoThreadsSendingBytesNeitherLoseNorSwapThem) {
  YieldingDevice device;
  const auto clock = platform::MakeSystemClock();
  SerialPort port(device, *clock);
  ASSERT_TRUE(port.OpenToIdentify(1, 9600));
  port.Confirm();

  constexpr int kRounds = 100;
  auto sequence = [](uint8_t base) {
    std::vector<uint8_t> bytes;
    for (int r = 0; r < kRounds; ++r) {
      for (int i = 0; i < 128; ++i) bytes.push_back(static_cast<uint8_t>(base + i));
    }
    return bytes;
  };
  const std::vector<uint8_t> low = sequence(0x00);
  const std::vector<uint8_t> high = sequence(0x80);

  std::atomic<int> ready{0};
  auto sender = [&port, &ready](const std::vector<uint8_t>& bytes) {
    return [&port, &ready, &bytes] {
      ready.fetch_add(1);
      while (ready.load() < 2) {
      }
      for (uint8_t b : bytes) {
        port.SendByte(b);
        std::this_thread::yield();
      }
    };
  };
  std::thread a(sender(low));
  std::thread b(sender(high));
  a.join();
  b.join();

  const std::vector<uint8_t>& written = device.written;
  ASSERT_EQ(written.size(), low.size() + high.size());
  std::vector<uint8_t> gotLow;
  std::vector<uint8_t> gotHigh;
  for (uint8_t w : written) (w < 0x80 ? gotLow : gotHigh).push_back(w);
  EXPECT_EQ(gotLow, low);
  EXPECT_EQ(gotHigh, high);
}

// A frame handed over whole is not split by another thread's bytes.
TEST(SerialPortSend, AUnitGoesOutWhole) {
  ScriptedClock clock;
  RecordingSerialDevice device(clock);
  device.AddPort(1);
  SerialPort port(device, clock);
  ASSERT_TRUE(port.Open(1, 9600));

  constexpr int kFrames = 200;
  auto worker = clock.StartThread([&port] {
    for (int f = 0; f < kFrames; ++f) {
      port::Unit frame;
      for (uint8_t b : {0x1F, 0x24, 0x01, 0x01}) frame.SendByte(b);
      port.Send(std::move(frame));
    }
  });
  auto text = clock.StartThread([&port] {
    for (int i = 0; i < kFrames * 4; ++i) port.SendByte(0x41);
  });
  worker.join();
  text.join();

  const std::vector<uint8_t> written = device.Written();
  ASSERT_EQ(written.size(), static_cast<size_t>(kFrames * 8));
  for (size_t i = 0; i < written.size(); ++i) {
    if (written[i] != 0x1F) continue;
    ASSERT_LE(i + 4, written.size());
    EXPECT_EQ(written[i + 1], 0x24);
    EXPECT_EQ(written[i + 2], 0x01);
    EXPECT_EQ(written[i + 3], 0x01);
  }
}

// The keeper thread of an idle port: nothing is written, so only its check finds the display
// gone. It reopens the port once it is back and repaints what the display showed; a display
// that merely stopped reading is left alone.
TEST(SerialPortKeeper, AnIdlePortThatWentAwayComesBackRepainted) {
  ScriptedClock clock;
  RecordingSerialDevice device(clock);
  device.AddPort(3);
  device.SetIdentity(Identity::Answer, KIRNOW_USB_PID);
  SerialPort port(device, clock);
  ASSERT_TRUE(port.Open(3, 9600));
  EXPECT_TRUE(port.Keeping());
  const std::string hello = "hello";
  port.SendData(reinterpret_cast<const uint8_t*>(hello.data()), 5);

  device.SetStalled(true);
  clock.Advance(1500);
  EXPECT_FALSE(port.Dead());
  device.SetStalled(false);

  device.SetUnplugged(true);
  device.ClearWritten();
  clock.Advance(600);
  ASSERT_TRUE(port.Dead());
  EXPECT_EQ(port.DeathError(), 5);
  const int opens = device.openCount;
  clock.Advance(2000);
  EXPECT_TRUE(port.Dead());
  EXPECT_TRUE(device.Written().empty());

  device.SetUnplugged(false);
  clock.Advance(600);
  EXPECT_FALSE(port.Dead());
  EXPECT_EQ(device.openCount, opens + 1);
  ExpectRepaintShowing(device, "hello" + std::string(15, ' '));

  // Out and in again between two checks: the old handle is dead all the same, and the round
  // that finds it so reopens the port at once.
  device.SetUnplugged(true);
  device.SetUnplugged(false);
  clock.Advance(550);
  EXPECT_FALSE(port.Dead());
  EXPECT_EQ(device.openCount, opens + 2);

  // A reopen whose lookup takes 3 s (a store's lock held, an enumeration) holds a writer for
  // that lookup only; and another device at the number (here answering as another product) gets
  // nothing but the identity query until the display is back there.
  device.SetOpenDelay(3000);
  device.SetIdentity(3, Identity::WrongId, KIRNOW_USB_PID);
  device.SetUnplugged(true);
  clock.Advance(600);
  device.SetUnplugged(false);
  device.ClearWritten();
  clock.Advance(600);
  auto write = std::async(std::launch::async, [&port] { port.SendByte('!'); });
  EXPECT_EQ(write.wait_for(std::chrono::seconds(10)), std::future_status::ready);
  clock.Advance(9000);
  write.wait();
  const std::vector<uint8_t> asked = device.Written();
  EXPECT_EQ(std::string(asked.begin(), asked.end()).find_first_not_of(kQuery), std::string::npos);
  device.SetIdentity(3, Identity::Answer, KIRNOW_USB_PID);
  clock.Advance(4000);
  ExpectRepaintShowing(device, "hello!");

  const int checks = device.AliveChecks();
  clock.Advance(5000);
  EXPECT_LE(device.AliveChecks() - checks, 11);  // every 500 ms, no more
  EXPECT_TRUE(port.Close());
  EXPECT_FALSE(port.Keeping());
  EXPECT_EQ(clock.LiveWorkers(), 0u);
}

// A display plugged back in that does not read yet (still starting, or its flow control held)
// cannot answer: it is neither asked nor taken back, and the caller's writes wait for nothing
// meanwhile. Once
// it reads, the repaint goes out whole, with a brightness only where one was set.
TEST(SerialPortKeeper, ARepaintThatMeetsAStalledDisplayCostsOneTimeOutAndGoesOutWholeLater) {
  ScriptedClock clock;
  RecordingSerialDevice device(clock);
  device.AddPort(3);
  device.SetIdentity(Identity::Answer, KIRNOW_USB_PID);
  SerialPort port(device, clock);
  ASSERT_TRUE(port.Open(3, 9600));
  const std::string hello = "hello";
  port.SendData(reinterpret_cast<const uint8_t*>(hello.data()), 5);

  for (const bool brightnessSet : {false, true}) {
    SCOPED_TRACE(brightnessSet);
    if (brightnessSet) {
      for (uint8_t b : {0x1F, 0x58, 0x02}) port.SendByte(b);
    }
    device.SetUnplugged(true);
    clock.Advance(600);
    ASSERT_TRUE(port.Dead());
    device.SetStalled(true);
    device.SetUnplugged(false);
    const int timeOuts = device.TimedOutWrites();
    clock.Advance(600);
    EXPECT_TRUE(port.Dead());
    EXPECT_EQ(device.TimedOutWrites(), timeOuts);  // a display that does not read is not asked
    port.SendByte('x');                            // the model takes it at once
    EXPECT_EQ(device.TimedOutWrites(), timeOuts);

    device.ClearWritten();
    device.SetStalled(false);
    clock.Advance(600);
    EXPECT_FALSE(port.RepaintDue());
    EXPECT_FALSE(port.Stalled());
    const std::string text = ExpectRepaintShowing(device, "hellox");
    EXPECT_EQ(text.find("\x1F\x58\x04"), std::string::npos);
    EXPECT_EQ(text.find("\x1F\x58\x02") != std::string::npos, brightnessSet);
  }

  // A stop while the keeper tries a display that does not read ends the keeper at once.
  device.SetUnplugged(true);
  clock.Advance(600);
  device.SetStalled(true);
  device.SetUnplugged(false);
  clock.Advance(600);
  ASSERT_TRUE(port.Dead());
  EXPECT_TRUE(port.Close());
  EXPECT_FALSE(port.Keeping());
  EXPECT_EQ(clock.LiveWorkers(), 0u);
}

// A write that fails without a removal (a line error): that byte is lost, the port stays open
// and is neither reopened nor repainted, and the next byte goes out.
TEST(SerialPortKeeper, AWriteErrorThatIsNoRemovalLosesItsByteOnly) {
  ScriptedClock clock;
  RecordingSerialDevice device(clock);
  device.AddPort(3);
  device.SetIdentity(Identity::Answer, KIRNOW_USB_PID);
  SerialPort port(device, clock);
  ASSERT_TRUE(port.Open(3, 9600));
  device.SetFailing(true);
  port.SendByte('a');
  EXPECT_EQ(device.FailedWrites(), 1);
  device.SetFailing(false);
  port.SendByte('b');
  clock.Advance(2000);
  EXPECT_FALSE(port.Dead());
  EXPECT_EQ(device.openCount, 1);
  EXPECT_EQ(device.Written(), std::vector<uint8_t>{'b'});

  // A display back on such a line cannot answer: it is taken back, and repainted whole, once
  // its writes go out again.
  device.SetUnplugged(true);
  clock.Advance(600);
  device.SetFailing(true);
  device.SetUnplugged(false);
  clock.Advance(600);
  EXPECT_TRUE(port.Dead());
  device.SetFailing(false);
  device.ClearWritten();
  clock.Advance(600);
  EXPECT_FALSE(port.Dead());
  EXPECT_FALSE(port.RepaintDue());
  ExpectRepaintShowing(device, "b");
  EXPECT_TRUE(port.Close());
}

// What the port tells its recorder: each unit with each byte's fate, the identity exchange's
// query and answer, and each turn of its life once (a keeper whose reopen fails round after
// round tells it once).
TEST(SerialPortRecorder, TellsEachUnitsFatesAndEachTurnOfItsLifeOnce) {
  struct Recorder final : port::PortRecorder {
    bool Recording() const override { return true; }
    void Unit(int32_t, std::span<const uint8_t>, std::span<const port::Fate> fates) override {
      std::string text;
      for (port::Fate f : fates) text += "SDLMH"[static_cast<int>(f)];
      units.push_back(text);
    }
    void Read(int32_t, std::span<const uint8_t> bytes) override { reads += bytes.size(); }
    void Note(const port::PortNote& note) override { notes.push_back(note.kind); }
    std::vector<std::string> units;
    size_t reads = 0;
    std::vector<port::PortNote::Kind> notes;
  } recorder;
  using Kind = port::PortNote::Kind;
  ScriptedClock clock;
  RecordingSerialDevice device(clock);
  device.AddPort(3);
  device.SetIdentity(Identity::Answer, KIRNOW_USB_PID);
  SerialPort port(device, clock, recorder);
  ASSERT_TRUE(port.Open(3, 9600));
  port.SendData(reinterpret_cast<const uint8_t*>("ab"), 2);
  device.SetStalled(true);
  port.SendData(reinterpret_cast<const uint8_t*>("cd"), 2);
  device.SetStalled(false);
  port.SendByte('e');
  device.SetFailing(true);
  port.SendByte('f');
  device.SetFailing(false);
  device.SetUnplugged(true);
  clock.Advance(600);
  port.SendByte('g');
  clock.Advance(2000);
  device.SetUnplugged(false);
  clock.Advance(600);
  port.Close();

  EXPECT_EQ(recorder.notes, (std::vector<Kind>{Kind::Opened, Kind::ConfirmedByRecord, Kind::Stalled,
                                               Kind::ReadsAgain, Kind::Gone, Kind::ReopenFailed,
                                               Kind::Reopened, Kind::Repainted, Kind::Closed}));
  ASSERT_EQ(recorder.units.size(), 7u);
  EXPECT_EQ(std::vector<std::string>(recorder.units.begin(), recorder.units.begin() + 6),
            (std::vector<std::string>{"SS", "DD", "S", "L", "M", "SSS"}));
  EXPECT_EQ(recorder.units[6], std::string(recorder.units[6].size(), 'S'));  // the repaint
  EXPECT_EQ(recorder.reads, 8u);
}

}  // namespace
}  // namespace kirnow
