// The COM identity of Kirnow.dll under the real COM runtime: unload answers while objects and
// factories are held, interface identity, aggregation, the empty connection-point container and
// the type-library-served IDispatch.
//
//   com_edges <path of Kirnow.dll>               (library registered)
//   com_edges --unregistered <path of Kirnow.dll> (after unregistration: late binding fails)
#include <cstring>

#include "tests/wine/wine_client.h"

using namespace kirnow::winetest;

namespace {

using CanUnloadFn = HRESULT(STDAPICALLTYPE*)();
using GetClassObjectFn = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);

// A controlling unknown that counts the references the inner object forwards to it.
class CountingOuter final : public IUnknown {
 public:
  LONG refs = 1;
  STDMETHODIMP QueryInterface(REFIID riid, void** object) override {
    if (IsEqualIID(riid, IID_IUnknown)) {
      *object = this;
      AddRef();
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(++refs); }
  STDMETHODIMP_(ULONG) Release() override { return static_cast<ULONG>(--refs); }
};

std::wstring Widen(const char* text) {
  const int n = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
  std::wstring out(static_cast<size_t>(n > 0 ? n - 1 : 0), L'\0');
  if (n > 1) MultiByteToWideChar(CP_ACP, 0, text, -1, out.data(), n);
  return out;
}

void UnloadAnswers(HMODULE dll) {
  auto canUnload = reinterpret_cast<CanUnloadFn>(
      reinterpret_cast<void*>(GetProcAddress(dll, "DllCanUnloadNow")));
  Check(canUnload != nullptr, "DllCanUnloadNow is exported by name");
  if (!canUnload) return;
  CheckHr(canUnload(), S_OK, "DllCanUnloadNow: S_OK with nothing alive");

  IClassFactory* factory = nullptr;
  CheckHr(CoGetClassObject(CLSID_POSLDisplay, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory,
                           reinterpret_cast<void**>(&factory)),
          S_OK, "CoGetClassObject hands out the class factory");
  if (!factory) return;
  Check(GetModuleHandleW(L"Kirnow.dll") == dll, "COM loaded the same module");
  CheckHr(canUnload(), S_FALSE, "DllCanUnloadNow: S_FALSE while a client holds the factory");

  IUnknown* object = nullptr;
  CheckHr(factory->CreateInstance(nullptr, IID_IUnknown, reinterpret_cast<void**>(&object)), S_OK,
          "CreateInstance");
  factory->Release();
  CheckHr(canUnload(), S_FALSE, "DllCanUnloadNow: S_FALSE while an object is alive");
  if (object) object->Release();
  CheckHr(canUnload(), S_OK, "DllCanUnloadNow: S_OK after the last object is released");

  // LockServer keeps the module loaded without any reference.
  factory = nullptr;
  CoGetClassObject(CLSID_POSLDisplay, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory,
                   reinterpret_cast<void**>(&factory));
  if (!factory) return;
  factory->LockServer(TRUE);
  factory->Release();
  CheckHr(canUnload(), S_FALSE, "DllCanUnloadNow: S_FALSE while LockServer(TRUE) holds");
  factory = nullptr;
  CoGetClassObject(CLSID_POSLDisplay, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory,
                   reinterpret_cast<void**>(&factory));
  if (!factory) return;
  factory->LockServer(FALSE);
  factory->Release();
  CheckHr(canUnload(), S_OK, "DllCanUnloadNow: S_OK after LockServer(FALSE)");
}

void FactoryAnswers(HMODULE dll) {
  auto getClassObject = reinterpret_cast<GetClassObjectFn>(
      reinterpret_cast<void*>(GetProcAddress(dll, "DllGetClassObject")));
  Check(getClassObject != nullptr, "DllGetClassObject is exported by name");
  if (!getClassObject) return;
  void* none = reinterpret_cast<void*>(1);
  CheckHr(getClassObject(IID_IDispatch, IID_IClassFactory, &none), CLASS_E_CLASSNOTAVAILABLE,
          "DllGetClassObject: another class is not available");
  Check(none == nullptr, "DllGetClassObject: null for another class");

  IClassFactory* factory = nullptr;
  CheckHr(getClassObject(CLSID_POSLDisplay, IID_IClassFactory, reinterpret_cast<void**>(&factory)),
          S_OK, "DllGetClassObject: the POSLDisplay factory");
  if (!factory) return;
  CheckHr(factory->CreateInstance(nullptr, IID_IDispatch, nullptr), E_POINTER,
          "CreateInstance: null result pointer");

  CountingOuter outer;
  void* inner = nullptr;
  CheckHr(factory->CreateInstance(&outer, IID_IDispatch, &inner), CLASS_E_NOAGGREGATION,
          "CreateInstance: aggregation asks for IUnknown only");
  CheckHr(factory->CreateInstance(&outer, IID_IUnknown, &inner), S_OK,
          "CreateInstance: aggregated");
  if (inner) {
    auto* innerUnknown = static_cast<IUnknown*>(inner);
    IDispatch* dispatch = nullptr;
    innerUnknown->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&dispatch));
    Check(dispatch != nullptr && outer.refs == 2,
          "aggregated: an inner interface counts on the controlling unknown");
    IUnknown* identity = nullptr;
    if (dispatch) dispatch->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity));
    Check(identity == &outer, "aggregated: IUnknown through an inner interface is the outer's");
    if (identity) identity->Release();
    if (dispatch) dispatch->Release();
    Check(outer.refs == 1, "aggregated: references go back to the outer");
    innerUnknown->Release();
  }
  factory->Release();
}

