#include "displaymodel/display_model.h"

#include <cctype>
#include <cstdio>

namespace kirnow::displaymodel {

namespace {

using namespace pole;

bool IsPrefix(uint8_t b) { return b == kEsc || b == kUs || b == kGs; }

}  // namespace

std::optional<IdentityMode> ParseIdentityMode(std::string_view name) {
  if (name == "answer") return IdentityMode::Answer;
  if (name == "second") return IdentityMode::SecondOnly;
  if (name == "wrong") return IdentityMode::WrongId;
  if (name == "silent") return IdentityMode::Silent;
  return std::nullopt;
}

const char* IdentityModeName(IdentityMode mode) {
  switch (mode) {
    case IdentityMode::Answer:
      return "answer";
    case IdentityMode::SecondOnly:
      return "second";
    case IdentityMode::WrongId:
      return "wrong";
    case IdentityMode::Silent:
      return "silent";
  }
  return "answer";
}

IdentityResponder::IdentityResponder(IdentityMode mode, std::string productId)
    : mode_(mode), productId_(std::move(productId)) {}

bool IdentityResponder::IsProductId(std::string_view id) {
  if (id.size() != 4) return false;
  for (char c : id)
    if (!std::isxdigit(static_cast<unsigned char>(c))) return false;
  return true;
}

std::string IdentityResponder::OtherId(const std::string& id) {
  unsigned value = IsProductId(id) ? static_cast<unsigned>(std::stoul(id, nullptr, 16)) : 0;
  bool upper = false;
  for (char c : id) upper = upper || (c >= 'A' && c <= 'F');
  char buf[8];
  std::snprintf(buf, sizeof buf, upper ? "%04X" : "%04x", (value + 1) & 0xFFFF);
  return buf;
}

std::vector<uint8_t> IdentityResponder::Answer() {
  ++queries_;
  ++totalQueries_;
  std::string text;
  switch (mode_) {
    case IdentityMode::Answer:
      text = std::string(pole::kIdentityAnswerPrefix) + productId_;
      break;
    case IdentityMode::SecondOnly:
      if (queries_ >= 2) text = std::string(pole::kIdentityAnswerPrefix) + productId_;
      break;
    case IdentityMode::WrongId:
      text = std::string(pole::kIdentityAnswerPrefix) + OtherId(productId_);
      break;
    case IdentityMode::Silent:
      break;
  }
  if (!text.empty()) ++replies_;
  return {text.begin(), text.end()};
}

DisplayModel::DisplayModel(ModelOptions options)
    : options_(options), identity_(options.identity, options.productId) {
  PowerOn();
}

void DisplayModel::PowerOn() {
  Initialise();
  brightness_ = kDefaultBrightness;
  brightnessSet_ = false;
  identity_.Reset();
  frames_.BreakChain();
}

void DisplayModel::Initialise() {
  ClearScreen();
  blink_ = 0;
  reverse_ = false;
  userCharset_ = false;
  glyphs_.clear();
  state_ = State::Ground;
}

void DisplayModel::ClearScreen() {
  for (auto& line : cells_) line.fill(Cell{});
  row_ = 1;
  col_ = 1;
}

std::string DisplayModel::LineBytes(int32_t row) const {
  std::string out;
  for (const Cell& c : cells_[row - 1]) out += static_cast<char>(c.ch);
  return out;
}

std::optional<std::vector<uint8_t>> DisplayModel::Glyph(uint8_t code) const {
  auto it = glyphs_.find(code);
  if (it == glyphs_.end()) return std::nullopt;
  return it->second;
}

bool DisplayModel::ShowsUserGlyph(int32_t row, int32_t col) const {
  return userCharset_ && glyphs_.count(At(row, col).ch) != 0;
}

void DisplayModel::WriteCharacter(uint8_t b) {
  cells_[row_ - 1][col_ - 1] = Cell{b, reverse_};
  frames_.OnCharacter();
  // Past the last column the cursor goes on at the start of the other line (overwrite mode:
  // after the lower line it comes back to the upper one).
  if (++col_ > kColumns) {
    col_ = 1;
    row_ = row_ == 1 ? 2 : 1;
  }
}

void DisplayModel::Feed(const uint8_t* data, size_t n, double t, std::vector<uint8_t>& reply) {
  for (size_t i = 0; i < n; ++i) Feed(data[i], t, reply);
}

void DisplayModel::Feed(uint8_t b, double t, std::vector<uint8_t>& reply) {
  ++bytesReceived_;
  if (state_ != State::Ground && options_.sequenceTimeoutMs > 0 &&
      t - lastByteT_ > options_.sequenceTimeoutMs) {
    Abandon();  // the rest of that command never came
  }
  lastByteT_ = t;

  switch (state_) {
    case State::Ground:
      Ground(b);
      return;

    case State::Esc:
      state_ = State::Ground;
      if (b == kInitialize) {
        Initialise();
      } else if (b == kCharacterSet) {
        state_ = State::EscSelect;
      } else if (b == kDefineCharacters) {
        state_ = State::DefHeight;
      } else {
        ++ignored_;
        if (IsPrefix(b)) Ground(b);  // a new command begins here
      }
      return;

    case State::EscSelect:
      userCharset_ = (b & 1) != 0;
      state_ = State::Ground;
      return;

    case State::DefHeight:
      // Only one byte high characters exist on this display.
      if (b != 1) return Abandon();
      state_ = State::DefFirst;
      return;

    case State::DefFirst:
      defCode_ = b;
      state_ = State::DefLast;
      return;

    case State::DefLast:
      if (b < defCode_) return Abandon();
      defLast_ = b;
      state_ = State::DefWidth;
      return;

    case State::DefWidth:
      // A dot count wider than the character cell is refused; the bytes after it are read as
      // ordinary input again rather than taken as column data.
      if (b > kGlyphColumns) return Abandon();
      defWidth_ = b;
      defColumns_.clear();
      if (defWidth_ == 0) {
        glyphs_[defCode_] = {};
        if (defCode_ == defLast_) {
          state_ = State::Ground;
        } else {
          ++defCode_;
        }
        return;
      }
      state_ = State::DefColumns;
      return;

    case State::DefColumns:
      defColumns_.push_back(b);
      if (defColumns_.size() < defWidth_) return;
      glyphs_[defCode_] = defColumns_;
      if (defCode_ == defLast_) {
        state_ = State::Ground;
      } else {
        ++defCode_;
        state_ = State::DefWidth;
      }
      return;

    case State::Us:
      state_ = State::Ground;
      if (b == kCursorMove || b == kBlink || b == kReverse || b == kBrightness) {
        command_ = b;
        state_ = State::UsParam;
      } else {
        ++ignored_;
        if (IsPrefix(b)) Ground(b);
      }
      return;

    case State::UsParam:
      state_ = State::Ground;
      switch (command_) {
        case kCursorMove:
          param_ = b;
          state_ = State::UsCursorY;
          break;
        case kBlink:
          blink_ = b;
          blinkSince_ = t;
          break;
        case kReverse:
          reverse_ = (b & 1) != 0;
          break;
        case kBrightness:
          brightness_ = b;
          brightnessSet_ = true;
          break;
        default:
          break;
      }
      return;

    case State::UsCursorY:
      state_ = State::Ground;
      if (param_ < 1 || param_ > kColumns || b < 1 || b > kRows) return Abandon();
      col_ = param_;
      row_ = b;
      frames_.OnCursorMove(row_, col_, t);
      return;

    case State::Gs:
      state_ = State::Ground;
      if (b == kIdentify) {
        state_ = State::GsQuery;
      } else {
        ++ignored_;
        if (IsPrefix(b)) Ground(b);
      }
      return;

    case State::GsQuery:
      state_ = State::Ground;
      if (b != kIdentifyArgument) return Abandon();
      for (uint8_t r : identity_.Answer()) reply.push_back(r);
      return;
  }
}

void DisplayModel::Ground(uint8_t b) {
  switch (b) {
    case kEsc:
      state_ = State::Esc;
      break;
    case kUs:
      state_ = State::Us;
      break;
    case kGs:
      state_ = State::Gs;
      break;
    case kClear:
      ClearScreen();
      break;
    default:
      WriteCharacter(b);
      break;
  }
}

std::vector<uint8_t> RepaintBytes(const DisplayModel& model) {
  std::vector<uint8_t> out;
  out.reserve(128);
  auto put = [&out](const auto& command) {
    for (uint8_t b : command) out.push_back(b);
  };
  put(Initialize());
  // The brightness only when one was set: a display switched on anew is at its own default,
  // and the repaint sends nothing that the application never asked for.
  if (model.BrightnessSet()) put(Brightness(model.Brightness()));
  for (const auto& [code, columns] : model.Glyphs()) {
    put(DefineCharacters(code, code));
    out.push_back(static_cast<uint8_t>(columns.size()));
    out.insert(out.end(), columns.begin(), columns.end());
  }
  if (model.UserCharset()) put(CharacterSet(1));
  bool reverse = false;
  for (int32_t row = 1; row <= kRows; ++row) {
    put(CursorMove(1, row));
    for (int32_t col = 1; col <= kColumns; ++col) {
      const Cell& cell = model.At(row, col);
      if (cell.reverse != reverse) {
        reverse = cell.reverse;
        put(Reverse(reverse ? 1 : 0));
      }
      out.push_back(cell.ch);
    }
  }
  if (model.ReverseMode() != reverse) put(Reverse(model.ReverseMode() ? 1 : 0));
  if (model.Blink() != 0) put(Blink(model.Blink()));
  put(CursorMove(model.CursorCol(), model.CursorRow()));
  return out;
}

}  // namespace kirnow::displaymodel
