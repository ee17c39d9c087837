// What the port's owner tells its recorder (port_recorder.h): every unit with each byte's fate,
// the identity exchange's queries and answers, and the port's life. Nothing is gathered while
// nobody records; the keeper's failed reopens are told once each, not at every round.
#include <algorithm>

#include "serviceobject/port/port_owner.h"

namespace kirnow::port {

Fate PortOwner::FateOf(bool sent) const {
  // WriteUnitByte leaves the port's state saying why a byte did not go.
  if (sent) return Fate::Sent;
  if (dead_) return Fate::Mirrored;
  if (dropRest_) return Fate::Dropped;
  return Fate::Lost;
}

void PortOwner::RecordUnit(const std::vector<uint8_t>& bytes, const std::vector<Fate>& fates) {
  if (!recorder_.Recording() || bytes.empty()) return;
  if (fates.size() == bytes.size()) return recorder_.Unit(portNumber_, bytes, fates);
  const std::vector<Fate> held(bytes.size(), Fate::Held);  // none was written
  recorder_.Unit(portNumber_, bytes, held);
}

void PortOwner::Note(PortNote::Kind kind, int osError, size_t bytes) {
  if (kind == PortNote::Kind::Gone) lastReopen_ = PortNote::Kind::Reopened;  // a new outage
  if (!recorder_.Recording()) return;
  PortNote note{kind, portNumber_, osError, bytes, {}};
  if (kind == PortNote::Kind::Opened || kind == PortNote::Kind::Reopened) {
    note.device = device_.DevicePath();
  }
  recorder_.Note(note);
}

void PortOwner::NoteOpenFailed(int32_t portNumber) {
  if (!recorder_.Recording()) return;
  recorder_.Note(PortNote{PortNote::Kind::OpenFailed, portNumber, device_.LastError(), 0, {}});
}

void PortOwner::NoteStall(bool wasStalled) {
  if (stalled_ && !wasStalled) Note(PortNote::Kind::Stalled);
  if (wasStalled && !stalled_ && !dead_) Note(PortNote::Kind::ReadsAgain);
}

void PortOwner::NoteReopen(PortNote::Kind kind, int osError) {
  if (kind != PortNote::Kind::Reopened && kind == lastReopen_ && osError == lastReopenError_) {
    return;  // the same as the round before: nothing changed
  }
  lastReopen_ = kind;
  lastReopenError_ = osError;
  Note(kind, osError);
}

void PortOwner::RecordRepaint(const std::vector<uint8_t>& bytes, size_t written) {
  if (!recorder_.Recording()) return;
  // The bytes after the last one written share the fate of the one that stopped the repaint;
  // they go again, whole, at a later round.
  const Fate rest = dead_ ? Fate::Mirrored : stalled_ ? Fate::Dropped : Fate::Lost;
  std::vector<Fate> fates(bytes.size(), rest);
  std::fill_n(fates.begin(), std::min(written, bytes.size()), Fate::Sent);
  RecordUnit(bytes, fates);
  Note(repaintDue_ ? PortNote::Kind::RepaintCut : PortNote::Kind::Repainted, 0, written);
}

void PortOwner::TapWrite(uint8_t byte, Fate fate) {
  if (!recorder_.Recording()) return;
  if (tapReading_) FlushTap();
  tapBytes_.push_back(byte);
  tapFates_.push_back(fate);
}

void PortOwner::TapRead(const uint8_t* bytes, int32_t count) {
  if (!recorder_.Recording() || count <= 0) return;
  if (!tapReading_) FlushTap();
  tapReading_ = true;
  tapBytes_.insert(tapBytes_.end(), bytes, bytes + count);
}

void PortOwner::FlushTap() {
  if (!tapBytes_.empty() && recorder_.Recording()) {
    if (tapReading_) {
      recorder_.Read(portNumber_, tapBytes_);
    } else {
      recorder_.Unit(portNumber_, tapBytes_, tapFates_);
    }
  }
  tapBytes_.clear();
  tapFates_.clear();
  tapReading_ = false;
}

}  // namespace kirnow::port
