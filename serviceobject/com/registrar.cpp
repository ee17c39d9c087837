// The registrar: script parser and the register/unregister walks over the registry seam.
#include "serviceobject/com/registrar.h"

#include <cctype>
#include <cstdlib>

#include "platform/registry/reg_tree.h"
#include "platform/text/name_compare.h"
#include "serviceobject/com/guids.h"

namespace kirnow::registrar {

namespace {

struct Token {
  enum Kind { Word, Quoted, LBrace, RBrace, Equals, End } kind = End;
  std::string text;
  int line = 0;
};

using text::EqualsNoCase;

class Parser {
 public:
  Parser(std::string_view text, const Replacements& repl) : text_(text), repl_(repl) {}

  std::optional<Script> Run(std::string* error) {
    if (!Tokenize()) return Fail(error);
    Script script;
    while (Peek().kind != Token::End) {
      const Token& rootTok = Next();
      if (rootTok.kind != Token::Word) {
        error_ = "a root key name was expected";
        line_ = rootTok.line;
        return Fail(error);
      }
      const std::string root = platform::regtree::CanonicalRoot(rootTok.text);
      if (root.empty()) {
        error_ = "unknown root key '" + rootTok.text + "'";
        line_ = rootTok.line;
        return Fail(error);
      }
      ScriptNode node;
      node.name = root;
      if (!Expect(Token::LBrace, "'{'") || !ParseItems(node.children)) return Fail(error);
      script.roots.push_back(std::move(node));
    }
    return script;
  }

 private:
  std::nullopt_t Fail(std::string* error) {
    if (error) *error = "line " + std::to_string(line_) + ": " + error_;
    return std::nullopt;
  }

  // Replaces %NAME% and %% in a word taken from the script.
  bool Substitute(std::string& s, int line) {
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
      if (s[i] != '%') {
        out.push_back(s[i]);
        continue;
      }
      const size_t close = s.find('%', i + 1);
      if (close == std::string::npos) {
        error_ = "unterminated %NAME% replacement";
        line_ = line;
        return false;
      }
      const std::string name = s.substr(i + 1, close - i - 1);
      if (name.empty()) {
        out.push_back('%');
      } else {
        auto it = repl_.find(name);
        if (it == repl_.end()) {
          error_ = "no replacement for %" + name + "%";
          line_ = line;
          return false;
        }
        out += it->second;
      }
      i = close;
    }
    s = std::move(out);
    return true;
  }

  // The quoted string whose opening quote is at text_[i], with i moved past its closing quote:
  // '' stands for one quote, and a line feed inside counts on `line`. False for a string that
  // is never closed.
  bool ReadQuoted(size_t& i, int& line, std::string& out) {
    ++i;
    while (i < text_.size()) {
      if (text_[i] == '\'') {
        if (i + 1 < text_.size() && text_[i + 1] == '\'') {
          out.push_back('\'');
          i += 2;
          continue;
        }
        ++i;
        return true;
      }
      if (text_[i] == '\n') ++line;
      out.push_back(text_[i++]);
    }
    return false;
  }

  bool Tokenize() {
    int line = 1;
    size_t i = 0;
    while (i < text_.size()) {
      const char c = text_[i];
      if (c == '\n') {
        ++line;
        ++i;
        continue;
      }
      if (std::isspace(static_cast<unsigned char>(c)) || c == '\0') {
        ++i;
        continue;
      }
      Token t;
      t.line = line;
      if (c == '\'') {
        t.kind = Token::Quoted;
        if (!ReadQuoted(i, line, t.text)) {
          error_ = "unterminated quoted string";
          line_ = t.line;
          return false;
        }
      } else {
        while (i < text_.size() && !std::isspace(static_cast<unsigned char>(text_[i])) &&
               text_[i] != '\0') {
          t.text.push_back(text_[i++]);
        }
        if (t.text == "{") {
          t.kind = Token::LBrace;
        } else if (t.text == "}") {
          t.kind = Token::RBrace;
        } else if (t.text == "=") {
          t.kind = Token::Equals;
        } else {
          t.kind = Token::Word;
        }
      }
      if ((t.kind == Token::Word || t.kind == Token::Quoted) && !Substitute(t.text, t.line)) {
        return false;
      }
      tokens_.push_back(std::move(t));
    }
    Token end;
    end.line = line;
    tokens_.push_back(end);
    return true;
  }

