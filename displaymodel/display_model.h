// The pole display's model, shared by the virtual pole display and the service object (which
// keeps the screen it has drawn, to repaint it after a reconnect): a 2 x 20 character display
// fed the bytes that arrive on its serial line, one at a time with their arrival time. It
// interprets the display's command set, keeps the screen (a character byte and a reverse flag
// per cell), the cursor and the modes, and answers the identification request.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "displaymodel/frame_stats.h"
#include "displaymodel/pole_commands.h"

namespace kirnow::displaymodel {

using pole::kBlinkUnitMs;
using pole::kColumns;
using pole::kGlyphColumns;
using pole::kRows;
inline constexpr uint8_t kDefaultBrightness = 4;

// How the display answers 1D 49 02.
enum class IdentityMode {
  Answer,      // "PID:" + its product id, every time
  SecondOnly,  // nothing to the first query, the answer from the second on
  WrongId,     // "PID:" + a product id that is not its own
  Silent,      // never answers
};

std::optional<IdentityMode> ParseIdentityMode(std::string_view name);  // answer|second|wrong|silent
const char* IdentityModeName(IdentityMode mode);

class IdentityResponder {
 public:
  IdentityResponder(IdentityMode mode, std::string productId);
  // The answer to one query; empty when the display stays quiet this time.
  std::vector<uint8_t> Answer();
  void Reset() { queries_ = 0; }

  IdentityMode Mode() const { return mode_; }
  const std::string& ProductId() const { return productId_; }
  int32_t Queries() const { return queries_; }
  int32_t Replies() const { return replies_; }
  int32_t TotalQueries() const { return totalQueries_; }

  // A product id of the same form (4 hex digits) that differs from `id`.
  static std::string OtherId(const std::string& id);
  static bool IsProductId(std::string_view id);

 private:
  IdentityMode mode_;
  std::string productId_;
  int32_t queries_ = 0;  // since power-on
  int32_t totalQueries_ = 0;
  int32_t replies_ = 0;
};

struct Cell {
  uint8_t ch = ' ';
  bool reverse = false;
};

struct ModelOptions {
  IdentityMode identity = IdentityMode::Answer;
  std::string productId = "0000";
  // A command left incomplete for longer than this (ms) is dropped, so that a sequence cut short
  // on the wire does not swallow later text; 0 waits for ever.
  double sequenceTimeoutMs = 1000;
};

class DisplayModel {
 public:
  explicit DisplayModel(ModelOptions options = {});

  // One byte received at time t (ms). Whatever the display sends back is appended to `reply`.
  void Feed(uint8_t byte, double t, std::vector<uint8_t>& reply);
  void Feed(const uint8_t* data, size_t n, double t, std::vector<uint8_t>& reply);
  // The rest of a command will not come (its bytes were dropped): back to plain text.
  void EndSequence() { state_ = State::Ground; }

  // The state after switching on (also after a re-plug): cleared, modes and brightness at their
  // defaults, no user-defined characters, the identification count restarted.
  void PowerOn();

  const Cell& At(int32_t row, int32_t col) const { return cells_[row - 1][col - 1]; }  // from 1
  std::string LineBytes(int32_t row) const;
  int32_t CursorRow() const { return row_; }
  int32_t CursorCol() const { return col_; }
  uint8_t Blink() const { return blink_; }
  double BlinkSince() const { return blinkSince_; }
  bool ReverseMode() const { return reverse_; }
  uint8_t Brightness() const { return brightness_; }
  // True once a brightness command arrived since the display was switched on.
  bool BrightnessSet() const { return brightnessSet_; }
  bool UserCharset() const { return userCharset_; }
  // Column bytes of a user-defined character (bit 0 is the top dot); nullopt when undefined.
  std::optional<std::vector<uint8_t>> Glyph(uint8_t code) const;
  const std::map<uint8_t, std::vector<uint8_t>>& Glyphs() const { return glyphs_; }
  // True when the cell shows a user-defined character instead of the built-in one.
  bool ShowsUserGlyph(int32_t row, int32_t col) const;

  uint64_t BytesReceived() const { return bytesReceived_; }
  int32_t IgnoredSequences() const { return ignored_; }
  bool InSequence() const { return state_ != State::Ground; }
  const IdentityResponder& Identity() const { return identity_; }
  const FrameStats& Frames() const { return frames_; }
  FrameStats& Frames() { return frames_; }

 private:
  enum class State {
    Ground,
    Esc,         // 1B
    EscSelect,   // 1B 25
    DefHeight,   // 1B 26
    DefFirst,    // 1B 26 01
    DefLast,     // 1B 26 01 c1
    DefWidth,    // ... the dot count of the next character
    DefColumns,  // ... its column bytes
    Us,          // 1F
    UsParam,     // 1F cmd
    UsCursorY,   // 1F 24 x
    Gs,          // 1D
    GsQuery,     // 1D 49
  };

  void Ground(uint8_t b);
  void Abandon() {
    ++ignored_;
    state_ = State::Ground;
  }
  void Initialise();
  void ClearScreen();
  void WriteCharacter(uint8_t b);

  ModelOptions options_;
  IdentityResponder identity_;
  FrameStats frames_;

  std::array<std::array<Cell, kColumns>, kRows> cells_{};
  int32_t row_ = 1, col_ = 1;
  uint8_t blink_ = 0;
  double blinkSince_ = 0;
  bool reverse_ = false;
  uint8_t brightness_ = kDefaultBrightness;
  bool brightnessSet_ = false;
  bool userCharset_ = false;
  std::map<uint8_t, std::vector<uint8_t>> glyphs_;

  State state_ = State::Ground;
  double lastByteT_ = 0;
  uint8_t command_ = 0;  // 1F command byte, or the x of a cursor move
  uint8_t param_ = 0;
  uint8_t defCode_ = 0, defLast_ = 0, defWidth_ = 0;
  std::vector<uint8_t> defColumns_;

  uint64_t bytesReceived_ = 0;
  int32_t ignored_ = 0;
};

// The bytes that bring a freshly switched-on display to the model's state: initialise, the
// brightness where one was set, the user-defined characters and their selection, both lines cell by
// cell with their reverse attribute, the reverse mode, the blink and the cursor.
std::vector<uint8_t> RepaintBytes(const DisplayModel& model);

}  // namespace kirnow::displaymodel
