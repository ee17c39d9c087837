// What only the Windows build of Kirnow.dll has, under the real COM runtime: IDispatch served
// from the registered type library, the type library's shape, and late binding failing once
// the library is unregistered. The COM contract both builds share is com_contract.exe's.
//
//   com_edges <path of Kirnow.dll>               (library registered)
//   com_edges --unregistered <path of Kirnow.dll> (after unregistration: late binding fails)
#include <cstring>

#include "serviceobject/com/iposl_display_methods.h"
#include "tests/wine/wine_client.h"

using namespace kirnow::winetest;

namespace {

using GetClassObjectFn = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);

std::wstring Widen(const char* text) {
  const int n = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
  std::wstring out(static_cast<size_t>(n > 0 ? n - 1 : 0), L'\0');
  if (n > 1) MultiByteToWideChar(CP_ACP, 0, text, -1, out.data(), n);
  return out;
}

// IDispatch served from the registered type library.
void TypeLibraryDispatch() {
  IPOSLDisplay* so = nullptr;
  HRESULT hr = CoCreateInstance(CLSID_POSLDisplay, nullptr, CLSCTX_INPROC_SERVER, IID_IPOSLDisplay,
                                reinterpret_cast<void**>(&so));
  CheckHr(hr, S_OK, "CoCreateInstance for IPOSLDisplay");
  if (!so) return;

  IDispatch* dispatch = nullptr;
  so->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&dispatch));
  if (!dispatch) {
    so->Release();
    return;
  }

  UINT count = 0;
  dispatch->GetTypeInfoCount(&count);
  Check(count == 1, "GetTypeInfoCount is 1");
  ITypeInfo* info = nullptr;
  CheckHr(dispatch->GetTypeInfo(0, LOCALE_USER_DEFAULT, &info), S_OK, "GetTypeInfo(0)");
  if (info) info->Release();
  CheckHr(dispatch->GetTypeInfo(1, LOCALE_USER_DEFAULT, &info), DISP_E_BADINDEX,
          "GetTypeInfo(1) is a bad index");

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
#define KIRNOW_WIDE_(text) L##text
#define KIRNOW_WIDE(text) KIRNOW_WIDE_(text)
#define KIRNOW_WIDE_NAME(id, name, signature, call) KIRNOW_WIDE(#name),
  static const wchar_t* const kMethods[] = {KIRNOW_IPOSLDISPLAY_METHODS(KIRNOW_WIDE_NAME)};
#undef KIRNOW_WIDE_NAME
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
      TypeLibraryDispatch();
      TypeLibraryShape();
    }
    FreeLibrary(dll);
  }
  CoUninitialize();
  std::printf("%s com_edges: %d failure(s)\n", g_failures ? "FAIL" : "PASS", g_failures);
  return g_failures ? 1 : 0;
}
