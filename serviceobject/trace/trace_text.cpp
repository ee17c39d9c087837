// The field trace's lines and record texts (trace_text.h).
#include "serviceobject/trace/trace_text.h"

#include <algorithm>
#include <cinttypes>
#include <cstdarg>
#include <cstdio>

#include "opos/property_names.h"
#include "platform/text/hex_text.h"
#include "platform/text/utf_convert.h"

namespace kirnow::trace {
namespace {

// Of a unit, at most this many bytes are shown.
constexpr size_t kMaxWireBytes = 512;

std::string Printf(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string Printf(const char* format, ...) {
  char buffer[256];
  va_list args;
  va_start(args, format);
  const int n = std::vsnprintf(buffer, sizeof buffer, format, args);
  va_end(args);
  if (n <= 0) return {};
  return std::string(buffer, std::min(static_cast<size_t>(n), sizeof buffer - 1));
}

// A size for the formats, which are the same on every C library (no %zu).
uint64_t Count(size_t n) { return static_cast<uint64_t>(n); }

bool IsControl(unsigned char c) { return c < 0x20 || c == 0x7F; }

void AppendHexEscape(std::string& out, unsigned char c) { out += Printf("\\x%02X", c); }

std::string PortName(int32_t port) {
  return port > 0 ? "COM" + std::to_string(port) : std::string("the port");
}

std::string_view FateWords(port::Fate fate) {
  switch (fate) {
    case port::Fate::Sent:
      return "sent";
    case port::Fate::Dropped:
      return "dropped by the stall rule";
    case port::Fate::Lost:
      return "lost to a write error";
    case port::Fate::Mirrored:
      return "not sent, the port is gone";
    case port::Fate::Held:
      return "not sent, not confirmed as the display";
  }
  return "?";
}

}  // namespace

std::string TimeText(const platform::LocalTime& t) {
  return Printf("%04d-%02d-%02d %02d:%02d:%02d.%03d", t.year, t.month, t.day, t.hour, t.minute,
                t.second, t.millisecond);
}

std::string Line(const Stamp& stamp, std::string_view kind, std::string_view text) {
  std::string line = TimeText(stamp.time) +
                     Printf(" tick=%" PRIu32 " thread=%" PRIu32 " ", stamp.ticks, stamp.thread);
  line.append(kind);
  line.push_back(' ');
  // A long text is cut at the start of a character, leaving room to say how much was cut.
  const size_t room = kMaxLineBytes - 40;
  size_t i = 0;
  for (; i < text.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (line.size() >= room && (c & 0xC0) != 0x80) break;
    if (IsControl(c)) {
      AppendHexEscape(line, c);
    } else {
      line.push_back(static_cast<char>(c));
    }
  }
  if (i < text.size()) line += Printf("...(+%" PRIu64 " bytes)", Count(text.size() - i));
  line.push_back('\n');
  return line;
}

std::string QuotedUtf8(std::string_view text) {
  std::string out = "\"";
  for (const char ch : text) {
    const unsigned char c = static_cast<unsigned char>(ch);
    if (c == '"' || c == '\\') {
      out.push_back('\\');
      out.push_back(ch);
    } else if (IsControl(c)) {
      AppendHexEscape(out, c);
    } else {
      out.push_back(ch);
    }
  }
  out.push_back('"');
  return out;
}

std::string Quoted(std::u16string_view text, bool null) {
  if (null) return "null";
  size_t shown = 0;
  size_t characters = 0;
  while (shown < text.size() && characters < kMaxTextChars) {
    const bool pair = text[shown] >= 0xD800 && text[shown] <= 0xDBFF && shown + 1 < text.size() &&
                      text[shown + 1] >= 0xDC00 && text[shown + 1] <= 0xDFFF;
    shown += pair ? 2 : 1;
    ++characters;
  }
  std::string out = QuotedUtf8(platform::Utf16ToUtf8(text.substr(0, shown)));
  if (shown < text.size())
    out += Printf("...(+%" PRIu64 " characters)", Count(text.size() - shown));
  return out;
}

std::string CallText(std::string_view method, std::span<const std::string_view> names,
                     std::span<const std::string> values, std::string_view outcome) {
  std::string text(method);
  text.push_back('(');
  for (size_t i = 0; i < names.size() && i < values.size(); ++i) {
    if (i != 0) text += ", ";
    text.append(names[i]);
    text.push_back('=');
    text += values[i];
  }
  text.push_back(')');
  text.append(outcome);
  return text;
}

std::string PropertyText(int32_t index, const std::string* value, std::string_view outcome) {
  const std::string_view name = PropertyName(index);
  std::string text = name.empty() ? Printf("(%" PRId32 ")", index)
                                  : std::string(name) + Printf(" (%" PRId32 ")", index);
  text += value != nullptr ? " = " + *value : std::string(" = no such property");
  text.append(outcome);
  return text;
}

std::string OutcomeText(std::string_view returned, const int32_t* rc, int32_t resultCode,
                        int32_t hresult, uint64_t micros) {
  std::string text = " ->";
  if (!returned.empty()) text.append(" ").append(returned).append(",");
  if (hresult != 0) text += Printf(" HRESULT 0x%08" PRIX32 ",", static_cast<uint32_t>(hresult));
  if (rc != nullptr) text += Printf(" pRC %" PRId32 ",", *rc);
  text += Printf(" ResultCode %" PRId32 ", %" PRIu64 ".%03" PRIu64 " ms", resultCode, micros / 1000,
                 micros % 1000);
  return text;
}

std::string WireText(int32_t port, std::span<const uint8_t> bytes,
                     std::span<const port::Fate> fates) {
  std::string text = PortName(port) + ":";
  const size_t shown = std::min({bytes.size(), fates.size(), kMaxWireBytes});
  for (size_t from = 0; from < shown;) {
    size_t to = from;
    while (to < shown && fates[to] == fates[from]) ++to;
    text += from == 0 ? " " : " | ";
    text.append(FateWords(fates[from]));
    text.push_back(' ');
    text += text::SpacedHexPairs(bytes.subspan(from, to - from));
    from = to;
  }
  if (shown < bytes.size()) text += Printf(" ...(+%" PRIu64 " bytes)", Count(bytes.size() - shown));
  return text;
}

std::string ReadText(int32_t port, std::span<const uint8_t> bytes) {
  const size_t shown = std::min(bytes.size(), kMaxWireBytes);
  std::string text = PortName(port) + ": read " + text::SpacedHexPairs(bytes.first(shown));
  if (shown < bytes.size()) text += Printf(" ...(+%" PRIu64 " bytes)", Count(bytes.size() - shown));
  return text;
}

std::string ErrorText(int osError, std::string_view words) {
  std::string text = "error " + std::to_string(osError);
  if (!words.empty()) text += " (" + std::string(words) + ")";
  return text;
}

std::string NoteText(const port::PortNote& note, std::string_view errorWords) {
  using Kind = port::PortNote::Kind;
  const std::string port = PortName(note.port);
  const std::string error = ErrorText(note.osError, errorWords);
  const std::string device = note.device.empty() ? std::string() : " (" + note.device + ")";
  switch (note.kind) {
    case Kind::Opened:
      return port + " opened" + device;
    case Kind::OpenFailed:
      return port + " cannot be opened: " + error;
    case Kind::ConfirmedByRecord:
      return port + " confirmed as the display by its USB record";
    case Kind::ConfirmedByAnswer:
      return port + " confirmed as the display: it answered the identity query";
    case Kind::Confirmed:
      return port + " confirmed as the display by OpenService's identity exchange";
    case Kind::NotTheDisplay:
      return port + " closed again: it did not answer as the display";
    case Kind::Stalled:
      return port +
             " stalled: the display took no byte within 1000 ms; its units are dropped until it "
             "reads again";
    case Kind::ReadsAgain:
      return port + " reads again";
    case Kind::Gone:
      return port + " gone: " + error + "; the keeper tries it again every 500 ms";
    case Kind::ReopenFailed:
      return port + " keeper: cannot be opened again yet: " + error;
    case Kind::ReopenedNotDisplay:
      return port + " keeper: opened again, but nothing there answered as the display";
    case Kind::Reopened:
      return port + " reopened" + device + ": the display answered";
    case Kind::Repainted:
      return port + Printf(" repainted (%" PRIu64 " bytes)", Count(note.bytes));
    case Kind::RepaintCut:
      return port + Printf(" repaint cut short after %" PRIu64 " bytes; it goes again whole",
                           Count(note.bytes));
    case Kind::Closed:
      return port + " closed";
  }
  return port;
}

std::string HeaderText(const Header& h) {
  return "Kirnow " + h.version + Printf(", %d-bit", h.bits) + ", in " + h.process +
         Printf(" (process %" PRIu32 ")", h.processId) + "; display USB ids " + h.vid + ":" +
         h.pid + "; " + h.system + "; OpenService of " + QuotedUtf8(h.device) + "; trace in " +
         h.folder + Printf(", at most %" PRIu64 " KB", h.maxBytes / 1024);
}

std::string UsbSearchText(std::string_view instancesSeen) {
  return "looking for the display: " + std::string(instancesSeen);
}

std::string UsbUnreadableText(uint32_t index) {
  return "instance " + std::to_string(index) + " skipped: its name cannot be read";
}

std::string UsbStepText(std::string_view instance, int32_t port, bool opened, bool identified) {
  const std::string com = port > 0 ? PortName(port) : "no port";
  std::string text(instance);
  if (identified) return text + ": " + com + " answered as the display: chosen";
  return text + " skipped: " + com +
         (opened ? " did not answer as the display" : " cannot be opened");
}

std::string BoxText(std::string_view text, std::string_view caption) {
  return std::string(caption) + ": " + QuotedUtf8(text);
}

std::string ComNumberText(const platform::ComNumberGiven& given) {
  return PortName(given.number) + " given to " + given.deviceId + " (" + given.path + ")";
}

std::string DroppedText(uint64_t count) {
  return Printf("%" PRIu64 " record%s dropped: the queue was full", count, count == 1 ? "" : "s");
}

std::string OffText(const platform::LocalTime& since, std::string_view folder, int osError,
                    std::string_view errorWords) {
  return "the trace was off from " + TimeText(since) + " to this session: " + std::string(folder) +
         " could not be written: " + ErrorText(osError, errorWords);
}

}  // namespace kirnow::trace