  const Token& Peek() const { return tokens_[pos_]; }
  const Token& Next() {
    const Token& t = tokens_[pos_];
    if (t.kind != Token::End) ++pos_;
    return t;
  }
  bool Expect(Token::Kind kind, const char* what) {
    const Token& t = Next();
    if (t.kind == kind) return true;
    error_ = std::string(what) + " was expected";
    line_ = t.line;
    return false;
  }

  bool ParseName(std::string& name) {
    const Token& t = Next();
    if ((t.kind != Token::Word && t.kind != Token::Quoted) || t.text.empty()) {
      error_ = "a name was expected";
      line_ = t.line;
      return false;
    }
    name = t.text;
    return true;
  }

  // "type data" after an '='.
  bool ParseData(const std::string& valueName, platform::RegValue& out) {
    const Token& type = Next();
    const Token& data = Next();
    if (type.kind != Token::Word || (data.kind != Token::Word && data.kind != Token::Quoted)) {
      error_ = "a type (s, d or b) and data were expected";
      line_ = type.line;
      return false;
    }
    line_ = type.line;
    if (EqualsNoCase(type.text, "s")) {
      out = platform::RegValue::FromString(valueName, data.text);
      return true;
    }
    if (EqualsNoCase(type.text, "d")) {
      const std::string& d = data.text;
      const bool hex = d.size() > 2 && d[0] == '0' && (d[1] == 'x' || d[1] == 'X');
      const std::string digits = hex ? d.substr(2) : d;
      if (digits.empty() || digits.size() > (hex ? 8u : 10u)) {
        error_ = "bad DWORD '" + d + "'";
        return false;
      }
      char* end = nullptr;
      const unsigned long long v = std::strtoull(digits.c_str(), &end, hex ? 16 : 10);
      if (*end != '\0' || v > 0xFFFFFFFFull ||
          !std::isxdigit(static_cast<unsigned char>(digits[0]))) {
        error_ = "bad DWORD '" + d + "'";
        return false;
      }
      out = platform::RegValue::FromDword(valueName, static_cast<uint32_t>(v));
      return true;
    }
    if (EqualsNoCase(type.text, "b")) {
      const std::string& d = data.text;
      if (d.size() % 2 != 0) {
        error_ = "binary data needs pairs of hexadecimal digits";
        return false;
      }
      out = platform::RegValue{};
      out.name = valueName;
      out.type = platform::RegType::Binary;
      for (size_t i = 0; i < d.size(); i += 2) {
        if (!std::isxdigit(static_cast<unsigned char>(d[i])) ||
            !std::isxdigit(static_cast<unsigned char>(d[i + 1]))) {
          error_ = "bad binary data '" + d + "'";
          return false;
        }
        out.data.push_back(static_cast<uint8_t>(std::stoul(d.substr(i, 2), nullptr, 16)));
      }
      return true;
    }
    error_ = "unknown value type '" + type.text + "'";
    return false;
  }

  // Items up to and including the closing brace.
  bool ParseItems(std::vector<ScriptNode>& items) {
    for (;;) {
      const Token& t = Peek();
      if (t.kind == Token::RBrace) {
        Next();
        return true;
      }
      if (t.kind == Token::End) {
        error_ = "'}' was expected before the end of the script";
        line_ = t.line;
        return false;
      }
      ScriptNode node;
      if (t.kind == Token::Word && EqualsNoCase(t.text, "val")) {
        Next();
        node.isValue = true;
        if (!ParseName(node.name) || !Expect(Token::Equals, "'='")) return false;
        platform::RegValue v;
        if (!ParseData(node.name, v)) return false;
        node.value = std::move(v);
        items.push_back(std::move(node));
        continue;
      }
      if (t.kind == Token::Word) {
        if (EqualsNoCase(t.text, "NoRemove")) {
          node.flag = KeyFlag::NoRemove;
        } else if (EqualsNoCase(t.text, "ForceRemove")) {
          node.flag = KeyFlag::ForceRemove;
        } else if (EqualsNoCase(t.text, "Delete")) {
          node.flag = KeyFlag::Delete;
        }
        if (node.flag != KeyFlag::None) Next();
      }
      if (!ParseName(node.name)) return false;
      if (node.name.find('\\') != std::string::npos) {
        error_ = "a key name may not contain a backslash";
        return false;
      }
      if (Peek().kind == Token::Equals) {
        Next();
        platform::RegValue v;
        if (!ParseData("", v)) return false;
        node.value = std::move(v);
      }
      if (Peek().kind == Token::LBrace) {
        Next();
        if (!ParseItems(node.children)) return false;
      }
      items.push_back(std::move(node));
    }
  }

