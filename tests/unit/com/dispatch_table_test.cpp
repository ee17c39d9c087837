// The method table that serves IDispatch on Linux must say what kirnow.idl says: names, DISPIDs,
// parameter order, types, directions and the return value.
#include "serviceobject/com/dispatch_table.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

namespace {

using namespace kirnow::dispatch;

struct IdlParam {
  std::string attrs, type, name;
};
struct IdlMethod {
  int id = 0;
  std::string name;
  std::vector<IdlParam> params;
};

std::string Trim(const std::string& s) {
  const auto b = s.find_first_not_of(" \t\r\n");
  const auto e = s.find_last_not_of(" \t\r\n");
  return b == std::string::npos ? "" : s.substr(b, e - b + 1);
}

// The methods of interface IPOSLDisplay in the IDL text, in declaration order.
std::vector<IdlMethod> ParseIdl(std::string text) {
  text = std::regex_replace(text, std::regex("//[^\n]*"), "");
  const auto start = text.find("interface IPOSLDisplay");
  const auto end = text.find("};", start);
  if (start == std::string::npos || end == std::string::npos) return {};
  const std::string body = text.substr(start, end - start);
  std::vector<IdlMethod> methods;
  const std::regex method(R"(\[\s*id\((\d+)\)[^\]]*\]\s*HRESULT\s+(\w+)\s*\(([^)]*)\))");
  for (std::sregex_iterator it(body.begin(), body.end(), method), stop; it != stop; ++it) {
    IdlMethod m;
    m.id = std::stoi((*it)[1]);
    m.name = (*it)[2];
    std::stringstream params((*it)[3].str());
    std::string p;
    while (std::getline(params, p, ',')) {
      p = Trim(p);
      if (p.empty()) continue;
      IdlParam ip;
      if (p[0] == '[') {
        const auto close = p.find(']');
        // Keep the attributes, which may contain a comma ("[out, retval]"), together.
        ip.attrs = p.substr(1, close - 1);
        p = Trim(p.substr(close + 1));
      }
      const auto space = p.find_last_of(" *");
      ip.type = Trim(p.substr(0, space + 1));
      ip.name = p.substr(space + 1);
      m.params.push_back(ip);
    }
    methods.push_back(m);
  }
  return methods;
}

std::string TypeText(ParamType t) {
  switch (t) {
    case ParamType::Long:
      return "long";
    case ParamType::Bstr:
      return "BSTR";
    case ParamType::Bool:
      return "VARIANT_BOOL";
    case ParamType::Dispatch:
      return "IDispatch*";
    case ParamType::LongRef:
      return "long*";
    case ParamType::BstrRef:
      return "BSTR*";
  }
  return "?";
}

std::string DirText(ParamDir d) {
  switch (d) {
    case ParamDir::In:
      return "in";
    case ParamDir::Out:
      return "out";
    case ParamDir::InOut:
      return "in,out";
    case ParamDir::None:
      return "";
  }
  return "?";
}

TEST(DispatchTable, MatchesTheInterfaceDefinition) {
  std::ifstream file(KIRNOW_IDL_PATH);
  if (!file) GTEST_SKIP() << "kirnow.idl not found at " << KIRNOW_IDL_PATH;
  std::stringstream text;
  text << file.rdbuf();
  // Commas inside attribute brackets would split parameters: protect them first.
  std::string idl = std::regex_replace(text.str(), std::regex(R"(\[\s*(in|out)\s*,\s*)"), "[$1|");
  idl = std::regex_replace(idl, std::regex(R"(\[\s*out\|\s*retval\s*\])"), "[retval]");
  const std::vector<IdlMethod> parsed = ParseIdl(idl);
  ASSERT_EQ(parsed.size(), static_cast<size_t>(kMethodCount));

  for (size_t i = 0; i < parsed.size(); ++i) {
    const IdlMethod& idlm = parsed[i];
    const Method& m = Methods()[i];
    SCOPED_TRACE(idlm.name);
    EXPECT_EQ(idlm.id, static_cast<int>(i + 1));
    EXPECT_EQ(m.dispid, idlm.id);
    EXPECT_EQ(m.name, idlm.name);
    std::vector<IdlParam> params = idlm.params;
    std::string retName;
    std::string retType;
    if (!params.empty() && params.back().attrs == "retval") {
      retName = params.back().name;
      retType = params.back().type;
      params.pop_back();
    }
    EXPECT_EQ(m.retName, retName);
    EXPECT_EQ(m.ret == ReturnType::Long   ? "long*"
              : m.ret == ReturnType::Bstr ? "BSTR*"
                                          : "",
              retType);
    ASSERT_EQ(m.count, static_cast<int>(params.size()));
    for (size_t p = 0; p < params.size(); ++p) {
      std::string attrs = params[p].attrs;
      for (char& c : attrs) {
        if (c == '|') c = ',';
      }
      attrs.erase(std::remove(attrs.begin(), attrs.end(), ' '), attrs.end());
      std::string type = params[p].type;
      type.erase(std::remove(type.begin(), type.end(), ' '), type.end());
      EXPECT_EQ(m.params[p].name, params[p].name);
      EXPECT_EQ(TypeText(m.params[p].type), type) << params[p].name;
      EXPECT_EQ(DirText(m.params[p].dir), attrs) << params[p].name;
    }
  }

  // Lookups by name ignore case; by DISPID they cover exactly 1 to 27.
  EXPECT_EQ(FindMethod(std::string_view("sostatusupdate"))->dispid, 27);
  EXPECT_EQ(FindMethod(std::u16string_view(u"OPENSERVICE"))->dispid, 1);
  EXPECT_EQ(FindMethod(std::string_view("OpenServic")), nullptr);
  EXPECT_EQ(FindMethod(0), nullptr);
  EXPECT_EQ(FindMethod(28), nullptr);
}

}  // namespace
