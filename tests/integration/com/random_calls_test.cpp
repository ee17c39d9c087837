// A bounded random-call run over the COM boundary of Kirnow.so with the virtual pole display:
// all 27 methods through IDispatch with adversarial numbers and strings, marquee and blink flips
// on both lines, session calls in between, malformed Invokes, and objects released while a
// marquee runs. It fails on a crash, on a sanitizer report (in the sanitizer builds), and on any
// call that does not return within its bound. KIRNOW_RANDOM_CALLS sets the number of calls (a
// longer run by hand); KIRNOW_RANDOM_SEED the seed.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "opos/opos_constants.h"
#include "platform/com/com_types.h"
#include "serviceobject/com/dispatch_table.h"
#include "serviceobject/com/guids.h"
#include "virtual_display.h"

namespace kirnow {
namespace {

using Clock = std::chrono::steady_clock;

// A call's own bound: its bytes can each take the device's 1000 ms on a display that stops
// reading, but only the first does; the rest is the service object's own work.
constexpr auto kCallBound = std::chrono::seconds(4);

class RandomCaller {
 public:
  explicit RandomCaller(uint32_t seed) : rng_(seed) {}

  int32_t Number() {
    static const int32_t kEdges[] = {0,   1,   -1,   2,       3,         4,        5,
                                     19,  20,  21,   40,      41,        99,       100,
                                     255, 256, 1000, 1000000, INT32_MAX, INT32_MIN};
    switch (Pick(4)) {
      case 0:
        return kEdges[Pick(std::size(kEdges))];
      case 1:
        return static_cast<int32_t>(Pick(30)) - 5;
      case 2:
        return static_cast<int32_t>(rng_());
      default:
        return static_cast<int32_t>(Pick(3)) * 1000000 + static_cast<int32_t>(Pick(600)) +
               (Pick(2) ? 5000 : 0);  // near the property indexes
    }
  }

  std::u16string Text() {
    std::u16string s;
    const size_t n = Pick(4) == 0 ? Pick(300) : Pick(45);
    for (size_t i = 0; i < n; ++i) {
      switch (Pick(6)) {
        case 0:
          s.push_back(static_cast<char16_t>(Pick(32)));  // control characters
          break;
        case 1:
          s.push_back(static_cast<char16_t>(0xD800 + Pick(0x800)));  // lone surrogates
          break;
        case 2:
          s.push_back(static_cast<char16_t>(rng_()));
          break;
        case 3:
          s.push_back(u'\u20AC');
          break;
        default:
          s.push_back(static_cast<char16_t>(u' ' + Pick(95)));
          break;
      }
    }
    return s;
  }

  size_t Pick(size_t n) { return n == 0 ? 0 : static_cast<size_t>(rng_() % n); }

 private:
  std::mt19937 rng_;
};

class Library {
 public:
  Library() : handle_(dlopen(KIRNOW_SO_PATH, RTLD_NOW | RTLD_LOCAL)) {}
  ~Library() {
    if (handle_) dlclose(handle_);
  }
  explicit operator bool() const { return handle_ != nullptr; }
  com::Ref<IDispatch> NewObject() {
    auto get = reinterpret_cast<LPFNGETCLASSOBJECT>(dlsym(handle_, "DllGetClassObject"));
    const CLSID clsid = KIRNOW_CLSID_POSLDISPLAY_INIT;
    com::Ref<IClassFactory> factory;
    com::Ref<IDispatch> object;
    if (get && SUCCEEDED(get(clsid, IID_IClassFactory, factory.receiveVoid()))) {
      factory->CreateInstance(nullptr, IID_IDispatch, object.receiveVoid());
    }
    return object;
  }

