// Writing registry files: the whole tree in regedit's layout, or through the layout of the file
// as it was read so that untouched sections keep their bytes. See reg_writer.h.
#include "platform/registry/posix/reg_writer.h"

#include <cstdio>
#include <unordered_set>

#include "platform/registry/posix/reg_parser.h"
#include "platform/text/name_compare.h"
#include "platform/text/utf_convert.h"

namespace kirnow::platform {
namespace {

std::string Escape(std::string_view s) {
  std::string out;
  for (char c : s) {
    if (c == '\\' || c == '"') out.push_back('\\');
    out.push_back(c);
  }
  return out;
}

// The text of a string value when it can be written as "..." and read back to the same bytes:
// UTF-16 with exactly one terminating zero, no line breaks, valid surrogates.
std::optional<std::string> PlainString(const std::vector<uint8_t>& data) {
  if (data.size() < 2 || data.size() % 2 != 0) return std::nullopt;
  std::u16string wide;
  for (size_t i = 0; i + 2 < data.size(); i += 2) {
    const auto c = static_cast<char16_t>(data[i] | (data[i + 1] << 8));
    if (c == 0 || c == u'\r' || c == u'\n') return std::nullopt;
    wide.push_back(c);
  }
  if (data[data.size() - 2] != 0 || data[data.size() - 1] != 0) return std::nullopt;
  return Utf16ToUtf8Strict(wide);
}

void AppendHex(std::string& out, std::string line, const std::vector<uint8_t>& data) {
  // regedit keeps lines within 80 columns, continuing with a backslash and two spaces.
  static const char* const kDigits = "0123456789abcdef";
  for (size_t i = 0; i < data.size(); ++i) {
    std::string tok{kDigits[data[i] >> 4], kDigits[data[i] & 15]};
    if (i + 1 < data.size()) tok.push_back(',');
    if (line.size() + tok.size() > 79 && line.size() > 2) {
      out += line + "\\\n";
      line = "  ";
    }
    line += tok;
  }
  out += line + "\n";
}

void FormatValue(std::string& out, const RegValue& v) {
  std::string prefix = v.name.empty() ? std::string("@=") : "\"" + Escape(v.name) + "\"=";
  if (v.type == RegType::String) {
    if (auto text = PlainString(v.data)) {
      out += prefix + "\"" + Escape(*text) + "\"\n";
      return;
    }
  }
  if (v.type == RegType::Dword && v.data.size() == 4) {
    char buf[16];
    const uint32_t d = static_cast<uint32_t>(v.data[0]) | (static_cast<uint32_t>(v.data[1]) << 8) |
                       (static_cast<uint32_t>(v.data[2]) << 16) |
                       (static_cast<uint32_t>(v.data[3]) << 24);
    std::snprintf(buf, sizeof buf, "dword:%08x", d);
    out += prefix + buf + "\n";
    return;
  }
  if (v.type == RegType::Binary) {
    AppendHex(out, prefix + "hex:", v.data);
    return;
  }
  char kind[24];
  std::snprintf(kind, sizeof kind, "hex(%x):", static_cast<unsigned>(v.type));
  AppendHex(out, prefix + kind, v.data);
}

// The text being written and, when asked for, its layout as ReadRegLayout reads it: the
// preamble, then sections, each led by the filler lines before its key line, then the tail.
class Writer {
 public:
  explicit Writer(RegLayout* layout) : layout_(layout) {
    if (layout_ != nullptr) *layout_ = RegLayout{};
  }

  void Preamble(std::string_view text) {
    out_ += text;
    if (layout_ == nullptr) return;
    layout_->usable = true;
    layout_->preamble = text;
  }
  // A section: `lead`, then `text` (its key line, naming `path`, and its value lines), which
  // gives its key `values`. `key` is the key's identity where `path` does not spell its root
  // canonically.
  void Section(std::string_view lead, std::string_view path, std::string_view text,
               const std::vector<RegValue>& values, std::string_view key = {}) {
    out_ += lead;
    out_ += text;
    if (layout_ == nullptr) return;
    layout_->sections.push_back(RegSection{key.empty() ? text::FoldedAscii(path) : std::string(key),
                                           std::string(path), std::string(lead), std::string(text),
                                           values});
  }
  // Ends the last line, where the file ended without a line break and a section follows.
  void EndLine() {
    if (out_.empty() || out_.back() == '\n') return;
    out_ += '\n';
    if (layout_ == nullptr) return;
    (layout_->sections.empty() ? layout_->preamble : layout_->sections.back().text) += '\n';
  }
  void Tail(std::string_view text) {
    out_ += text;
    if (layout_ != nullptr) layout_->tail = text;
  }
  std::string Take() { return std::move(out_); }

