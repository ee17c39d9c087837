// A serial device for tests: records every byte written (with the tick at which it was
// written), serves queued input, and can play the display's side of the identity exchange.
#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "platform/clock/clock.h"
#include "platform/serial/serial_device.h"
#include "tests/fakes/scripted_clock.h"

namespace kirnow::fakes {

class RecordingSerialDevice : public platform::SerialDevice {
 public:
  // How the simulated display answers the identity query 1D 49 02.
  enum class IdentityMode {
    Answer,      // "PID:" + pid to every query
    SecondOnly,  // nothing to the first query after an open, "PID:" + pid from the second on
    WrongId,     // "PID:" + an id that differs from pid
    Silent,      // nothing (the default)
  };

  // Writes are stamped with the clock's time; a ScriptedClock is only read (Now), never advanced.
  explicit RecordingSerialDevice(platform::Clock& clock);

  // Makes COM<n> exist; Open of any other number fails.
  void AddPort(int32_t n);
  // Makes every Open of COM<n> fail with `problem` as its OpenProblem, as a device this user
  // may not open does.
  void Refuse(int32_t n, std::string problem);
  std::string OpenProblem() const override;

  // Every Open takes `ms` of the clock's time first (a slow lookup); while writes are held, a
  // write waits on the clock (a driver that does not return it).
  // Whether the USB record shows COM<n> as a device of the build's ids (the default for every
  // port), or cannot tell, as for a number mapped by hand.
  void SetInRecord(int32_t n, bool inRecord);
  bool RecordShowsUsbIds(std::string_view vid, std::string_view pid) override;

  void SetOpenDelay(uint32_t ms) { openDelayMs_ = ms; }
  void SetWritesHeld(bool held) { writesHeld_ = held; }
  bool Open(int32_t portNumber, int32_t baud) override;
  void Close() override;
  bool IsOpen() const override;
  // Records the byte while the device is open (a closed device drops it).
  WriteResult WriteByte(uint8_t byte) override;
  bool ReadyToWrite() override;
  bool Alive() override;
  int AliveChecks() const;  // Alive calls so far
  int LastError() const override;

  // A display that stops reading: every write times out (each would have waited the device's
  // 1000 ms) until it reads again. Counts the writes that waited that long.
  void SetStalled(bool stalled);
  int TimedOutWrites() const;
  // A display pulled out: writes fail and the port cannot be opened until it is plugged in; a
  // handle open at the unplug stays dead after the replug, as a real one does, until reopened.
  void SetUnplugged(bool unplugged);
  // A line fault that is no removal: every write fails (the byte is lost) while the device
  // stays alive. Counts those writes.
  void SetFailing(bool failing);
  int FailedWrites() const;
  int32_t BytesWaiting() override;
  int32_t Read(uint8_t* buffer, int32_t count) override;

  std::vector<uint8_t> Written() const;
  std::vector<std::pair<uint32_t, uint8_t>> WrittenWithTicks() const;
  void ClearWritten();
  void QueueInput(std::vector<uint8_t> bytes);

  // The identity answer of every port without one of its own / of one port. Query counts for
  // SecondOnly start again at each successful Open.
  void SetIdentity(IdentityMode mode, std::string pid);
  void SetIdentity(int32_t port, IdentityMode mode, std::string pid);

  std::atomic<int32_t> lastOpenedPort{0};  // port of the last successful Open
  std::atomic<int32_t> lastBaud{0};        // baud of the last successful Open
  std::atomic<int> openCount{0};           // successful Opens
  std::atomic<int32_t> lastAttemptedPort{0};

 private:
  struct Identity {
    IdentityMode mode = IdentityMode::Silent;
    std::string pid;
  };
  void AnswerQueryLocked();

  uint32_t Stamp();

  platform::Clock& clock_;
  ScriptedClock* scripted_;
  mutable std::mutex mutex_;
  std::atomic<uint32_t> openDelayMs_{0};
  std::atomic<bool> writesHeld_{false};
  std::set<int32_t> ports_;
  std::map<int32_t, std::string> refused_;
  std::set<int32_t> notInRecord_;
  std::string openProblem_;  // of the last Open
  bool open_ = false;
  bool stalled_ = false;
  bool unplugged_ = false;
  bool lostHandle_ = false;  // the open handle outlived an unplug
  bool failing_ = false;
  int failedWrites_ = 0;
  int aliveChecks_ = 0;
  int timedOutWrites_ = 0;
  int32_t port_ = 0;
  std::vector<std::pair<uint32_t, uint8_t>> written_;
  std::deque<uint8_t> input_;
  Identity defaultIdentity_;
  std::map<int32_t, Identity> identities_;
  std::vector<uint8_t> recent_;  // the last three bytes written, to spot the query
  int queries_ = 0;              // identity queries since the last Open
};

}  // namespace kirnow::fakes
