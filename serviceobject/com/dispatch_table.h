// The methods of IPOSLDisplay as data: name, DISPID, parameters with their types and directions,
// and the value each method returns through IDispatch, read at compile time from the method list
// (iposl_display_methods.h). The Linux server answers GetIDsOfNames and checks Invoke arguments
// from this table; a unit test keeps it equal to kirnow.idl.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace kirnow::dispatch {

enum class ParamType { Long, Bstr, Bool, Dispatch, LongRef, BstrRef };
// None: the parameter carries no direction attribute (an input at the COM level).
enum class ParamDir { In, Out, InOut, None };
enum class ReturnType { None, Long, Bstr };

struct Param {
  std::string_view name;
  ParamType type;
  ParamDir dir;
};

inline constexpr int kMaxParams = 6;

struct Method {
  int32_t dispid;
  std::string_view name;
  int count;  // number of parameters, the return value not counted
  std::array<Param, kMaxParams> params;
  ReturnType ret;
  std::string_view retName;  // empty when there is none
};

inline constexpr int kMethodCount = 27;

// In interface order: element i has DISPID i + 1.
const std::array<Method, kMethodCount>& Methods();

// Case-insensitive lookup, as automation names are; nullptr when unknown.
const Method* FindMethod(std::string_view name);
const Method* FindMethod(std::u16string_view name);
const Method* FindMethod(int32_t dispid);

}  // namespace kirnow::dispatch
