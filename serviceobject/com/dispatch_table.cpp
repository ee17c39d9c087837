// The method table of IPOSLDisplay.
#include "serviceobject/com/dispatch_table.h"

namespace kirnow::dispatch {

namespace {

constexpr ParamType L = ParamType::Long;
constexpr ParamType S = ParamType::Bstr;
constexpr ParamType B = ParamType::Bool;
constexpr ParamType D = ParamType::Dispatch;
constexpr ParamType LR = ParamType::LongRef;
constexpr ParamType SR = ParamType::BstrRef;
constexpr ParamDir In = ParamDir::In;
constexpr ParamDir Out = ParamDir::Out;
constexpr ParamDir InOut = ParamDir::InOut;
constexpr ParamDir No = ParamDir::None;
constexpr ReturnType RL = ReturnType::Long;
constexpr ReturnType RS = ReturnType::Bstr;
constexpr ReturnType RN = ReturnType::None;

constexpr std::array<Method, kMethodCount> kMethods = {{
    {1,
     "OpenService",
     3,
     {{{"DeviceClass", S, In}, {"DeviceName", S, In}, {"pDispatch", D, In}}},
     RL,
     "pRC"},
    {2, "CloseService", 0, {}, RL, "pRC"},
    {3, "ClaimDevice", 1, {{{"Timeout", L, In}}}, RL, "pRC"},
    {4, "ReleaseDevice", 0, {}, RL, "pRC"},
    {5, "CheckHealth", 1, {{{"Level", L, In}}}, RL, "pRC"},
    {6,
     "DirectIO",
     3,
     {{{"Command", L, In}, {"pData", LR, InOut}, {"pString", SR, InOut}}},
     RL,
     "pRC"},
    {7, "DisplayText", 2, {{{"Data", S, In}, {"Attribute", L, In}}}, RL, "pRC"},
    {8,
     "DisplayTextAt",
     4,
     {{{"Row", L, In}, {"Column", L, In}, {"Data", S, In}, {"Attribute", L, In}}},
     RL,
     "pRC"},
    {9, "ClearText", 0, {}, RL, "pRC"},
    {10, "ScrollText", 2, {{{"Direction", L, In}, {"Units", L, In}}}, RL, "pRC"},
    {11, "SetDescriptor", 2, {{{"Descriptor", L, In}, {"Attribute", L, In}}}, RL, "pRC"},
    {12, "ClearDescriptors", 0, {}, RL, "pRC"},
    {13, "RefreshWindow", 1, {{{"Window", L, In}}}, RL, "pRC"},
    {14, "ReadCharacterAtCursor", 1, {{{"pChar", LR, Out}}}, RL, "pRC"},
    {15, "DefineGlyph", 2, {{{"GlyphCode", L, In}, {"Glyph", S, In}}}, RL, "pRC"},
    {16, "GetPropertyNumber", 1, {{{"PropIndex", L, In}}}, RL, "pNumber"},
    {17, "SetPropertyNumber", 2, {{{"PropIndex", L, In}, {"Number", L, In}}}, RN, ""},
    {18, "GetPropertyString", 1, {{{"PropIndex", L, In}}}, RS, "pString"},
    {19, "SetPropertyString", 2, {{{"PropIndex", L, In}, {"String", S, In}}}, RN, ""},
    {20, "COFreezeEvents", 1, {{{"Freeze", B, In}}}, RL, "pRC"},
    {21,
     "CreateWindow",
     6,
     {{{"ViewportRow", L, In},
       {"ViewportColumn", L, In},
       {"ViewportHeight", L, In},
       {"ViewportWidth", L, In},
       {"WindowHeight", L, In},
       {"WindowWidth", L, In}}},
     RL,
     "pRC"},
    {22, "DestroyWindow", 0, {}, RL, "pRC"},
    {23, "SOData", 1, {{{"Status", L, No}}}, RN, ""},
    {24,
     "SODirectIO",
     3,
     {{{"EventNumber", L, No}, {"pData", LR, No}, {"pString", SR, No}}},
     RN,
     ""},
    {25,
     "SOError",
     4,
     {{{"ResultCode", L, No},
       {"ResultCodeExtended", L, No},
       {"ErrorLocus", L, No},
       {"pErrorResponse", LR, No}}},
     RN,
     ""},
    {26, "SOOutputComplete", 1, {{{"OutputID", L, No}}}, RN, ""},
    {27, "SOStatusUpdate", 1, {{{"Data", L, No}}}, RN, ""},
}};

char16_t Lower(char16_t c) { return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + 32) : c; }

template <typename Str>
bool SameName(std::string_view a, Str b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (Lower(static_cast<char16_t>(a[i])) != Lower(static_cast<char16_t>(b[i]))) return false;
  }
  return true;
}

}  // namespace

const std::array<Method, kMethodCount>& Methods() { return kMethods; }

const Method* FindMethod(std::string_view name) {
  for (const Method& m : kMethods) {
    if (SameName(m.name, name)) return &m;
  }
  return nullptr;
}

const Method* FindMethod(std::u16string_view name) {
  for (const Method& m : kMethods) {
    if (SameName(m.name, name)) return &m;
  }
  return nullptr;
}

const Method* FindMethod(int32_t dispid) {
  if (dispid < 1 || dispid > kMethodCount) return nullptr;
  return &kMethods[static_cast<size_t>(dispid - 1)];
}

}  // namespace kirnow::dispatch