void IdentityAndDispatch() {
  IPOSLDisplay* so = nullptr;
  HRESULT hr = CoCreateInstance(CLSID_POSLDisplay, nullptr, CLSCTX_INPROC_SERVER, IID_IPOSLDisplay,
                                reinterpret_cast<void**>(&so));
  CheckHr(hr, S_OK, "CoCreateInstance for IPOSLDisplay");
  if (!so) return;

  IDispatch* dispatch = nullptr;
  so->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&dispatch));
  Check(dispatch == static_cast<IDispatch*>(so), "IDispatch and IPOSLDisplay are one pointer");
  IUnknown* unknown1 = nullptr;
  IUnknown* unknown2 = nullptr;
  so->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&unknown1));
  dispatch->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&unknown2));
  Check(unknown1 && unknown1 == unknown2, "IUnknown is the same from every interface");
  void* other = reinterpret_cast<void*>(1);
  CheckHr(so->QueryInterface(IID_IPersist, &other), E_NOINTERFACE, "IPersist is not answered");
  Check(other == nullptr, "an unanswered query leaves a null pointer");

  IConnectionPointContainer* container = nullptr;
  CheckHr(so->QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void**>(&container)),
          S_OK, "IConnectionPointContainer is answered");
  if (container) {
    IConnectionPoint* point = reinterpret_cast<IConnectionPoint*>(1);
    CheckHr(container->FindConnectionPoint(DIID__IPOSLDisplayEvents, &point),
            CONNECT_E_NOCONNECTION, "FindConnectionPoint: no point for the event interface");
    Check(point == nullptr, "FindConnectionPoint: null result");
    CheckHr(container->FindConnectionPoint(DIID__IPOSLDisplayEvents, nullptr), E_POINTER,
            "FindConnectionPoint: null result pointer");
    IEnumConnectionPoints* points = nullptr;
    CheckHr(container->EnumConnectionPoints(&points), S_OK, "EnumConnectionPoints");
    if (points) {
      IConnectionPoint* first = nullptr;
      ULONG fetched = 5;
      CheckHr(points->Next(1, &first, &fetched), S_FALSE, "the enumerator is empty");
      Check(fetched == 0 && first == nullptr, "the enumerator fetches nothing");
      points->Release();
    }
    container->Release();
  }

  UINT count = 0;
  dispatch->GetTypeInfoCount(&count);
  Check(count == 1, "GetTypeInfoCount is 1");
  ITypeInfo* info = nullptr;
  CheckHr(dispatch->GetTypeInfo(0, LOCALE_USER_DEFAULT, &info), S_OK, "GetTypeInfo(0)");
  if (info) info->Release();
  CheckHr(dispatch->GetTypeInfo(1, LOCALE_USER_DEFAULT, &info), DISP_E_BADINDEX,
          "GetTypeInfo(1) is a bad index");

  Check(IdOf(dispatch, L"OpenService") == 1, "GetIDsOfNames: OpenService is 1");
  Check(IdOf(dispatch, L"SOStatusUpdate") == 27, "GetIDsOfNames: SOStatusUpdate is 27");
  Check(IdOf(dispatch, L"getpropertynumber") == 16, "GetIDsOfNames ignores case");
  hr = S_OK;
  IdOf(dispatch, L"NoSuchMethod", &hr);
  CheckHr(hr, DISP_E_UNKNOWNNAME, "GetIDsOfNames: an unknown name");

  {
    Var none;
    hr = CallByName(dispatch, L"SetPropertyNumber", {I4(5012), I4(0)}, &none.v);
    Check(SUCCEEDED(hr) && V_VT(&none.v) == VT_EMPTY, "Invoke SetPropertyNumber: no value");
    hr = CallByName(dispatch, L"SetPropertyString", {I4(1000003), Str(L"x")}, &none.v);
    Check(SUCCEEDED(hr) && V_VT(&none.v) == VT_EMPTY, "Invoke SetPropertyString: no value");
    Var number;
    hr = CallByName(dispatch, L"GetPropertyNumber", {I4(6)}, &number.v);
    Check(SUCCEEDED(hr) && V_VT(&number.v) == VT_I4, "Invoke GetPropertyNumber: a long");
  }
  {
    // Early bound: an index nobody answers leaves the caller's string where it was.
    BSTR mine = SysAllocString(L"unchanged");
    BSTR before = mine;
    CheckHr(so->GetPropertyString(424242, &mine), S_OK, "GetPropertyString of an unknown index");
    Check(mine == before, "GetPropertyString of an unknown index leaves the string");
    SysFreeString(mine);
    BSTR name = nullptr;
    so->GetPropertyString(1000003, &name);
    Check(name && std::wcscmp(name, L"JQ POS Pole Display") == 0,
          "GetPropertyString: a newly allocated device name");
    SysFreeString(name);
  }

  unknown1->Release();
  unknown2->Release();
  dispatch->Release();
  so->Release();
}

