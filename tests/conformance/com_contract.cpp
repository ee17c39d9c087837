// The cases of the COM contract. Each one leaves nothing alive behind it, so that the next one
// starts from a library with no objects and no locks.
#include "tests/conformance/com_contract.h"

#include <cstdio>
#include <iterator>

#include "opos/opos_constants.h"
#include "platform/text/utf_convert.h"
#include "serviceobject/com/guids.h"
#include "serviceobject/com/iposl_display.h"
#include "serviceobject/com/iposl_display_methods.h"

namespace kirnow::contract {

void Report::CheckHr(HRESULT got, HRESULT want, const std::string& what) {
  char codes[64];
  std::snprintf(codes, sizeof codes, " (hr 0x%08lx, expected 0x%08lx)",
                static_cast<unsigned long>(got), static_cast<unsigned long>(want));
  Check(got == want, got == want ? what : what + codes);
}

namespace {

using com::Ref;

const CLSID kClsid = KIRNOW_CLSID_POSLDISPLAY_INIT;
const IID kIidPoslDisplay = KIRNOW_IID_IPOSLDISPLAY_INIT;
const IID kIidEvents = KIRNOW_DIID_IPOSLDISPLAYEVENTS_INIT;

Ref<IClassFactory> Factory(Server& s, Report& r) {
  Ref<IClassFactory> factory;
  r.CheckHr(s.GetClassObject(kClsid, IID_IClassFactory, factory.receiveVoid()), S_OK,
            "DllGetClassObject hands out the class factory");
  return factory;
}

Ref<IDispatch> NewObject(Server& s, Report& r) {
  Ref<IDispatch> object;
  Ref<IClassFactory> factory = Factory(s, r);
  if (factory) {
    r.CheckHr(factory->CreateInstance(nullptr, IID_IDispatch, object.receiveVoid()), S_OK,
              "CreateInstance for IDispatch");
  }
  return object;
}

VARIANT Long(LONG v) { return com::LongArg(v); }

// A late-bound call by DISPID with the arguments in call order.
HRESULT Call(IDispatch* object, DISPID id, std::vector<VARIANT> args, VARIANT* result = nullptr) {
  std::vector<VARIANT> reversed(args.rbegin(), args.rend());
  DISPPARAMS params = {reversed.empty() ? nullptr : reversed.data(), nullptr,
                       static_cast<UINT>(reversed.size()), 0};
  return object->Invoke(id, IID_NULL, 0, DISPATCH_METHOD, &params, result, nullptr, nullptr);
}

// The DISPIDs of the methods the cases call, as the method list numbers them.
enum : DISPID {
#define KIRNOW_DISPID_ENUM(id, name, signature, call) k##name = id,
  KIRNOW_IPOSLDISPLAY_METHODS(KIRNOW_DISPID_ENUM)
#undef KIRNOW_DISPID_ENUM
};

LONG Number(IDispatch* object, LONG index) {
  com::Variant result;
  if (FAILED(Call(object, kGetPropertyNumber, {Long(index)}, result.get()))) return -999;
  return result->vt == VT_I4 ? result->lVal : -998;
}

LONG RcCall(IDispatch* object, DISPID id, std::vector<VARIANT> args) {
  com::Variant result;
  if (FAILED(Call(object, id, std::move(args), result.get()))) return -999;
  return result->vt == VT_I4 ? result->lVal : -998;
}

// Opens, claims and enables a session on the runner's display; answers whether all three
// succeeded.
bool OpenSession(Server& s, IDispatch* object, Report& r) {
  com::Bstr deviceClass(u"LineDisplay");
  com::Bstr deviceName(platform::Utf8ToUtf16(s.DeviceName()));
  VARIANT c, n, none;
  VariantInit(&c);
  VariantInit(&n);
  VariantInit(&none);
  c.vt = VT_BSTR;
  c.bstrVal = deviceClass.get();
  n.vt = VT_BSTR;
  n.bstrVal = deviceName.get();
  none.vt = VT_DISPATCH;
  none.pdispVal = nullptr;
  const LONG open = RcCall(object, kOpenService, {c, n, none});
  r.Check(open == OPOS_SUCCESS, "OpenService on the display: " + std::to_string(open));
  const LONG claim = RcCall(object, kClaimDevice, {Long(1000)});
  r.Check(claim == OPOS_SUCCESS, "ClaimDevice: " + std::to_string(claim));
  Call(object, kSetPropertyNumber, {Long(PIDX_DeviceEnabled), Long(1)});
  return open == OPOS_SUCCESS && claim == OPOS_SUCCESS;
}

// ---- The cases --------------------------------------------------------------------------------

void UnloadAnswers(Server& s, Report& r) {
  r.CheckHr(s.CanUnloadNow(), S_OK, "DllCanUnloadNow: S_OK with nothing alive");
  Ref<IClassFactory> factory = Factory(s, r);
  if (!factory) return;
  r.CheckHr(s.CanUnloadNow(), S_FALSE, "DllCanUnloadNow: S_FALSE while a client holds the factory");
  Ref<IDispatch> object;
  factory->CreateInstance(nullptr, IID_IDispatch, object.receiveVoid());
  factory.reset();
  r.CheckHr(s.CanUnloadNow(), S_FALSE, "DllCanUnloadNow: S_FALSE while an object is alive");

  // An enumerator of the object's is the library's code too.
  Ref<IConnectionPointContainer> container;
  object->QueryInterface(IID_IConnectionPointContainer, container.receiveVoid());
  Ref<IEnumConnectionPoints> points;
  if (container) container->EnumConnectionPoints(points.receive());
  container.reset();
  object.reset();
  r.Check(static_cast<bool>(points), "EnumConnectionPoints hands out an enumerator");
  r.CheckHr(s.CanUnloadNow(), S_FALSE,
            "DllCanUnloadNow: S_FALSE while an enumerator outlives its object");
  Ref<IEnumConnectionPoints> clone;
  if (points) points->Clone(clone.receive());
  points.reset();
  r.CheckHr(s.CanUnloadNow(), S_FALSE, "DllCanUnloadNow: S_FALSE while a cloned enumerator lives");
  clone.reset();
  r.CheckHr(s.CanUnloadNow(), S_OK, "DllCanUnloadNow: S_OK after the last release");

  Factory(s, r)->LockServer(TRUE);
  r.CheckHr(s.CanUnloadNow(), S_FALSE, "DllCanUnloadNow: S_FALSE while LockServer(TRUE) holds");
  Factory(s, r)->LockServer(FALSE);
  r.CheckHr(s.CanUnloadNow(), S_OK, "DllCanUnloadNow: S_OK after LockServer(FALSE)");
  // An unbalanced unlock is ignored rather than leaving the count below zero, where a later
  // lock would no longer keep the library loaded.
  Factory(s, r)->LockServer(FALSE);
  Factory(s, r)->LockServer(TRUE);
  r.CheckHr(s.CanUnloadNow(), S_FALSE, "LockServer(TRUE) after an unbalanced unlock still holds");
  Factory(s, r)->LockServer(FALSE);
  r.CheckHr(s.CanUnloadNow(), S_OK, "DllCanUnloadNow: S_OK again");
}

void FactoryRefuses(Server& s, Report& r) {
  void* none = reinterpret_cast<void*>(1);
  const CLSID other = {0x12345678, 0, 0, {0, 0, 0, 0, 0, 0, 0, 1}};
  r.CheckHr(s.GetClassObject(other, IID_IClassFactory, &none), CLASS_E_CLASSNOTAVAILABLE,
            "DllGetClassObject: another class is not available");
  r.Check(none == nullptr, "DllGetClassObject: null for another class");
  r.CheckHr(s.GetClassObject(kClsid, IID_IClassFactory, nullptr), E_POINTER,
            "DllGetClassObject: null result pointer");
  Ref<IClassFactory> factory = Factory(s, r);
  if (!factory) return;
  Ref<IClassFactory> again = Factory(s, r);
  r.Check(again.get() == factory.get(), "the class factory is cached: one object");
  r.CheckHr(factory->CreateInstance(nullptr, IID_IDispatch, nullptr), E_POINTER,
            "CreateInstance: null result pointer");
  Ref<IUnknown> wrong;
  r.CheckHr(factory->CreateInstance(nullptr, IID_IClassFactory, wrong.receiveVoid()), E_NOINTERFACE,
            "CreateInstance: an interface the object lacks");
  r.Check(!wrong, "CreateInstance: null after a failed query");
  factory.reset();
  again.reset();
  r.CheckHr(s.CanUnloadNow(), S_OK, "a failed creation leaves nothing alive");
}

// A controlling unknown that counts the references the inner object forwards to it.
struct CountingOuter final : IUnknown {
  ULONG refs = 1;
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
    if (!IsEqualGUID(riid, IID_IUnknown)) {
      *ppv = nullptr;
      return E_NOINTERFACE;
    }
    *ppv = this;
    ++refs;
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
  ULONG STDMETHODCALLTYPE Release() override { return --refs; }
};

void IdentityAndAggregation(Server& s, Report& r) {
  Ref<IDispatch> object = NewObject(s, r);
  if (!object) return;
  Ref<IUnknown> posl, dispatch, unknown1, unknown2;
  object->QueryInterface(kIidPoslDisplay, posl.receiveVoid());
  object->QueryInterface(IID_IDispatch, dispatch.receiveVoid());
  r.Check(posl && posl.get() == dispatch.get(), "IDispatch and IPOSLDisplay are one pointer");
  object->QueryInterface(IID_IUnknown, unknown1.receiveVoid());
  Ref<IConnectionPointContainer> container;
  object->QueryInterface(IID_IConnectionPointContainer, container.receiveVoid());
  if (container) container->QueryInterface(IID_IUnknown, unknown2.receiveVoid());
  r.Check(unknown1 && unknown1.get() == unknown2.get(),
          "IUnknown is the same from every interface");
  void* other = reinterpret_cast<void*>(1);
  r.CheckHr(object->QueryInterface(IID_IClassFactory, &other), E_NOINTERFACE,
            "QueryInterface: an interface the object lacks");
  r.Check(other == nullptr, "QueryInterface: null after E_NOINTERFACE");
  r.CheckHr(object->QueryInterface(IID_IDispatch, nullptr), E_POINTER,
            "QueryInterface: null result pointer");

  Ref<IClassFactory> factory = Factory(s, r);
  CountingOuter outer;
  Ref<IUnknown> inner;
  r.CheckHr(factory->CreateInstance(&outer, IID_IDispatch, inner.receiveVoid()),
            CLASS_E_NOAGGREGATION, "CreateInstance: aggregation asks for IUnknown only");
  r.CheckHr(factory->CreateInstance(&outer, IID_IUnknown, inner.receiveVoid()), S_OK,
            "CreateInstance: aggregated");
  if (!inner) return;
  r.Check(outer.refs == 1, "aggregated: creation takes no reference of the outer object");
  IDispatch* agg = nullptr;
  inner->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&agg));
  r.Check(agg && outer.refs == 2, "aggregated: an inner interface counts on the outer object");
  IUnknown* identity = nullptr;
  if (agg) agg->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity));
  r.Check(identity == &outer, "aggregated: IUnknown through an inner interface is the outer's");
  if (identity) identity->Release();
  if (agg) agg->Release();
  r.Check(outer.refs == 1, "aggregated: the references go back to the outer object");
  inner.reset();
  for (Ref<IUnknown>* held : {&posl, &dispatch, &unknown1, &unknown2}) held->reset();
  container.reset();
  object.reset();
  factory.reset();
  r.CheckHr(s.CanUnloadNow(), S_OK, "the aggregated object is gone with its inner unknown");
}

