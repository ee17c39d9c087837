// The registrar: applies a registration script to the registry, in register or unregister mode.
//
// Script syntax (the registrar-script subset our server uses):
//
//   HKCR
//   {
//     NoRemove CLSID
//     {
//       ForceRemove {clsid} = s 'POSLDisplay Class'
//       {
//         InprocServer32 = s '%MODULE%'
//         {
//           val ThreadingModel = s 'Apartment'
//         }
//       }
//     }
//   }
//
// A root (HKCR, HKLM, HKCU, HKU or their long names) holds keys. A key is a name, optionally
// preceded by NoRemove, ForceRemove or Delete, optionally followed by "= type data" (its default
// value) and by a braced list of subkeys and "val name = type data" named values. Types: s
// (string), d (DWORD, decimal or 0x hexadecimal), b (binary, hexadecimal digit pairs). Names and
// data are bare words or single-quoted ('' inside quotes is one quote). %NAME% in names and data
// is replaced by the caller's replacement for NAME (%% is one percent sign); replacements are
// inserted after the script is split into words, so a path with blanks or quotes stays intact.
//
// Register mode: a ForceRemove key that exists is deleted with its subkeys and written anew; a
// Delete key is deleted; every other key is created if missing and its values written.
// Unregister mode: a NoRemove key stays and only its listed contents are removed; every other
// key is deleted with all its subkeys; a named value of a NoRemove key is deleted.
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/com/com_types.h"
#include "platform/registry/registry.h"

namespace kirnow::registrar {

enum class Mode { Register, Unregister };

enum class KeyFlag { None, NoRemove, ForceRemove, Delete };

struct ScriptNode {
  bool isValue = false;  // a "val" item rather than a key
  KeyFlag flag = KeyFlag::None;
  std::string name;
  std::optional<platform::RegValue> value;  // default value of a key, or the named value
  std::vector<ScriptNode> children;
};

struct Script {
  // One entry per root block; `name` holds the canonical root name.
  std::vector<ScriptNode> roots;
};

using Replacements = std::map<std::string, std::string>;

// The names the library's own script uses: MODULE (the library's full path), CLSID, LIBID,
// PROGID, VIPROGID (the version-independent ProgID) and DESCRIPTION (the class's name as the
// registry shows it), from guids.h.
Replacements ServerReplacements(const std::string& modulePath);

// Parses `text`, substituting %NAME% from `replacements`. On failure answers nullopt and, when
// `error` is given, a description with the line number.
std::optional<Script> ParseScript(std::string_view text, const Replacements& replacements,
                                  std::string* error = nullptr);

// Applies a parsed script. Stops at the first registry operation that fails and answers
// E_ACCESSDENIED (the registry refused the change); S_OK otherwise. A key missing in unregister
// mode is not a failure.
HRESULT ApplyScript(platform::Registry& registry, const Script& script, Mode mode,
                    std::string* error = nullptr);

// Parses and applies; a script that does not parse answers DISP_E_EXCEPTION.
HRESULT RunScript(platform::Registry& registry, std::string_view text, Mode mode,
                  const Replacements& replacements, std::string* error = nullptr);

}  // namespace kirnow::registrar