// The registered type library as late-bound callers see it.
void TypeLibraryShape() {
  ITypeLib* lib = nullptr;
  CheckHr(LoadRegTypeLib(LIBID_KirnowLib, 1, 0, LOCALE_NEUTRAL, &lib), S_OK,
          "the type library is registered as KirnowLib 1.0");
  if (!lib) return;
  TLIBATTR* attr = nullptr;
  lib->GetLibAttr(&attr);
  Check(attr && IsEqualGUID(attr->guid, LIBID_KirnowLib) && attr->wMajorVerNum == 1 &&
            attr->wMinorVerNum == 0 && attr->lcid == 0,
        "library identifier, version 1.0, neutral locale");
  if (attr) lib->ReleaseTLibAttr(attr);
  BSTR name = nullptr;
  BSTR help = nullptr;
  lib->GetDocumentation(-1, &name, &help, nullptr, nullptr);
  Check(name && help && std::wcscmp(name, L"KirnowLib") == 0 &&
            std::wcscmp(help, L"Kirnow 1.0 Type Library") == 0,
        "library name and help string");
  SysFreeString(name);
  SysFreeString(help);

  ITypeInfo* coclass = nullptr;
  lib->GetTypeInfoOfGuid(CLSID_POSLDisplay, &coclass);
  bool defaults = false;
  if (coclass) {
    TYPEATTR* ta = nullptr;
    coclass->GetTypeAttr(&ta);
    if (ta && ta->typekind == TKIND_COCLASS && (ta->wTypeFlags & TYPEFLAG_FCANCREATE) &&
        ta->cImplTypes == 2) {
      int flags0 = 0;
      int flags1 = 0;
      coclass->GetImplTypeFlags(0, &flags0);
      coclass->GetImplTypeFlags(1, &flags1);
      defaults = flags0 == IMPLTYPEFLAG_FDEFAULT &&
                 flags1 == (IMPLTYPEFLAG_FDEFAULT | IMPLTYPEFLAG_FSOURCE);
    }
    if (ta) coclass->ReleaseTypeAttr(ta);
    coclass->Release();
  }
  Check(defaults, "POSLDisplay: creatable, default interface and default source interface");

  ITypeInfo* info = nullptr;
  lib->GetTypeInfoOfGuid(IID_IPOSLDisplay, &info);
  ITypeInfo2* info2 = nullptr;
  if (info) info->QueryInterface(IID_ITypeInfo2, reinterpret_cast<void**>(&info2));
  static const wchar_t* const kMethods[] = {L"OpenService",
                                            L"CloseService",
                                            L"ClaimDevice",
                                            L"ReleaseDevice",
                                            L"CheckHealth",
                                            L"DirectIO",
                                            L"DisplayText",
                                            L"DisplayTextAt",
                                            L"ClearText",
                                            L"ScrollText",
                                            L"SetDescriptor",
                                            L"ClearDescriptors",
                                            L"RefreshWindow",
                                            L"ReadCharacterAtCursor",
                                            L"DefineGlyph",
                                            L"GetPropertyNumber",
                                            L"SetPropertyNumber",
                                            L"GetPropertyString",
                                            L"SetPropertyString",
                                            L"COFreezeEvents",
                                            L"CreateWindow",
                                            L"DestroyWindow",
                                            L"SOData",
                                            L"SODirectIO",
                                            L"SOError",
                                            L"SOOutputComplete",
                                            L"SOStatusUpdate"};
  int good = 0;
  bool soUndirected = true;
  for (int i = 0; info2 && i < 27; ++i) {
    UINT index = 0;
    if (FAILED(info2->GetFuncIndexOfMemId(i + 1, INVOKE_FUNC, &index))) continue;
    FUNCDESC* fd = nullptr;
    if (FAILED(info2->GetFuncDesc(index, &fd))) continue;
    BSTR fname = nullptr;
    BSTR fhelp = nullptr;
    info2->GetDocumentation(fd->memid, &fname, &fhelp, nullptr, nullptr);
    const std::wstring expectHelp = std::wstring(L"method ") + kMethods[i];
    if (fname && fhelp && std::wcscmp(fname, kMethods[i]) == 0 && expectHelp == fhelp) ++good;
    if (i >= 22) {
      for (SHORT p = 0; p < fd->cParams; ++p) {
        if (fd->lprgelemdescParam[p].paramdesc.wParamFlags != PARAMFLAG_NONE) soUndirected = false;
      }
    }
    SysFreeString(fname);
    SysFreeString(fhelp);
    info2->ReleaseFuncDesc(fd);
  }
  Check(good == 27, "the 27 methods have DISPIDs 1 to 27 and help strings \"method <name>\"");
  Check(info2 && soUndirected, "the SO methods' parameters carry no direction");
  if (info2) info2->Release();
  if (info) info->Release();
  lib->Release();
}