void ConnectionPoints(Server& s, Report& r) {
  Ref<IDispatch> object = NewObject(s, r);
  Ref<IConnectionPointContainer> container;
  if (object) object->QueryInterface(IID_IConnectionPointContainer, container.receiveVoid());
  r.Check(static_cast<bool>(container), "IConnectionPointContainer is answered");
  if (!container) return;
  IConnectionPoint* point = reinterpret_cast<IConnectionPoint*>(1);
  r.CheckHr(container->FindConnectionPoint(kIidEvents, &point), CONNECT_E_NOCONNECTION,
            "FindConnectionPoint: no point for the event interface");
  r.Check(point == nullptr, "FindConnectionPoint: null result");
  r.CheckHr(container->FindConnectionPoint(kIidEvents, nullptr), E_POINTER,
            "FindConnectionPoint: null result pointer");
  r.CheckHr(container->EnumConnectionPoints(nullptr), E_POINTER,
            "EnumConnectionPoints: null result pointer");
  Ref<IEnumConnectionPoints> points;
  r.CheckHr(container->EnumConnectionPoints(points.receive()), S_OK, "EnumConnectionPoints");
  if (!points) return;
  IConnectionPoint* fetched[2] = {};
  ULONG count = 7;
  r.CheckHr(points->Next(2, fetched, &count), S_FALSE, "the enumerator is empty");
  r.Check(count == 0 && fetched[0] == nullptr, "the enumerator fetches nothing");
  r.CheckHr(points->Next(1, fetched, nullptr), S_FALSE, "Next(1) without a count");
  r.CheckHr(points->Skip(1), S_FALSE, "Skip past the end");
  r.CheckHr(points->Reset(), S_OK, "Reset");
}

