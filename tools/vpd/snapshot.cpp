#include "snapshot.h"

#include <cstdio>

#include "platform/text/utf_convert.h"

namespace kirnow::vpd {

namespace {

// Windows-1252 80-9F; 0 where the code page assigns nothing.
constexpr uint16_t kHigh[32] = {0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
                                0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

std::string Hex(const std::string& bytes) {
  std::string out;
  char buf[4];
  for (unsigned char c : bytes) {
    std::snprintf(buf, sizeof buf, "%02X", c);
    out += buf;
  }
  return out;
}

std::string Reversed(const DisplayModel& m, int32_t row) {
  std::string out;
  for (int32_t c = 1; c <= kColumns; ++c) out += m.At(row, c).reverse ? 'R' : '.';
  return out;
}

std::string LineText(const DisplayModel& m, int32_t row) {
  std::string out;
  for (int32_t c = 1; c <= kColumns; ++c) out += CharacterUtf8(m.At(row, c).ch);
  return out;
}

}  // namespace

std::string CharacterUtf8(uint8_t b) {
  char16_t cp = b;
  if (b < 0x20 || b == 0x7F) {
    cp = 0xB7;
  } else if (b >= 0x80 && b < 0xA0) {
    cp = kHigh[b - 0x80] ? kHigh[b - 0x80] : 0xB7;
  }
  return platform::Utf16ToUtf8(std::u16string_view(&cp, 1));
}

std::string FormatLogLine(double ms, const uint8_t* data, size_t n) {
  char buf[48];
  std::snprintf(buf, sizeof buf, "%.3f", ms);
  std::string out = buf;
  for (size_t i = 0; i < n; ++i) {
    std::snprintf(buf, sizeof buf, " %02X", data[i]);
    out += buf;
  }
  return out;
}

std::string JsonString(const std::string& utf8) {
  std::string out = "\"";
  for (unsigned char c : utf8) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20) {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\u%04X", c);
      out += buf;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out + "\"";
}

std::string FormatSnapshot(const DisplayModel& m, const SnapshotInfo& info) {
  std::string glyph;
  if (auto g = m.Glyph(0x5F)) glyph = Hex(std::string(g->begin(), g->end()));
  std::string frames = "[";
  bool first = true;
  char buf[512];
  for (const auto& s : m.Frames().Repeated()) {
    std::snprintf(buf, sizeof buf,
                  "%s{\"row\": %d, \"col\": %d, \"count\": %d, \"period_ms\": %.3f, "
                  "\"jitter_ms\": %.3f, \"min_ms\": %.3f, \"max_ms\": %.3f, "
                  "\"chars_per_frame\": %.2f}",
                  first ? "" : ", ", s.row, s.col, s.count, s.meanMs, s.jitterMs, s.minMs, s.maxMs,
                  s.charsPerFrame);
    frames += buf;
    first = false;
  }
  frames += "]";

  std::string out = "{\n";
  auto field = [&out](const char* key, const std::string& value, bool last = false) {
    out += "  \"";
    out += key;
    out += "\": " + value + (last ? "\n" : ",\n");
  };
  field("line1", JsonString(LineText(m, 1)));
  field("line2", JsonString(LineText(m, 2)));
  field("line1_hex", JsonString(Hex(m.LineBytes(1))));
  field("line2_hex", JsonString(Hex(m.LineBytes(2))));
  field("cursor_row", std::to_string(m.CursorRow()));
  field("cursor_col", std::to_string(m.CursorCol()));
  field("reverse1", JsonString(Reversed(m, 1)));
  field("reverse2", JsonString(Reversed(m, 2)));
  field("reverse_mode", m.ReverseMode() ? "true" : "false");
  field("blink", std::to_string(m.Blink()));
  field("blink_ms", std::to_string(m.Blink() * kBlinkUnitMs));
  field("brightness", std::to_string(m.Brightness()));
  field("charset", JsonString(m.UserCharset() ? "user" : "builtin"));
  field("glyph_5f", JsonString(glyph));
  field("bytes_received", std::to_string(m.BytesReceived()));
  field("identity_mode", JsonString(IdentityModeName(m.Identity().Mode())));
  field("product_id", JsonString(m.Identity().ProductId()));
  field("identity_queries", std::to_string(m.Identity().TotalQueries()));
  field("identity_replies", std::to_string(m.Identity().Replies()));
  field("ignored_sequences", std::to_string(m.IgnoredSequences()));
  field("generation", std::to_string(info.generation));
  field("plugged", info.plugged ? "true" : "false");
  field("slave", JsonString(info.slavePath));
  field("link", JsonString(info.linkPath));
  std::snprintf(buf, sizeof buf, "%.3f", info.uptimeMs);
  field("uptime_ms", buf);
  field("frames", frames, true);
  out += "}\n";
  return out;
}

}  // namespace kirnow::vpd