void Unregistered(HMODULE dll) {
  auto getClassObject = reinterpret_cast<GetClassObjectFn>(
      reinterpret_cast<void*>(GetProcAddress(dll, "DllGetClassObject")));
  IClassFactory* factory = nullptr;
  if (getClassObject) {
    getClassObject(CLSID_POSLDisplay, IID_IClassFactory, reinterpret_cast<void**>(&factory));
  }
  Check(factory != nullptr, "unregistered: the factory is still handed out directly");
  if (!factory) return;
  IDispatch* dispatch = nullptr;
  factory->CreateInstance(nullptr, IID_IDispatch, reinterpret_cast<void**>(&dispatch));
  factory->Release();
  Check(dispatch != nullptr, "unregistered: an object is still created");
  if (!dispatch) return;
  HRESULT hr = S_OK;
  IdOf(dispatch, L"OpenService", &hr);
  Check(FAILED(hr), "unregistered: late binding fails without the type library");
  dispatch->Release();
}

}  // namespace

int main(int argc, char** argv) {
  const bool unregistered = argc == 3 && std::strcmp(argv[1], "--unregistered") == 0;
  if (argc != 2 && !unregistered) {
    std::printf("usage: com_edges [--unregistered] <path of Kirnow.dll>\n");
    return 2;
  }
  if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {
    std::printf("FAIL com_edges: CoInitializeEx\n");
    return 1;
  }
  const std::wstring path = Widen(argv[argc - 1]);
  HMODULE dll = LoadLibraryW(path.c_str());
  Check(dll != nullptr, "LoadLibrary of Kirnow.dll");
  if (dll) {
    if (unregistered) {
      Unregistered(dll);
    } else {
      UnloadAnswers(dll);
      FactoryAnswers(dll);
      IdentityAndDispatch();
      TypeLibraryShape();
    }
    FreeLibrary(dll);
  }
  CoUninitialize();
  std::printf("%s com_edges: %d failure(s)\n", g_failures ? "FAIL" : "PASS", g_failures);
  return g_failures ? 1 : 0;
}
