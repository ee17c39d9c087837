// The Linux loader: the ProgID's CLSID subkey, the class key's InprocServer32 path (both under
// HKEY_CLASSES_ROOT), then dlopen, DllGetClassObject and IClassFactory::CreateInstance.
#include <dlfcn.h>

#include <optional>

#include "controlobject/service_object_loader.h"

namespace kirnow::control {
namespace {

class DlLoader final : public ServiceObjectLoader {
 public:
  explicit DlLoader(platform::Registry& registry) : registry_(registry) {}
  ~DlLoader() override { Unload(); }

  LoadResult Create(const std::string& progId, IDispatch** out) override {
    *out = nullptr;
    const auto clsidText = Default("HKEY_CLASSES_ROOT\\" + progId + "\\CLSID");
    if (!clsidText) return {LoadStatus::NotFound, "ProgID " + progId + " is not registered"};
    const auto clsid = com::GuidFromString(*clsidText);
    if (!clsid) return {LoadStatus::NotFound, "ProgID " + progId + " names no valid class"};
    const auto path = Default("HKEY_CLASSES_ROOT\\CLSID\\" + *clsidText + "\\InprocServer32");
    if (!path || path->empty()) {
      return {LoadStatus::NotFound, "class " + *clsidText + " has no InprocServer32"};
    }
    Unload();
    library_ = dlopen(path->c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!library_) {
      const char* why = dlerror();
      return {LoadStatus::NotFound, "cannot load " + *path + ": " + (why ? why : "")};
    }
    auto getClassObject =
        reinterpret_cast<LPFNGETCLASSOBJECT>(dlsym(library_, "DllGetClassObject"));
    if (!getClassObject) {
      Unload();
      return {LoadStatus::NotCreatable, *path + " has no DllGetClassObject"};
    }
    com::Ref<IClassFactory> factory;
    HRESULT hr = getClassObject(*clsid, IID_IClassFactory, factory.receiveVoid());
    if (FAILED(hr) || !factory) {
      Unload();
      return {LoadStatus::NotCreatable, "no class factory for " + *clsidText};
    }
    hr = factory->CreateInstance(nullptr, IID_IDispatch, reinterpret_cast<void**>(out));
    factory.reset();
    if (FAILED(hr) || !*out) {
      *out = nullptr;
      Unload();
      return {LoadStatus::NotCreatable, "the class factory of " + *clsidText + " failed"};
    }
    return {LoadStatus::Created, ""};
  }

  void Unload() override {
    if (!library_) return;
    auto canUnload = reinterpret_cast<LPFNCANUNLOADNOW>(dlsym(library_, "DllCanUnloadNow"));
    // A library that still has objects, locks or running workers stays loaded.
    if (canUnload && canUnload() != S_OK) return;
    dlclose(library_);
    library_ = nullptr;
  }

 private:
  std::optional<std::string> Default(const std::string& key) {
    auto v = registry_.GetValue(key, "");
    if (!v) return std::nullopt;
    return v->AsString();
  }

  platform::Registry& registry_;
  void* library_ = nullptr;
};

}  // namespace

std::unique_ptr<ServiceObjectLoader> MakeSystemServiceObjectLoader(platform::Registry& registry) {
  return std::make_unique<DlLoader>(registry);
}

}  // namespace kirnow::control
