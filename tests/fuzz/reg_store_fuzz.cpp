// Fuzz target: the registry store's reader and writer. The input is a store file, optionally
// followed by a line ";--import--" and a .reg file to import into it. What parses must come back
// as the same tree (names in their case, values in their order, types and bytes) when written
// afresh and read again, and when written through the file's own layout and read again, before
// and after the import; a layout that can keep the file writes an unchanged tree byte for byte,
// and the layout a save remembers is the one its text would be read with.
// A UTF-16 file cut inside a character is refused.
#include <string>

#include "platform/registry/posix/reg_parser.h"
#include "platform/registry/posix/reg_store.h"
#include "platform/registry/posix/reg_writer.h"
#include "tests/fuzz/fuzz_support.h"

using namespace kirnow::platform;

namespace {

constexpr std::string_view kImportMark = "\n;--import--\n";

bool SameKey(const regtree::Key& a, const regtree::Key& b) {
  if (a.name != b.name || a.values() != b.values() || a.subkeys().size() != b.subkeys().size()) {
    return false;
  }
  for (size_t i = 0; i < a.subkeys().size(); ++i) {
    if (!SameKey(*a.subkeys()[i], *b.subkeys()[i])) return false;
  }
  return true;
}

bool SameTree(const regtree::Tree& a, const regtree::Tree& b) {
  for (size_t i = 0; i < a.Roots().size(); ++i) {
    if (!SameKey(*a.Roots()[i], *b.Roots()[i])) return false;
  }
  return true;
}

// Written through `layout`, the text comes with the layout its reader would find in it.
void CheckWrittenThrough(const RegLayout& layout, const regtree::Tree& tree) {
  RegLayout written;
  FUZZ_CHECK(ReadRegLayout(FormatRegText(tree, layout, &written)) == written);
}

// The text must parse, and into the tree it was written from.
void CheckReadsBackAs(const std::string& text, const regtree::Tree& tree) {
  regtree::Tree again;
  int line = 0;
  std::string message;
  if (!ParseRegText(text, again, line, message)) {
    std::fprintf(stderr, "written text refused at line %d (%s):\n%s\n", line, message.c_str(),
                 text.c_str());
  }
  FUZZ_CHECK(line == 0);
  FUZZ_CHECK(SameTree(again, tree));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const size_t mark = input.find(kImportMark);
  const std::string_view file = input.substr(0, mark);

  regtree::Tree tree;
  int line = 0;
  std::string message;
  if (!ParseRegText(file, tree, line, message)) {
    FUZZ_CHECK(line >= 1 && !message.empty());
    return 0;
  }
  // A UTF-16 file that ends inside a character was cut short: it cannot be read whole.
  FUZZ_CHECK(!(file.size() % 2 == 1 && file.substr(0, 2) == "\xFF\xFE"));
  const RegLayout layout = ReadRegLayout(file);
  CheckReadsBackAs(FormatRegText(tree), tree);
  const std::string kept = FormatRegText(tree, layout);
  CheckReadsBackAs(kept, tree);
  if (layout.usable) FUZZ_CHECK(kept == file);
  CheckWrittenThrough(layout, tree);

  if (mark == std::string_view::npos) return 0;
  const std::string_view import = input.substr(mark + kImportMark.size());
  regtree::Tree scratch;
  if (!ParseRegText(import, scratch, line, message)) return 0;
  FUZZ_CHECK(ParseRegText(import, tree, line, message));
  CheckReadsBackAs(FormatRegText(tree), tree);
  CheckReadsBackAs(FormatRegText(tree, layout), tree);
  CheckWrittenThrough(layout, tree);
  return 0;
}
