// The Windows loader: CLSIDFromProgID and CoCreateInstance through the system's class registry.
// The host has initialised COM on its thread.
#include "controlobject/service_object_loader.h"

namespace kirnow::control {
namespace {

class ComLoader final : public ServiceObjectLoader {
 public:
  LoadResult Create(const std::string& progId, IDispatch** out) override {
    *out = nullptr;
    const std::u16string wide = com::Utf8ToUtf16(progId);
    CLSID clsid{};
    HRESULT hr = CLSIDFromProgID(reinterpret_cast<LPCOLESTR>(wide.c_str()), &clsid);
    if (FAILED(hr)) return {LoadStatus::NotFound, "ProgID " + progId + " is not registered"};
    hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                          reinterpret_cast<void**>(out));
    if (SUCCEEDED(hr) && *out) return {LoadStatus::Created, ""};
    *out = nullptr;
    const bool missing = hr == REGDB_E_CLASSNOTREG ||
                         hr == HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND) ||
                         hr == HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND) ||
                         hr == HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND);
    return {missing ? LoadStatus::NotFound : LoadStatus::NotCreatable,
            "CoCreateInstance failed for " + progId};
  }

  void Unload() override { CoFreeUnusedLibraries(); }
};

}  // namespace

std::unique_ptr<ServiceObjectLoader> MakeSystemServiceObjectLoader(platform::Registry&) {
  return std::make_unique<ComLoader>();
}

}  // namespace kirnow::control