void NamesThroughIDispatch(Server& s, Report& r) {
  Ref<IDispatch> object = NewObject(s, r);
  if (!object) return;
  UINT count = 9;
  r.CheckHr(object->GetTypeInfoCount(&count), S_OK, "GetTypeInfoCount");
  r.Check(count == kTypeInfoCount, "GetTypeInfoCount: " + std::to_string(count) +
                                       " (the type library on Windows, the method table on Linux)");
  struct Name {
    const char* name;
    DISPID id;
  };
  static const Name kNames[] = {
#define KIRNOW_NAME_ENTRY(id, name, signature, call) {#name, id},
      KIRNOW_IPOSLDISPLAY_METHODS(KIRNOW_NAME_ENTRY)
#undef KIRNOW_NAME_ENTRY
  };
  int good = 0;
  for (const Name& n : kNames) {
    std::string name = n.name;
    if (n.id % 2 == 0) {
      for (char& c : name) c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c);  // any case
    }
    com::Bstr text(platform::Utf8ToUtf16(name));
    OLECHAR* names[] = {text.get()};
    DISPID id = 0;
    if (object->GetIDsOfNames(IID_NULL, names, 1, 0, &id) == S_OK && id == n.id) ++good;
  }
  r.Check(good == static_cast<int>(std::size(kNames)),
          "GetIDsOfNames: the 27 methods by name in any case, DISPIDs 1 to 27 (" +
              std::to_string(good) + ")");
  com::Bstr unknown(u"Open");
  OLECHAR* names[] = {unknown.get()};
  DISPID id = 0;
  r.CheckHr(object->GetIDsOfNames(IID_NULL, names, 1, 0, &id), DISP_E_UNKNOWNNAME,
            "GetIDsOfNames: an unknown name");
  r.Check(id == DISPID_UNKNOWN, "GetIDsOfNames: DISPID_UNKNOWN for an unknown name");
  r.CheckHr(object->GetIDsOfNames(kIidEvents, names, 1, 0, &id), DISP_E_UNKNOWNINTERFACE,
            "GetIDsOfNames: only IID_NULL");
}

