#include "render.h"

#include <cstdio>

#include "snapshot.h"

namespace kirnow::vpd {

namespace {

const char* const kReverseOn = "\x1b[7m";
const char* const kReverseOff = "\x1b[27m";
const char* const kReset = "\x1b[0m";

std::string Pad(const std::string& visible, size_t width) {
  // Width in code points (the status texts use a few multi-byte characters).
  size_t n = 0;
  for (unsigned char c : visible)
    if ((c & 0xC0) != 0x80) ++n;
  return n >= width ? visible : visible + std::string(width - n, ' ');
}

std::string Horizontal(size_t n) {
  std::string out;
  for (size_t i = 0; i < n; ++i) out += "\u2500";
  return out;
}

std::string BrightnessAttr(uint8_t level) {
  if (level <= 2) return "\x1b[2m";  // dim
  if (level >= 4) return "\x1b[1m";  // bold
  return "";
}

}  // namespace

bool BlinkLit(const DisplayModel& model, double t) {
  if (model.Blink() == 0) return true;
  double half = static_cast<double>(model.Blink()) * kBlinkUnitMs;
  auto phase = static_cast<long long>((t - model.BlinkSince()) / half);
  return phase % 2 == 0;
}

std::vector<std::string> GlyphMatrix(const std::vector<uint8_t>& columns) {
  std::vector<std::string> rows(8);
  for (int bit = 0; bit < 8; ++bit)
    for (uint8_t col : columns) rows[bit] += (col >> bit) & 1 ? '#' : '.';
  return rows;
}

std::vector<std::string> RenderFrame(const DisplayModel& m, const RenderInfo& info) {
  std::vector<std::string> box(4);
  box[0] = "\u250c" + Horizontal(kColumns) + "\u2510";
  box[3] = "\u2514" + Horizontal(kColumns) + "\u2518";
  for (int32_t row = 1; row <= kRows; ++row) {
    std::string line = "\u2502" + BrightnessAttr(m.Brightness());
    for (int32_t col = 1; col <= kColumns; ++col) {
      const Cell& cell = m.At(row, col);
      if (!info.blinkLit || !info.plugged) {
        line += ' ';
        continue;
      }
      std::string ch = m.ShowsUserGlyph(row, col) ? "\u25a6" : CharacterUtf8(cell.ch);
      line += cell.reverse ? kReverseOn + ch + kReverseOff : ch;
    }
    line += kReset;
    line += "\u2502";
    box[row] = line;
  }

  char buf[96];
  std::vector<std::string> status(9);
  std::string bar;
  for (int i = 1; i <= 4; ++i) bar += i <= m.Brightness() ? "\u2588" : "\u2591";
  std::snprintf(buf, sizeof buf, "brightness %u ", static_cast<unsigned>(m.Brightness()));
  status[0] = buf + bar;
  if (m.Blink() == 0) {
    status[1] = "blink off";
  } else {
    std::snprintf(buf, sizeof buf, "blink %u (%d ms)", static_cast<unsigned>(m.Blink()),
                  m.Blink() * kBlinkUnitMs);
    status[1] = buf;
  }
  status[2] = m.ReverseMode() ? "reverse on" : "reverse off";
  status[3] = m.UserCharset() ? "charset user-defined" : "charset built-in";
  std::snprintf(buf, sizeof buf, "cursor row %d col %d", m.CursorRow(), m.CursorCol());
  status[4] = buf;
  std::snprintf(buf, sizeof buf, "bytes %llu", static_cast<unsigned long long>(m.BytesReceived()));
  status[5] = buf;
  std::snprintf(buf, sizeof buf, "%s (pty %d)", info.plugged ? "plugged" : "UNPLUGGED",
                info.generation);
  status[6] = buf;

  std::vector<std::string> glyph(9);
  auto g = m.Glyph(0x5F);
  glyph[0] = g ? "glyph 5F" : "glyph 5F: none";
  if (g) {
    auto rows = GlyphMatrix(*g);
    for (size_t i = 0; i < rows.size(); ++i) {
      std::string r;
      for (char c : rows[i]) r += c == '#' ? "\u25cf" : "\u00b7";
      glyph[i + 1] = r;
    }
  }

  std::vector<std::string> out;
  for (size_t i = 0; i < 9; ++i) {
    std::string left = i < box.size() ? box[i] : std::string(kColumns + 2, ' ');
    out.push_back(left + "  " + Pad(status[i], 26) + glyph[i]);
  }
  return out;
}

}  // namespace kirnow::vpd
