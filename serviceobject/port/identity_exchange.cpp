// The identity exchange: see identity_exchange.h.
#include "serviceobject/port/identity_exchange.h"

#include "kirnow_config.h"

namespace kirnow::port {

namespace {

// One query and its answer; false when the query did not go out whole or a stop came.
bool AskOnce(ExchangeLine& line, AnswerWaits waits, uint8_t& carry, pole::IdentityAnswer& reply) {
  bool sent = true;
  for (uint8_t b : pole::IdentityQuery()) {
    if (!line.Write(b)) sent = false;
  }
  if (!sent && waits == AnswerWaits::Early) return false;
  const int32_t enough = waits == AnswerWaits::Early ? static_cast<int32_t>(reply.size()) : 0;
  if (!line.Pause(pole::kIdentityAnswerMs, enough)) return false;
  for (uint8_t& slot : reply) {
    if (line.Waiting() > 0) line.Read(&carry, 1);
    slot = carry;
  }
  return sent;
}

}  // namespace

IdentityReplies ExchangeIdentity(ExchangeLine& line, AnswerWaits waits, uint8_t& carry) {
  IdentityReplies r;
  const bool asked = AskOnce(line, waits, carry, r.first);
  r.display = pole::IsIdentityAnswer(r.first, KIRNOW_USB_PID);
  if (waits == AnswerWaits::Early && (r.display || !asked)) return r;
  if (!line.Pause(pole::kIdentityRetryPauseMs, 0)) return r;
  AskOnce(line, waits, carry, r.second);
  r.display = r.display || pole::IsIdentityAnswer(r.second, KIRNOW_USB_PID);
  return r;
}

}  // namespace kirnow::port