void CallsThroughIDispatch(Server& s, Report& r) {
  Ref<IDispatch> object = NewObject(s, r);
  if (!object) return;
  // The result starts empty, as automation clients pass it: whether a method without a value
  // clears a filled one is the runtime's business (the type library's Invoke does not).
  com::Variant result;
  r.CheckHr(Call(object.get(), kSetPropertyNumber, {Long(PIDXDisp_MarqueeUnitWait), Long(120)},
                 result.get()),
            S_OK, "Invoke SetPropertyNumber");
  r.Check(result->vt == VT_EMPTY, "Invoke SetPropertyNumber: no value");
  r.Check(Number(object.get(), PIDXDisp_MarqueeUnitWait) == 120,
          "Invoke GetPropertyNumber: the long just set");
  r.CheckHr(Call(object.get(), 28, {}), DISP_E_MEMBERNOTFOUND, "Invoke: an unknown DISPID");
  r.CheckHr(Call(object.get(), kGetPropertyNumber, {}), DISP_E_BADPARAMCOUNT,
            "Invoke: too few arguments");

  // By-reference arguments: DirectIO's data and string, ReadCharacterAtCursor's character.
  LONG data = 5;
  BSTR textSlot = com::AllocBstr(u"abc");  // in/out: the callee may free it and put another
  VARIANT refs[3];
  refs[0] = Long(0);
  VariantInit(&refs[1]);
  refs[1].vt = VT_BYREF | VT_I4;
  refs[1].plVal = &data;
  VariantInit(&refs[2]);
  refs[2].vt = VT_BYREF | VT_BSTR;
  refs[2].pbstrVal = &textSlot;
  com::Variant rc;
  r.CheckHr(Call(object.get(), kDirectIO, {refs[0], refs[1], refs[2]}, rc.get()), S_OK,
            "Invoke DirectIO with by-reference data and string");
  r.Check(rc->vt == VT_I4, "Invoke DirectIO: a result code");
  SysFreeString(textSlot);
  LONG character = -3;
  VARIANT charRef;
  VariantInit(&charRef);
  charRef.vt = VT_BYREF | VT_I4;
  charRef.plVal = &character;
  r.CheckHr(Call(object.get(), kReadCharacterAtCursor, {charRef}), S_OK,
            "Invoke ReadCharacterAtCursor with a by-reference character");

  // Early bound: null out-parameters are refused; a property nobody answers leaves the string.
  IPOSLDisplay* posl = nullptr;
  object->QueryInterface(kIidPoslDisplay, reinterpret_cast<void**>(&posl));
  if (!posl) return;
  LONG out = 0;
  BSTR str = nullptr;
  r.CheckHr(posl->DirectIO(0, nullptr, &str, &out), E_POINTER, "DirectIO: null data");
  r.CheckHr(posl->DirectIO(0, &out, nullptr, &out), E_POINTER, "DirectIO: null string");
  r.CheckHr(posl->DirectIO(0, &out, &str, nullptr), E_POINTER, "DirectIO: null result");
  r.CheckHr(posl->SODirectIO(0, nullptr, &str), E_POINTER, "SODirectIO: null data");
  r.CheckHr(posl->SODirectIO(0, &out, nullptr), E_POINTER, "SODirectIO: null string");
  r.CheckHr(posl->SOError(0, 0, 0, nullptr), E_POINTER, "SOError: null response");
  r.CheckHr(posl->ReadCharacterAtCursor(nullptr, &out), E_POINTER,
            "ReadCharacterAtCursor: null character");
  r.CheckHr(posl->GetPropertyNumber(PIDX_Claimed, nullptr), E_POINTER,
            "GetPropertyNumber: null number");
  com::Bstr mine(u"unchanged");
  BSTR slot = mine.get();
  r.CheckHr(posl->GetPropertyString(424242, &slot), S_OK, "GetPropertyString: an unknown index");
  r.Check(slot == mine.get(), "GetPropertyString: an unknown index leaves the caller's string");
  BSTR name = nullptr;
  posl->GetPropertyString(PIDX_DeviceName, &name);
  r.Check(name && com::BstrView(name) == u"JQ POS Pole Display",
          "GetPropertyString: a newly allocated device name");
  SysFreeString(name);
  posl->Release();
}

