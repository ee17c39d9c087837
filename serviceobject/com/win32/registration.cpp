// DllRegisterServer and DllUnregisterServer: the registrar script from resource REGISTRY 102,
// with %MODULE% standing for this library's full path (from the platform's module seam) and the
// identities filled in, and the type library from TYPELIB 1.
#include "serviceobject/com/win32/registration.h"

#include <memory>
#include <string>

#include "platform/module/module_path.h"
#include "platform/registry/registry.h"
#include "platform/text/utf_convert.h"
#include "serviceobject/com/registrar.h"
#include "serviceobject/core/display_ids.h"

namespace kirnow::server {
namespace {

// This library's full path, or the OS error that kept the system from naming it.
HRESULT LibraryPath(std::string& path) {
  int error = 0;
  path = platform::ModulePath(&error);
  return path.empty() ? HRESULT_FROM_WIN32(static_cast<DWORD>(error)) : S_OK;
}

// The script text of resource REGISTRY 102 (UTF-8 or ANSI text, not terminated).
HRESULT LoadScript(std::string& script) {
  HRSRC found = FindResourceW(ModuleInstance(), MAKEINTRESOURCEW(102), L"REGISTRY");
  if (!found) return HRESULT_FROM_WIN32(ERROR_RESOURCE_NAME_NOT_FOUND);
  HGLOBAL loaded = LoadResource(ModuleInstance(), found);
  const DWORD size = SizeofResource(ModuleInstance(), found);
  const void* data = loaded ? LockResource(loaded) : nullptr;
  if (!data) return HRESULT_FROM_WIN32(ERROR_RESOURCE_DATA_NOT_FOUND);
  script.assign(static_cast<const char*>(data), size);
  return S_OK;
}

HRESULT ApplyScript(registrar::Mode mode) {
  std::string path;
  HRESULT hr = LibraryPath(path);
  if (FAILED(hr)) return hr;
  std::string script;
  hr = LoadScript(script);
  if (FAILED(hr)) return hr;
  std::unique_ptr<platform::Registry> registry =
      platform::MakeSystemRegistry(kirnow::DisplayUsbIds());
  return registrar::RunScript(*registry, script, mode, registrar::ServerReplacements(path));
}

// The type library of this library file (TYPELIB 1), and the file's path.
HRESULT LoadOwnTypeLib(std::wstring& path, ITypeLib** lib) {
  std::string utf8;
  const HRESULT hr = LibraryPath(utf8);
  if (FAILED(hr)) return hr;
  path = platform::WideFromUtf8(utf8);
  return LoadTypeLibEx(path.c_str(), REGKIND_NONE, lib);
}

HRESULT RegisterTypeLibrary() {
  std::wstring path;
  ITypeLib* lib = nullptr;
  HRESULT hr = LoadOwnTypeLib(path, &lib);
  if (FAILED(hr)) return hr;
  hr = RegisterTypeLib(lib, path.data(), nullptr);
  lib->Release();
  return hr;
}

HRESULT UnregisterTypeLibrary() {
  std::wstring path;
  ITypeLib* lib = nullptr;
  HRESULT hr = LoadOwnTypeLib(path, &lib);
  if (FAILED(hr)) return hr;
  TLIBATTR* attr = nullptr;
  hr = lib->GetLibAttr(&attr);
  if (SUCCEEDED(hr)) {
    hr = UnRegisterTypeLib(attr->guid, attr->wMajorVerNum, attr->wMinorVerNum, attr->lcid,
                           attr->syskind);
    lib->ReleaseTLibAttr(attr);
  }
  lib->Release();
  return hr;
}

}  // namespace

HRESULT RegisterServer() {
  HRESULT hr = ApplyScript(registrar::Mode::Register);
  if (FAILED(hr)) return hr;
  return RegisterTypeLibrary();
}

HRESULT UnregisterServer() {
  HRESULT hr = ApplyScript(registrar::Mode::Unregister);
  if (FAILED(hr)) return hr;
  return UnregisterTypeLibrary();
}

}  // namespace kirnow::server
