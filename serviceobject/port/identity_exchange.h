// The identity exchange, the one way the port asks a device whether it is the display: the
// query 1D 49 02, a wait for the 8-byte answer, eight reads of one byte each (a byte that has
// not arrived repeats the one before it, as a read that finds nothing leaves it as it was),
// then a pause and the same once more; the device is the display when either answer is "PID:"
// and the build's product id. OpenService asks so with fixed waits (the answer's 200 ms, the
// pause's 100 ms, the answer's 200 ms again). The keeper asks with early waits: an answer is read
// as soon as its 8 bytes are there, a matching first answer ends the exchange, and a query that
// did not go out ends it too (no answer can come).
#pragma once

#include <cstdint>

#include "serviceobject/port/port_step.h"

namespace kirnow::port {

// What the exchange needs of the device and of the owner's time.
class ExchangeLine {
 public:
  virtual ~ExchangeLine() = default;
  virtual bool Write(uint8_t byte) = 0;  // false: the byte did not go out
  virtual int32_t Waiting() = 0;
  virtual int32_t Read(uint8_t* buffer, int32_t count) = 0;
  // Waits `ms`, or until `enough` bytes are waiting when enough > 0; false on a stop.
  virtual bool Pause(uint32_t ms, int32_t enough) = 0;
};

enum class AnswerWaits { Fixed, Early };

// `carry` is the byte a read that finds nothing leaves in its slot; it holds the last byte read
// afterwards.
IdentityReplies ExchangeIdentity(ExchangeLine& line, AnswerWaits waits, uint8_t& carry);

}  // namespace kirnow::port
