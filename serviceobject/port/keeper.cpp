// The keeper: the owner's own steps between units, every 500 ms while the port is open. A live
// device is checked (an unplug is noticed even while nothing is written; on Linux EIO or a
// hang-up, on Windows the handle's errors after a surprise removal); a dead one is opened again
// at its number, and what answers there gets no byte before it has answered the identity query
// as the display (another device may have been given the number meanwhile). Once the display is
// back it is initialised and repainted from the mirror, which took every unit meanwhile. A
// display that is back but not reading yet cannot answer: it is not asked (identity exchange's
// Write), so a try costs no time-out. The
// repaint is one unit under the stall rule: a display that stops reading under it costs it one
// time-out, and it is sent again whole once the display reads.
#include "serviceobject/port/port_owner.h"

namespace kirnow::port {

void PortOwner::KeepRound() {
  if (!opened_) return;
  if (!dead_) {
    // Idle or not, a device that went away is noticed here; a stalled one is still alive.
    if (device_.Alive()) {
      if (repaintDue_) Repaint();
      Publish();
      return;
    }
    Die();  // and tried again at once: a display plugged back in quickly is back now
  }
  Reopen();
  Publish();
}

void PortOwner::Reopen() {
  // Writers' units meanwhile go to the mirror: the port stays dead until the display answers.
  if (!device_.Open(portNumber_, baud_)) {
    return NoteReopen(PortNote::Kind::ReopenFailed, device_.LastError());
  }
  if (!AsksAsTheDisplay() || *keepGoing_ == 0) {
    device_.Close();  // tried again next round, if at all
    return NoteReopen(PortNote::Kind::ReopenedNotDisplay);
  }
  dead_ = false;
  stalled_ = false;
  confirmed_ = true;  // it has answered as the display
  repaintDue_ = true;
  NoteReopen(PortNote::Kind::Reopened);
  Repaint();
}

void PortOwner::Repaint() {
  // A display that is back but still not reading costs the repaint nothing more until it does.
  if (stalled_ && !device_.ReadyToWrite()) return;
  stalled_ = false;
  const std::vector<uint8_t> bytes = mirror_.Repaint();
  size_t written = 0;
  struct Told {  // however the repaint ends
    PortOwner& owner;
    const std::vector<uint8_t>& bytes;
    const size_t& written;
    ~Told() { owner.RecordRepaint(bytes, written); }
  } told{*this, bytes, written};
  for (uint8_t b : bytes) {
    if (*keepGoing_ == 0) return;  // a stop: Close is waiting for this thread
    switch (device_.WriteByte(b)) {
      case platform::SerialDevice::WriteResult::Written:
        ++written;
        break;
      case platform::SerialDevice::WriteResult::Failed:
        return;  // the display would miss what the mirror says it shows: again next round
      case platform::SerialDevice::WriteResult::TimedOut:
        stalled_ = true;  // sent again whole once the display reads
        return;
      case platform::SerialDevice::WriteResult::Gone:
        Die();
        return;
    }
  }
  repaintDue_ = false;
}

}  // namespace kirnow::port