 private:
  RegLayout* const layout_;
  std::string out_;
};

// A key's section as the store writes it: the key line and a line for each value.
std::string SectionText(const regtree::Key& key, std::string_view path) {
  std::string text = "[" + std::string(path) + "]\n";
  for (const RegValue& v : key.values()) FormatValue(text, v);
  return text;
}

// `path` names the key; it is the buffer of every path below, as the walk goes down and up.
void FormatKey(Writer& w, const regtree::Key& key, std::string& path, bool isRoot) {
  if (!isRoot || !key.values().empty()) w.Section("\n", path, SectionText(key, path), key.values());
  for (const auto& sub : key.subkeys()) {
    const size_t length = path.size();
    path += "\\" + sub->name;
    FormatKey(w, *sub, path, false);
    path.resize(length);
  }
}

// The whole tree in the layout regedit exports.
std::string FormatAfresh(const regtree::Tree& tree, RegLayout* written) {
  Writer w(written);
  w.Preamble(std::string(kRegFileHeader) + "\n");
  for (const auto& root : tree.Roots()) {
    std::string path = root->name;
    FormatKey(w, *root, path, true);
  }
  w.Tail("\n");
  return w.Take();
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() &&
         (s.back() == ' ' || s.back() == '\t' || s.back() == '\r' || s.back() == '\n')) {
    s.remove_suffix(1);
  }
  return s;
}

// Lines with their line ends, so that joining them gives the text back.
std::vector<std::string_view> LinesWithEnds(std::string_view text) {
  std::vector<std::string_view> lines;
  size_t start = 0;
  while (start < text.size()) {
    const size_t nl = text.find('\n', start);
    const size_t end = nl == std::string_view::npos ? text.size() : nl + 1;
    lines.push_back(text.substr(start, end - start));
    start = end;
  }
  return lines;
}

bool IsFiller(std::string_view line) {
  const std::string_view t = Trim(line);
  return t.empty() || t.front() == ';';
}

// The key's identity: root and names, ASCII letters folded, as the registry compares them.
std::string CanonicalKey(const regtree::Path& p) {
  std::string key = p.root;
  for (const auto& part : p.parts) key += "\\" + part;
  return text::FoldedAscii(key);
}

// A value line that deletes a value: "name"=- (the text after the last '=' is a lone '-').
bool DeletesValue(std::string_view line) {
  const std::string_view t = Trim(line);
  const size_t eq = t.rfind('=');
  return eq != std::string_view::npos && Trim(t.substr(eq + 1)) == "-";
}

// Keys of the tree that the layout does not write, in the order FormatKey writes them: those
// with values, and empty keys without subkeys (the only way they can exist in the file).
void AppendNewKeys(Writer& w, const regtree::Key& key, std::string& path, bool isRoot,
                   const std::unordered_set<const regtree::Key*>& written) {
  const bool needed = !key.values().empty() || (!isRoot && key.subkeys().empty());
  if (needed && written.count(&key) == 0) {
    w.EndLine();
    w.Section("\n", path, SectionText(key, path), key.values());
  }
  for (const auto& sub : key.subkeys()) {
    const size_t length = path.size();
    path += "\\" + sub->name;
    AppendNewKeys(w, *sub, path, false, written);
    path.resize(length);
  }
}

// The path a section names, spelt as the tree spells its keys now: the root as the section wrote
// it, then each name in the case the key was created with (a key deleted and created again under
// another case has its new name). Empty when the key is gone.
std::string PathAsKept(regtree::Tree& tree, std::string_view written) {
  const auto path = regtree::ParsePath(written);
  if (!path) return {};
  const regtree::Key* key = tree.Root(path->root);
  std::string out(written.substr(0, written.find('\\')));
  for (const std::string& part : path->parts) {
    key = key != nullptr ? key->FindSubkey(part) : nullptr;
    if (key == nullptr) return {};
    out += "\\" + key->name;
  }
  return out;
}

// Whether a reader would take a key's name from this key line in another case than the tree
// keeps it (a key is named by the first line that mentions it: a key deleted and created again
// under another case has its new name in the tree, not in the lines that named it before). Marks
// the keys the line mentions in `named`, the keys that earlier lines have named.
bool RenamesAKey(regtree::Tree& tree, std::string_view written,
                 std::unordered_set<const regtree::Key*>& named) {
  const auto path = regtree::ParsePath(written);
  if (!path) return false;
  const regtree::Key* key = tree.Root(path->root);
  bool renames = false;
  for (const std::string& part : path->parts) {
    key = key != nullptr ? key->FindSubkey(part) : nullptr;
    if (key == nullptr) return false;
    if (named.insert(key).second && part != key->name) renames = true;
  }
  return renames;
}

// A kept section's text with its key line naming `path` instead of what it was read with; the
// line keeps its line end.
std::string WithKeyLine(const std::string& text, const std::string& path) {
  const size_t nl = text.find('\n');
  if (nl == std::string::npos) return "[" + path + "]";
  const bool crlf = nl > 0 && text[nl - 1] == '\r';
  return "[" + path + "]" + (crlf ? "\r" : "") + text.substr(nl);
}

// What each section gave its key, read by the parser itself; one tree takes them all, as no two
// sections name one key. False when a section does not read.
bool ReadSectionValues(RegLayout& layout) {
  regtree::Tree scratch;
  for (RegSection& s : layout.sections) {
    int line = 0;
    std::string message;
    if (!ParseRegText(std::string(kRegFileHeader) + "\n" + s.text, scratch, line, message)) {
      return false;
    }
    const regtree::Key* key = scratch.Find(s.path);
    if (key == nullptr) return false;
    s.values = key->values();
  }
  return true;
}

}  // namespace

