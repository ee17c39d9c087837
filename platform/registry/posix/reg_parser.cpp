// Reading registry files in the format of a regedit export: the header line, key lines (with
// "[-KEY]" deleting a key and what is below it) and value lines (strings, dwords, hex lists of any
// type, continued over lines, and "name"=- deleting a value). What the registry would refuse
// (regtree's limits) stops the reading at its line. See reg_parser.h.
#include "platform/registry/posix/reg_parser.h"

#include <algorithm>
#include <cstdint>
#include <vector>

#include "platform/text/utf_convert.h"

namespace kirnow::platform {
namespace {

std::string_view TrimLeft(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  return s;
}

std::string_view TrimRight(std::string_view s) {
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) {
    s.remove_suffix(1);
  }
  return s;
}

std::string_view Trim(std::string_view s) { return TrimRight(TrimLeft(s)); }

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

struct ParseError {
  std::string message;
};

// Reads a quoted string starting at s[0] == '"'; unescapes \\ and \". Leaves `s` after the
// closing quote.
std::string ReadQuoted(std::string_view& s) {
  std::string out;
  size_t i = 1;
  for (; i < s.size(); ++i) {
    const char c = s[i];
    if (c == '"') break;
    if (c == '\\') {
      if (i + 1 >= s.size() || (s[i + 1] != '\\' && s[i + 1] != '"')) {
        throw ParseError{"a backslash in a quoted name or string must be written \\\\"};
      }
      out.push_back(s[++i]);
    } else {
      out.push_back(c);
    }
  }
  if (i >= s.size()) throw ParseError{"missing closing quote"};
  s.remove_prefix(i + 1);
  return out;
}

std::vector<uint8_t> ParseHexList(std::string_view list) {
  std::vector<uint8_t> out;
  list = Trim(list);
  if (list.empty()) return out;
  size_t start = 0;
  while (true) {
    const size_t comma = list.find(',', start);
    std::string_view tok = Trim(list.substr(
        start, comma == std::string_view::npos ? std::string_view::npos : comma - start));
    if (tok.empty() && comma == std::string_view::npos && !out.empty()) break;  // "01,02,"
    if (tok.empty() || tok.size() > 2 || HexDigit(tok[0]) < 0 ||
        (tok.size() == 2 && HexDigit(tok[1]) < 0)) {
      throw ParseError{"bad byte '" + std::string(tok) + "' in a hex value"};
    }
    out.push_back(static_cast<uint8_t>(tok.size() == 1 ? HexDigit(tok[0])
                                                       : HexDigit(tok[0]) * 16 + HexDigit(tok[1])));
    if (comma == std::string_view::npos) break;
    start = comma + 1;
  }
  return out;
}

std::vector<uint8_t> Utf8ToRegString(std::string_view text) {
  const auto wide = Utf8ToUtf16Strict(text);
  if (!wide) throw ParseError{"string is not valid UTF-8"};
  std::vector<uint8_t> data;
  data.reserve((wide->size() + 1) * 2);
  for (char16_t c : *wide) {
    data.push_back(static_cast<uint8_t>(c & 0xFF));
    data.push_back(static_cast<uint8_t>(c >> 8));
  }
  data.push_back(0);
  data.push_back(0);
  return data;
}

std::vector<std::string_view> SplitLines(std::string_view text) {
  std::vector<std::string_view> lines;
  size_t start = 0;
  while (start <= text.size()) {
    const size_t nl = text.find('\n', start);
    if (nl == std::string_view::npos) {
      if (start < text.size()) lines.push_back(text.substr(start));
      break;
    }
    lines.push_back(text.substr(start, nl - start));
    start = nl + 1;
  }
  return lines;
}

// The text as UTF-8. A file saved by regedit itself is UTF-16LE with a byte order mark: it is
// converted into `converted`, which `text` then views; a UTF-8 byte order mark is dropped. False,
// with the line and the reason, for UTF-16 that is cut short or malformed.
bool DecodeEncoding(std::string_view& text, std::string& converted, int& line,
                    std::string& message) {
  if (text.size() >= 3 && text.substr(0, 3) == "\xEF\xBB\xBF") {
    text.remove_prefix(3);
    return true;
  }
  if (text.size() < 2 || static_cast<uint8_t>(text[0]) != 0xFF ||
      static_cast<uint8_t>(text[1]) != 0xFE) {
    return true;
  }
  std::u16string wide;
  for (size_t i = 2; i + 1 < text.size(); i += 2) {
    wide.push_back(static_cast<char16_t>(static_cast<uint8_t>(text[i]) |
                                         (static_cast<uint8_t>(text[i + 1]) << 8)));
  }
  if (text.size() % 2 != 0) {
    // A byte of a character is missing: the file was cut short. Refused at the line the cut
    // falls on, like any other damage, rather than read without its last character.
    line = 1 + static_cast<int>(std::count(wide.begin(), wide.end(), u'\n'));
    message = "the file ends inside a UTF-16 character (it was cut short)";
    return false;
  }
  const auto utf8 = Utf16ToUtf8Strict(wide);
  if (!utf8) {
    line = 1;
    message = "the file is not valid UTF-16";
    return false;
  }
  converted = *utf8;
  text = converted;
  return true;
}

// The lines of the text and the one being read.
struct Lines {
  const std::vector<std::string_view> all;
  size_t at = 0;
};

// The key that values go to: null before the first key, and inside a deletion section.
struct Section {
  regtree::Key* current = nullptr;
  bool skipping = false;  // inside a "[-KEY]" deletion section: its values are read, not kept
};

// "[KEY]" creates the key and makes it current; "[-KEY]" deletes it with its subkeys and opens
// a deletion section.
void ReadKeyLine(std::string_view l, regtree::Tree& tree, Section& section) {
  if (l.back() != ']') throw ParseError{"a key line must end with ']'"};
  std::string_view inner = l.substr(1, l.size() - 2);
  const bool remove = !inner.empty() && inner.front() == '-';
  if (remove) inner.remove_prefix(1);
  const auto path = regtree::ParsePath(inner);
  if (!path) throw ParseError{"bad key path '" + std::string(inner) + "'"};
  if (std::string beyond = regtree::BeyondLimits(*path); !beyond.empty()) {
    throw ParseError{std::move(beyond)};
  }
  if (remove) {
    bool changed = false;
    if (!path->parts.empty()) tree.DeleteTree(std::string(inner), changed);
    section = Section{nullptr, true};
  } else {
    section = Section{tree.Create(*path), false};
  }
}

uint32_t ReadDword(std::string_view l) {
  const std::string_view digits = Trim(l);
  if (digits.empty() || digits.size() > 8) throw ParseError{"bad dword"};
  uint32_t d = 0;
  for (char c : digits) {
    if (HexDigit(c) < 0) throw ParseError{"bad dword"};
    d = d * 16 + static_cast<uint32_t>(HexDigit(c));
  }
  return d;
}

// The type of "hex(t):" (binary for a plain "hex:"), with `l` moved past the colon.
RegType ReadHexType(std::string_view& l) {
  uint32_t type = static_cast<uint32_t>(RegType::Binary);
  if (!l.empty() && l.front() == '(') {
    const size_t close = l.find(')');
    if (close == std::string_view::npos || close == 1 || close > 9) {
      throw ParseError{"bad hex type"};
    }
    type = 0;
    for (char c : l.substr(1, close - 1)) {
      if (HexDigit(c) < 0) throw ParseError{"bad hex type"};
      type = type * 16 + static_cast<uint32_t>(HexDigit(c));
    }
    l.remove_prefix(close + 1);
  }
  if (l.empty() || l.front() != ':') throw ParseError{"expected ':' after hex"};
  l.remove_prefix(1);
  return static_cast<RegType>(type);
}

// A hex list that a trailing backslash continues on the next line, joined; the lines move on
// to the last line it takes.
std::string JoinContinuedLines(std::string_view first, Lines& lines) {
  std::string list(first);
  while (!list.empty() && list.back() == '\\') {
    list.pop_back();
    if (lines.at + 1 >= lines.all.size()) throw ParseError{"the file ends inside a hex value"};
    list += std::string(Trim(lines.all[++lines.at]));
  }
  return list;
}

// The data after a value's '=': a string, a dword, a hex list, or "-" (`remove`: the value is
// deleted). A malformed hex list is reported at the value's first line.
RegValue ReadValueData(std::string_view l, const std::string& name, Lines& lines, size_t valueLine,
                       bool& remove) {
  RegValue v;
  v.name = name;
  if (!l.empty() && l.front() == '"') {
    const std::string s = ReadQuoted(l);
    if (!Trim(l).empty()) throw ParseError{"text after the closing quote"};
    v.type = RegType::String;
    v.data = Utf8ToRegString(s);
  } else if (l.substr(0, 6) == "dword:") {
    v = RegValue::FromDword(name, ReadDword(l.substr(6)));
  } else if (l.substr(0, 3) == "hex") {
    l.remove_prefix(3);
    const RegType type = ReadHexType(l);
    const std::string list = JoinContinuedLines(l, lines);
    try {
      v.data = ParseHexList(list);
    } catch (const ParseError&) {
      lines.at = valueLine;
      throw;
    }
    v.type = type;
  } else if (Trim(l) == "-") {
    remove = true;
  } else {
    throw ParseError{"unknown value type"};
  }
  return v;
}

// A value line ("name"=data or @=data): the value is put into the current key, or deleted
// from it; inside a deletion section it is read and dropped.
void ReadValueLine(std::string_view l, Lines& lines, const Section& section) {
  if (l.front() != '"' && l.front() != '@') throw ParseError{"unexpected text"};
  if (section.current == nullptr && !section.skipping) {
    throw ParseError{"a value before the first key"};
  }
  const size_t valueLine = lines.at;
  std::string name;
  if (l.front() == '@') {
    l.remove_prefix(1);
  } else {
    name = ReadQuoted(l);
  }
  l = TrimLeft(l);
  if (l.empty() || l.front() != '=') throw ParseError{"expected '=' after the value name"};
  bool remove = false;
  const RegValue v = ReadValueData(TrimLeft(l.substr(1)), name, lines, valueLine, remove);
  if (std::string beyond = regtree::BeyondLimits(v); !beyond.empty()) {
    lines.at = valueLine;
    throw ParseError{std::move(beyond)};
  }
  if (section.skipping) return;
  if (remove) {
    section.current->RemoveValue(name);
  } else {
    section.current->PutValue(v);
  }
}

}  // namespace

bool ParseRegText(std::string_view text, regtree::Tree& tree, int& line, std::string& message) {
  std::string converted;
  if (!DecodeEncoding(text, converted, line, message)) return false;
  Lines lines{SplitLines(text)};
  bool sawHeader = false;
  Section section;
  try {
    for (; lines.at < lines.all.size(); ++lines.at) {
      const std::string_view l = Trim(lines.all[lines.at]);
      if (l.empty() || l.front() == ';') continue;
      if (sawHeader && l.front() == '[') {
        ReadKeyLine(l, tree, section);
      } else if (sawHeader) {
        ReadValueLine(l, lines, section);
      } else if (l == kRegFileHeader) {
        sawHeader = true;
      } else {
        throw ParseError{"expected \"" + std::string(kRegFileHeader) + "\""};
      }
    }
  } catch (const ParseError& e) {
    line = static_cast<int>(lines.at) + 1;
    message = e.message;
    return false;
  }
  // A text of blank lines and comments only has no header, and reads as an empty file.
  return true;
}

}  // namespace kirnow::platform
