// The method table of IPOSLDisplay, read at compile time from the method list: each signature's
// text gives the parameters' names, types and direction markers.
#include "serviceobject/com/dispatch_table.h"

#include "platform/text/name_compare.h"
#include "serviceobject/com/iposl_display_methods.h"

namespace kirnow::dispatch {

namespace {

constexpr bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

constexpr std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsSpace(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsSpace(s.back())) s.remove_suffix(1);
  return s;
}

// The type of one parameter, spaces removed ("LONG*", "IDispatch*", ...).
constexpr bool TypeIs(std::string_view type, std::string_view want) {
  size_t j = 0;
  for (char c : type) {
    if (IsSpace(c)) continue;
    if (j >= want.size() || want[j] != c) return false;
    ++j;
  }
  return j == want.size();
}

struct Parsed {
  Param param{};
  bool retval = false;
  bool ok = false;
};

// "KIRNOW_IN LONG* pData": the marker, the type and the name.
constexpr Parsed ParseParam(std::string_view text) {
  Parsed out;
  text = Trim(text);
  ParamDir dir = ParamDir::None;
  struct Marker {
    std::string_view word;
    ParamDir dir;
    bool retval;
  };
  constexpr Marker kMarkers[] = {{"KIRNOW_INOUT", ParamDir::InOut, false},
                                 {"KIRNOW_IN", ParamDir::In, false},
                                 {"KIRNOW_OUT", ParamDir::Out, false},
                                 {"KIRNOW_RETVAL", ParamDir::Out, true}};
  for (const Marker& m : kMarkers) {
    if (text.substr(0, m.word.size()) == m.word && text.size() > m.word.size() &&
        IsSpace(text[m.word.size()])) {
      dir = m.dir;
      out.retval = m.retval;
      text = Trim(text.substr(m.word.size()));
      break;
    }
  }
  size_t nameStart = text.size();
  while (nameStart > 0 && !IsSpace(text[nameStart - 1]) && text[nameStart - 1] != '*') --nameStart;
  const std::string_view type = text.substr(0, nameStart);
  out.param.name = text.substr(nameStart);
  out.param.dir = dir;
  out.ok = true;
  if (TypeIs(type, "LONG")) {
    out.param.type = ParamType::Long;
  } else if (TypeIs(type, "BSTR")) {
    out.param.type = ParamType::Bstr;
  } else if (TypeIs(type, "VARIANT_BOOL")) {
    out.param.type = ParamType::Bool;
  } else if (TypeIs(type, "IDispatch*")) {
    out.param.type = ParamType::Dispatch;
  } else if (TypeIs(type, "LONG*")) {
    out.param.type = ParamType::LongRef;
  } else if (TypeIs(type, "BSTR*")) {
    out.param.type = ParamType::BstrRef;
  } else {
    out.ok = false;
  }
  return out;
}

// One method from its DISPID, name and signature text "(...)"; a [retval] parameter becomes the
// return value.
constexpr Method ParseMethod(int32_t dispid, std::string_view name, std::string_view signature) {
  Method m{dispid, name, 0, {}, ReturnType::None, {}};
  signature = Trim(signature);
  signature = signature.substr(1, signature.size() - 2);  // the parentheses
  while (!Trim(signature).empty()) {
    const size_t comma = signature.find(',');
    const Parsed p = ParseParam(signature.substr(0, comma));
    if (!p.ok) throw "a parameter type the method table does not know";
    if (p.retval) {
      m.ret = p.param.type == ParamType::BstrRef ? ReturnType::Bstr : ReturnType::Long;
      m.retName = p.param.name;
    } else {
      if (m.count == kMaxParams) throw "too many parameters";
      m.params[static_cast<size_t>(m.count++)] = p.param;
    }
    if (comma == std::string_view::npos) break;
    signature = signature.substr(comma + 1);
  }
  return m;
}

#define KIRNOW_TABLE_ENTRY(id, name, signature, call) ParseMethod(id, #name, #signature),
constexpr std::array<Method, kMethodCount> kMethods = {
    {KIRNOW_IPOSLDISPLAY_METHODS(KIRNOW_TABLE_ENTRY)}};
#undef KIRNOW_TABLE_ENTRY

constexpr bool DispidsAreOneToCount() {
  for (size_t i = 0; i < kMethods.size(); ++i) {
    if (kMethods[i].dispid != static_cast<int32_t>(i + 1)) return false;
  }
  return true;
}
static_assert(DispidsAreOneToCount(), "DISPID n is the n-th method");

}  // namespace

const std::array<Method, kMethodCount>& Methods() { return kMethods; }

const Method* FindMethod(std::string_view name) {
  for (const Method& m : kMethods) {
    if (text::EqualsNoCase(m.name, name)) return &m;
  }
  return nullptr;
}

const Method* FindMethod(std::u16string_view name) {
  for (const Method& m : kMethods) {
    if (text::EqualsNoCase(m.name, name)) return &m;
  }
  return nullptr;
}

const Method* FindMethod(int32_t dispid) {
  if (dispid < 1 || dispid > kMethodCount) return nullptr;
  return &kMethods[static_cast<size_t>(dispid - 1)];
}

}  // namespace kirnow::dispatch
