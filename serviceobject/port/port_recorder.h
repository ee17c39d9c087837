// What the port's owner tells of its life and of the wire, for whoever records it (the field
// trace), so that the port depends on no recorder's making. Only the owner's thread calls it,
// and only after Recording() said yes, so that nothing is gathered for nobody; a recorder never
// blocks, never throws and never calls back into the port.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace kirnow::port {

// What became of one byte handed to the wire.
enum class Fate : uint8_t {
  Sent,      // the driver took it
  Dropped,   // the stall rule dropped it (the display did not take a byte in time)
  Lost,      // a write error other than a removal lost it
  Mirrored,  // the port was gone: only the mirror took it, for the repaint
  Held,      // the device was not open or not yet confirmed as the display
};

// The port's life, one event at a time.
struct PortNote {
  enum class Kind {
    Opened,              // device: what was opened
    OpenFailed,          // osError
    ConfirmedByRecord,   // the USB record shows the display's ids at that port
    ConfirmedByAnswer,   // it answered the identity query as the display
    Confirmed,           // OpenService's own identity exchange found the display there
    NotTheDisplay,       // it did not answer as the display: closed again
    Stalled,             // a byte timed out: the rest of the unit and later units are dropped
    ReadsAgain,          // the driver takes bytes again
    Gone,                // osError: a write or the keeper's check found the device removed
    ReopenFailed,        // the keeper could not open the number again (osError)
    ReopenedNotDisplay,  // the keeper opened it, but what is there did not answer as the display
    Reopened,            // the keeper took the display back (device)
    Repainted,           // bytes: the repaint went out whole
    RepaintCut,          // the repaint stopped short (stalled, a write error or gone)
    Closed,
  };
  Kind kind;
  int32_t port = 0;
  int osError = 0;
  size_t bytes = 0;
  std::string device;
};

class PortRecorder {
 public:
  virtual ~PortRecorder() = default;
  virtual bool Recording() const = 0;
  // One unit (a command, a frame, a text, a repaint, an identity query) and each byte's fate.
  virtual void Unit(int32_t port, std::span<const uint8_t> bytes, std::span<const Fate> fates) = 0;
  // Bytes the identity exchange read, in the order read.
  virtual void Read(int32_t port, std::span<const uint8_t> bytes) = 0;
  virtual void Note(const PortNote& note) = 0;
};

// The recorder of a port that nobody records.
class NullRecorder final : public PortRecorder {
 public:
  bool Recording() const override { return false; }
  void Unit(int32_t, std::span<const uint8_t>, std::span<const Fate>) override {}
  void Read(int32_t, std::span<const uint8_t>) override {}
  void Note(const PortNote&) override {}
};
inline PortRecorder& NoRecorder() {
  static NullRecorder none;
  return none;
}

}  // namespace kirnow::port
