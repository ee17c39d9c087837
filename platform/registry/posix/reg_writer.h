// Writing registry files in regedit's export layout: a whole tree afresh, or through the text
// layout of the file as it was read, so that a save changes only what changed. A file is a preamble
// (the header line), then sections: each a key line with its value lines, led by the blank and
// comment lines before it. Saving through the layout writes every section whose key still holds
// exactly the values the section gave it as it was read, byte for byte (comments, line ends,
// spacing), rewrites a section whose values changed, leaves out a section whose key is gone, and
// adds the keys the file did not have at the end.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/registry/reg_tree.h"

namespace kirnow::platform {

struct RegSection {
  std::string key;               // canonical key path, case-folded (identifies the key)
  std::string path;              // the key path as written between the brackets
  std::string lead;              // blank and comment lines before the key line, as read
  std::string text;              // the key line through its last value line, as read
  std::vector<RegValue> values;  // the values this section gave its key

  bool operator==(const RegSection&) const = default;
};

struct RegLayout {
  // False when the file cannot be kept as it was written: it deletes keys or values, names a
  // key in two sections, or is not UTF-8. The store then writes the whole file afresh.
  bool usable = false;
  std::string preamble;  // the header line (and anything before it), as read
  std::vector<RegSection> sections;
  std::string tail;  // blank and comment lines after the last section

  bool operator==(const RegLayout&) const = default;
};

// The registry file text for `tree`, in the layout regedit exports.
std::string FormatRegText(const regtree::Tree& tree);

// The layout of a file that ParseRegText has accepted.
RegLayout ReadRegLayout(std::string_view text);

// The file text for `tree`, keeping `layout` wherever the tree still matches it (afresh when
// the layout is not usable). With `written`, also the layout of that text, as ReadRegLayout
// would read it: a store that has just saved need not read its own file again.
std::string FormatRegText(const regtree::Tree& tree, const RegLayout& layout,
                          RegLayout* written = nullptr);

}  // namespace kirnow::platform