void FinalReleaseWithSessionAndMarquee(Server& s, Report& r) {
  {
    Ref<IDispatch> object = NewObject(s, r);
    if (!object || !OpenSession(s, object.get(), r)) return;
    // A marquee on a window of its own: the worker runs until someone stops it.
    RcCall(object.get(), kCreateWindow, {Long(0), Long(0), Long(1), Long(20), Long(1), Long(40)});
    Call(object.get(), kSetPropertyNumber, {Long(PIDXDisp_MarqueeUnitWait), Long(50)});
    com::Bstr text(u"a marquee that is still running");
    VARIANT t;
    VariantInit(&t);
    t.vt = VT_BSTR;
    t.bstrVal = text.get();
    RcCall(object.get(), kDisplayText, {t, Long(DISP_DT_NORMAL)});
    Call(object.get(), kSetPropertyNumber, {Long(PIDXDisp_MarqueeType), Long(DISP_MT_LEFT)});
    r.CheckHr(s.CanUnloadNow(), S_FALSE, "DllCanUnloadNow: S_FALSE while the marquee runs");
    // Released without CloseService: the session is closed and the workers stop.
  }
  r.CheckHr(s.CanUnloadNow(), S_OK,
            "the final release of an object with an open session and a marquee stops them");
  Ref<IDispatch> again = NewObject(s, r);
  if (again) {
    r.Check(OpenSession(s, again.get(), r), "a new object opens the same display again");
    RcCall(again.get(), kCloseService, {});
  }
}