 private:
  void* handle_;
};

// One call's arguments. By-reference arguments point into `longs` and `strings`, which never
// grow past their reserve; a string the object replaced in its slot is freed here like ours.
struct Arguments {
  std::vector<LONG> longs;
  std::vector<BSTR> strings;
  std::vector<VARIANT> args;  // in call order
  Arguments() {
    longs.reserve(2 * dispatch::kMaxParams);
    strings.reserve(2 * dispatch::kMaxParams);
  }
  ~Arguments() {
    for (BSTR s : strings) SysFreeString(s);
  }
};

// Arguments for `m` as a script would pass them, now and then of the wrong type.
void Fill(const dispatch::Method& m, RandomCaller& r, Arguments& a, bool tame) {
  for (int i = 0; i < m.count; ++i) {
    const dispatch::Param& p = m.params[static_cast<size_t>(i)];
    VARIANT v;
    VariantInit(&v);
    switch (p.type) {
      case dispatch::ParamType::Long:
      case dispatch::ParamType::Bool:
        v = com::LongArg(r.Number());
        if (tame && m.name == "SetPropertyNumber" && i == 1) v.lVal = static_cast<LONG>(r.Pick(6));
        break;
      case dispatch::ParamType::Bstr:
        a.strings.push_back(com::AllocBstr(r.Text()));
        v = com::BstrArg(a.strings.back());
        break;
      case dispatch::ParamType::Dispatch:
        v.vt = VT_DISPATCH;
        v.pdispVal = nullptr;
        break;
      case dispatch::ParamType::LongRef:
        a.longs.push_back(r.Number());
        v.vt = VT_BYREF | VT_I4;
        v.plVal = &a.longs.back();
        break;
      case dispatch::ParamType::BstrRef:
        a.strings.push_back(com::AllocBstr(r.Text()));
        v.vt = VT_BYREF | VT_BSTR;
        v.pbstrVal = &a.strings.back();
        break;
    }
    if (r.Pick(40) == 0) {  // the wrong type now and then
      VariantInit(&v);
      v.vt = r.Pick(2) ? VT_EMPTY : VT_R8;
      v.dblVal = 1e300;
    }
    a.args.push_back(v);
  }
}

TEST(RandomCalls, EveryCallReturnsWithinItsBoundAndNothingBreaks) {
  const char* countText = std::getenv("KIRNOW_RANDOM_CALLS");
  const char* seedText = std::getenv("KIRNOW_RANDOM_SEED");
  const int calls = countText ? std::atoi(countText) : 1500;
  const uint32_t seed = seedText ? static_cast<uint32_t>(std::strtoul(seedText, nullptr, 10)) : 1;
  SCOPED_TRACE("seed " + std::to_string(seed));

  it::VirtualDisplay display;
  ASSERT_TRUE(display.Start());
  it::TestRegistryFile store;
  store.AddDisplay("JQ POS POLE DISPLAY", 8, display.LinkPath());
  Library library;
  ASSERT_TRUE(library);
  RandomCaller r(seed);
  com::Ref<IDispatch> object = library.NewObject();
  ASSERT_TRUE(object);

  const auto& methods = dispatch::Methods();
  Clock::duration longest{};
  std::array<Clock::duration, dispatch::kMethodCount> total{};
  std::string longestCall;
  for (int call = 0; call < calls; ++call) {
    if (r.Pick(300) == 0) object = library.NewObject();  // released mid-marquee, perhaps
    ASSERT_TRUE(object);
    const dispatch::Method* m = &methods[r.Pick(methods.size())];
    // Sessions, marquees and blinks come often enough to matter.
    // OpenService waits for the display's identification (about half a second): now and then.
    if (m->dispid == 1) m = &methods[1 + r.Pick(methods.size() - 1)];
    switch (r.Pick(100)) {
      case 0:
        m = dispatch::FindMethod(std::string_view("OpenService"));
        break;
      case 1:
      case 2:
      case 3:
      case 4:
      case 5:
      case 6:
        m = dispatch::FindMethod(std::string_view("SetPropertyNumber"));
        break;
      default:
        break;
    }
    Arguments a;
    Fill(*m, r, a, /*tame=*/true);
    if (m->name == "OpenService") {
      a.strings.push_back(com::AllocBstr(u"JQ POS POLE DISPLAY"));
      a.args[1] = com::BstrArg(a.strings.back());
    }
    if (m->name == "SetPropertyNumber" && r.Pick(2)) {
      static const LONG kIndexes[] = {PIDXDisp_MarqueeType,   PIDXDisp_MarqueeUnitWait,
                                      PIDXDisp_CurrentWindow, PIDXDisp_DeviceBrightness,
                                      PIDXDisp_BlinkRate,     PIDX_DeviceEnabled};
      a.args[0] = com::LongArg(kIndexes[r.Pick(std::size(kIndexes))]);
    }
    std::vector<VARIANT> reversed(a.args.rbegin(), a.args.rend());
    DISPPARAMS params = {reversed.empty() ? nullptr : reversed.data(), nullptr,
                         static_cast<UINT>(reversed.size()), 0};
    if (r.Pick(50) == 0 && params.cArgs > 0) --params.cArgs;  // a malformed Invoke
    com::Variant result;
    UINT argErr = 0;
    const auto start = Clock::now();
    object->Invoke(m->dispid, IID_NULL, 0, DISPATCH_METHOD, &params, result.get(), nullptr,
                   &argErr);
    const auto took = Clock::now() - start;
    if (took > longest) {
      longest = took;
      longestCall = std::string(m->name) + " (call " + std::to_string(call) + ")";
    }
    ASSERT_LT(took, kCallBound) << m->name << " at call " << call;
    total[static_cast<size_t>(m->dispid - 1)] += took;
  }
  object.reset();
  for (size_t i = 0; i < total.size(); ++i) {
    const double ms = std::chrono::duration<double, std::milli>(total[i]).count();
    if (ms > 1000) std::printf("  %s: %.0f ms in all\n", std::string(methods[i].name).c_str(), ms);
  }
  std::printf("random calls: %d, seed %u, longest %.1f ms (%s)\n", calls, seed,
              std::chrono::duration<double, std::milli>(longest).count(), longestCall.c_str());
}

}  // namespace
}  // namespace kirnow
