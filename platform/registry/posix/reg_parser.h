// Reading registry files in the format of a regedit export ("Windows Registry Editor Version
// 5.00"), UTF-8 or, as regedit saves them, UTF-16LE with a byte order mark.
#pragma once

#include <string>
#include <string_view>

#include "platform/registry/reg_tree.h"

namespace kirnow::platform {

// The header line that every registry file starts with.
inline constexpr std::string_view kRegFileHeader = "Windows Registry Editor Version 5.00";

// Parses the text of a registry file into `tree`. On failure returns false and sets `line`
// (1-based) and `message`.
bool ParseRegText(std::string_view text, regtree::Tree& tree, int& line, std::string& message);

}  // namespace kirnow::platform