void StateOutlivesObjects(Server& s, Report& r) {
  {
    Ref<IDispatch> first = NewObject(s, r);
    if (!first || !OpenSession(s, first.get(), r)) return;
    r.Check(RcCall(first.get(), kCreateWindow,
                   {Long(1), Long(2), Long(1), Long(10), Long(1), Long(13)}) == OPOS_SUCCESS,
            "CreateWindow of a 1 x 13 window");
    r.Check(Number(first.get(), PIDXDisp_CurrentWindow) == 1, "the new window is window 1");
    r.Check(RcCall(first.get(), kCloseService, {}) == OPOS_SUCCESS, "CloseService");
  }
  r.CheckHr(s.CanUnloadNow(), S_OK, "nothing alive between the two objects");
  // The library stays loaded (the runner holds it): a second object finds the module's state.
  Ref<IDispatch> second = NewObject(s, r);
  if (!second) return;
  const LONG claim = RcCall(second.get(), kClaimDevice, {Long(1000)});
  r.Check(claim == OPOS_SUCCESS,
          "a new object's ClaimDevice reopens the same port: " + std::to_string(claim));
  r.Check(Number(second.get(), PIDX_Claimed) == 1, "Claimed is 1");
  Call(second.get(), kSetPropertyNumber, {Long(PIDXDisp_CurrentWindow), Long(1)});
  r.Check(Number(second.get(), PIDXDisp_Columns) == 13 && Number(second.get(), PIDXDisp_Rows) == 1,
          "the window created by the first object is still 1 x 13");
  // Released with the port open but no session of its own: the last object closes the port,
  // so no thread of the library watches a port that no object can reach, and the library may
  // be unloaded (on Windows FreeLibrary could not wait for such a thread).
  second.reset();
  r.CheckHr(s.CanUnloadNow(), S_OK, "the last object is gone with the port it claimed");
  Ref<IDispatch> third = NewObject(s, r);
  if (!third) return;
  RcCall(third.get(), kClaimDevice, {Long(1000)});
  r.Check(Number(third.get(), PIDX_Claimed) == 1, "the port was closed: ClaimDevice opens it");
  RcCall(third.get(), kCloseService, {});
}

}  // namespace

const std::vector<Case>& Cases() {
  static const std::vector<Case> cases = {
      {"UnloadAnswersWithObjectsFactoryLocksAndEnumerators", UnloadAnswers},
      {"FactoryRefusesWhatItCannotMake", FactoryRefuses},
      {"IdentityAndAggregation", IdentityAndAggregation},
      {"EmptyConnectionPoints", ConnectionPoints},
      {"NamesThroughIDispatch", NamesThroughIDispatch},
      {"CallsThroughIDispatchAndEarlyBound", CallsThroughIDispatch},
      {"FinalReleaseWithSessionAndMarqueeRunning", FinalReleaseWithSessionAndMarquee},
      {"StateOutlivesObjects", StateOutlivesObjects},
  };
  return cases;
}

}  // namespace kirnow::contract