std::string FormatRegText(const regtree::Tree& tree) { return FormatAfresh(tree, nullptr); }

RegLayout ReadRegLayout(std::string_view text) {
  RegLayout layout;
  if (text.size() >= 2 && static_cast<uint8_t>(text[0]) == 0xFF &&
      static_cast<uint8_t>(text[1]) == 0xFE) {
    return layout;  // UTF-16: written afresh as UTF-8
  }
  const std::vector<std::string_view> lines = LinesWithEnds(text);
  size_t i = 0;
  // The preamble runs through the header line; a file without one is written afresh. The first
  // line may carry a UTF-8 byte order mark, which the preamble keeps and the test passes over
  // (else a comment behind the mark would pass for the header, and the file written through
  // this layout would have none).
  bool sawHeader = false;
  for (; i < lines.size() && !sawHeader; ++i) {
    layout.preamble += lines[i];
    std::string_view line = lines[i];
    if (i == 0 && line.substr(0, 3) == "\xEF\xBB\xBF") line.remove_prefix(3);
    if (IsFiller(line)) continue;
    if (Trim(line) != kRegFileHeader) return layout;
    sawHeader = true;
  }
  if (!sawHeader) return layout;
  std::unordered_set<std::string> seen;
  std::string pending;  // filler lines not yet given to a section
  RegSection* current = nullptr;
  for (; i < lines.size(); ++i) {
    const std::string_view line = lines[i];
    const std::string_view t = Trim(line);
    if (IsFiller(line)) {
      pending += line;
      continue;
    }
    if (t.front() == '[') {
      std::string_view inner = t.substr(1, t.size() >= 2 ? t.size() - 2 : 0);
      const auto path = regtree::ParsePath(inner);
      if (inner.empty() || inner.front() == '-' || !path) return RegLayout{};
      const std::string key = CanonicalKey(*path);
      if (!seen.insert(key).second) return RegLayout{};
      layout.sections.push_back(
          RegSection{key, std::string(inner), pending, std::string(line), {}});
      pending.clear();
      current = &layout.sections.back();
      continue;
    }
    if (current == nullptr || DeletesValue(line)) return RegLayout{};
    // Filler between two value lines stays inside the section.
    current->text += pending;
    current->text += line;
    pending.clear();
  }
  layout.tail = pending;
  if (!ReadSectionValues(layout)) return RegLayout{};
  layout.usable = true;
  return layout;
}

std::string FormatRegText(const regtree::Tree& tree, const RegLayout& layout, RegLayout* written) {
  if (!layout.usable) return FormatAfresh(tree, written);
  auto& mutableTree = const_cast<regtree::Tree&>(tree);  // Find does not change the tree
  Writer w(written);
  w.Preamble(layout.preamble);
  std::unordered_set<const regtree::Key*> kept;
  std::unordered_set<const regtree::Key*> named;
  for (const RegSection& s : layout.sections) {
    const regtree::Key* key = mutableTree.Find(s.path);
    if (key == nullptr) continue;  // deleted: its section and the comment before it go
    kept.insert(key);
    // A key line that would give a key another case than the store has is written anew, so that
    // the file names every key as the store does.
    const bool renames = RenamesAKey(mutableTree, s.path, named);
    if (key->values() != s.values) {
      const std::string path = PathAsKept(mutableTree, s.path);
      w.Section(s.lead, path, SectionText(*key, path), key->values(), s.key);
    } else if (renames) {
      const std::string path = PathAsKept(mutableTree, s.path);
      w.Section(s.lead, path, WithKeyLine(s.text, path), s.values, s.key);
    } else {
      w.Section(s.lead, s.path, s.text, s.values, s.key);
    }
  }
  for (const auto& root : tree.Roots()) {
    std::string path = root->name;
    AppendNewKeys(w, *root, path, true, kept);
  }
  w.Tail(layout.tail);
  return w.Take();
}

}  // namespace kirnow::platform