  std::string_view text_;
  const Replacements& repl_;
  std::vector<Token> tokens_;
  size_t pos_ = 0;
  std::string error_;
  int line_ = 0;
};

class Applier {
 public:
  Applier(platform::Registry& reg, std::string* error) : reg_(reg), error_(error) {}

  HRESULT Register(const std::string& parent, const ScriptNode& key) {
    const std::string path = parent + "\\" + key.name;
    if (key.flag == KeyFlag::Delete) {
      if (reg_.KeyExists(path) && !reg_.DeleteTree(path)) return Refused("delete", path);
      return S_OK;
    }
    if (key.flag == KeyFlag::ForceRemove && reg_.KeyExists(path) && !reg_.DeleteTree(path)) {
      return Refused("delete", path);
    }
    if (!reg_.CreateKey(path)) return Refused("create", path);
    if (key.value && !reg_.SetValue(path, *key.value)) return Refused("write a value of", path);
    for (const ScriptNode& child : key.children) {
      if (child.isValue) {
        if (!reg_.SetValue(path, *child.value)) return Refused("write a value of", path);
      } else {
        const HRESULT hr = Register(path, child);
        if (FAILED(hr)) return hr;
      }
    }
    return S_OK;
  }

  HRESULT Unregister(const std::string& parent, const ScriptNode& key) {
    const std::string path = parent + "\\" + key.name;
    if (!reg_.KeyExists(path)) return S_OK;
    if (key.flag != KeyFlag::NoRemove) {
      return reg_.DeleteTree(path) ? S_OK : Refused("delete", path);
    }
    for (const ScriptNode& child : key.children) {
      if (child.isValue) {
        if (reg_.GetValue(path, child.name) && !reg_.DeleteValue(path, child.name)) {
          return Refused("delete a value of", path);
        }
      } else {
        const HRESULT hr = Unregister(path, child);
        if (FAILED(hr)) return hr;
      }
    }
    return S_OK;
  }

 private:
  HRESULT Refused(const char* what, const std::string& path) {
    if (error_) *error_ = std::string("the registry refused to ") + what + " " + path;
    return E_ACCESSDENIED;
  }

  platform::Registry& reg_;
  std::string* error_;
};

}  // namespace

std::optional<Script> ParseScript(std::string_view text, const Replacements& replacements,
                                  std::string* error) {
  try {
    return Parser(text, replacements).Run(error);
  } catch (const std::exception& e) {
    if (error) *error = e.what();
    return std::nullopt;
  }
}

HRESULT ApplyScript(platform::Registry& registry, const Script& script, Mode mode,
                    std::string* error) {
  try {
    Applier applier(registry, error);
    for (const ScriptNode& root : script.roots) {
      for (const ScriptNode& item : root.children) {
        if (item.isValue) {
          if (error) *error = "a root key cannot hold values";
          return E_INVALIDARG;
        }
        const HRESULT hr = mode == Mode::Register ? applier.Register(root.name, item)
                                                  : applier.Unregister(root.name, item);
        if (FAILED(hr)) return hr;
      }
    }
    return S_OK;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (...) {
    return E_FAIL;
  }
}

HRESULT RunScript(platform::Registry& registry, std::string_view text, Mode mode,
                  const Replacements& replacements, std::string* error) {
  const auto script = ParseScript(text, replacements, error);
  if (!script) return DISP_E_EXCEPTION;
  return ApplyScript(registry, *script, mode, error);
}

Replacements ServerReplacements(const std::string& modulePath) {
  return {{"MODULE", modulePath},
          {"CLSID", KIRNOW_CLSID_POSLDISPLAY_STR},
          {"LIBID", KIRNOW_LIBID_KIRNOWLIB_STR},
          {"PROGID", KIRNOW_PROGID},
          {"VIPROGID", KIRNOW_VERSION_INDEPENDENT_PROGID},
          {"DESCRIPTION", KIRNOW_CLASS_DESCRIPTION}};
}

}  // namespace kirnow::registrar
