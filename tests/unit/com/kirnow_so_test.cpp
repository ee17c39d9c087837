// Kirnow.so loaded the way a control object loads it: exactly the four exports, and registration
// into a registry store. The COM contract itself (factory, module lifetime, identity,
// aggregation, IDispatch) is the shared suite's, run in the integration suite.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "platform/com/com_types.h"
#include "platform/registry/posix/reg_store.h"
#include "serviceobject/com/guids.h"

namespace {

const CLSID kClsid = KIRNOW_CLSID_POSLDISPLAY_INIT;

using kirnow::com::Ref;

class KirnowSo : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    registryPath_ = new std::string(std::filesystem::temp_directory_path() /
                                    ("kirnow_so_test_" + std::to_string(getpid()) + ".reg"));
    setenv("KIRNOW_REGISTRY", registryPath_->c_str(), 1);
    library_ = dlopen(KIRNOW_SO_PATH, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(library_, nullptr) << dlerror();
  }
  static void TearDownTestSuite() {
    std::filesystem::remove(*registryPath_);
    delete registryPath_;
  }

  template <typename Fn>
  static Fn Entry(const char* name) {
    return reinterpret_cast<Fn>(dlsym(library_, name));
  }
  static HRESULT CanUnload() { return Entry<LPFNCANUNLOADNOW>("DllCanUnloadNow")(); }
  static Ref<IClassFactory> Factory() {
    Ref<IClassFactory> factory;
    EXPECT_EQ(Entry<LPFNGETCLASSOBJECT>("DllGetClassObject")(kClsid, IID_IClassFactory,
                                                             factory.receiveVoid()),
              S_OK);
    return factory;
  }
  static Ref<IDispatch> NewObject() {
    Ref<IDispatch> object;
    EXPECT_EQ(Factory()->CreateInstance(nullptr, IID_IDispatch, object.receiveVoid()), S_OK);
    return object;
  }

  static void* library_;
  static std::string* registryPath_;
};

void* KirnowSo::library_ = nullptr;
std::string* KirnowSo::registryPath_ = nullptr;

TEST_F(KirnowSo, ExportsExactlyTheFourEntryPoints) {
  for (const char* name :
       {"DllCanUnloadNow", "DllGetClassObject", "DllRegisterServer", "DllUnregisterServer"}) {
    EXPECT_NE(dlsym(library_, name), nullptr) << name;
  }
  // The compat layer and the core inside it stay private to the library.
  for (const char* name : {"SysAllocString", "VariantClear", "IID_IDispatch", "DllMain"}) {
    EXPECT_EQ(dlsym(library_, name), nullptr) << name;
  }
  void* out = reinterpret_cast<void*>(1);
  const CLSID other = {0x12345678, 0, 0, {0, 0, 0, 0, 0, 0, 0, 1}};
  EXPECT_EQ(Entry<LPFNGETCLASSOBJECT>("DllGetClassObject")(other, IID_IClassFactory, &out),
            CLASS_E_CLASSNOTAVAILABLE);
  EXPECT_EQ(out, nullptr);
}

TEST_F(KirnowSo, RegistersIntoTheStoreAndUnregistersCleanly) {
  using kirnow::platform::MakeRegistryStore;
  const std::string classKey = "HKEY_CLASSES_ROOT\\CLSID\\" KIRNOW_CLSID_POSLDISPLAY_STR;
  auto store = MakeRegistryStore(*registryPath_);
  ASSERT_TRUE(store->CreateKey("HKCR\\CLSID\\{00000000-1111-2222-3333-444444444444}"));

  ASSERT_EQ(Entry<LPFNREGISTERSERVER>("DllRegisterServer")(), S_OK);
  ASSERT_TRUE(store->CreateKey(classKey + "\\Stale"));
  ASSERT_EQ(Entry<LPFNREGISTERSERVER>("DllRegisterServer")(), S_OK);
  EXPECT_EQ(store->SubkeyCount("HKCR\\CLSID"), 2u);
  EXPECT_FALSE(store->KeyExists(classKey + "\\Stale"));
  char resolved[PATH_MAX];
  ASSERT_NE(realpath(KIRNOW_SO_PATH, resolved), nullptr);
  const auto server = store->GetValue(classKey + "\\InprocServer32", "");
  ASSERT_TRUE(server);
  EXPECT_EQ(server->AsString(), std::string(resolved));
  EXPECT_EQ(store->GetValue("HKCR\\JQ.POSLDisplay.1\\CLSID", "")->AsString(),
            KIRNOW_CLSID_POSLDISPLAY_STR);

  ASSERT_EQ(Entry<LPFNREGISTERSERVER>("DllUnregisterServer")(), S_OK);
  EXPECT_FALSE(store->KeyExists("HKCR\\JQ.POSLDisplay.1"));
  EXPECT_FALSE(store->KeyExists("HKCR\\JQ.POSLDisplay"));
  EXPECT_FALSE(store->KeyExists(classKey));
  EXPECT_TRUE(store->KeyExists("HKCR\\CLSID\\{00000000-1111-2222-3333-444444444444}"));
}

}  // namespace
