// The COM contract run against the Linux library: Kirnow.so loaded with dlopen as a control
// object loads it, a registry store naming the virtual pole display, and every case of the
// shared table as one test. The library stays loaded for the whole suite, as a client that
// keeps it would hold it.
#include "tests/conformance/com_contract.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

#include "virtual_display.h"

namespace kirnow {
namespace {

class GtestReport final : public contract::Report {
 public:
  void Check(bool ok, const std::string& what) override { EXPECT_TRUE(ok) << what; }
};

class SharedObjectServer final : public contract::Server {
 public:
  explicit SharedObjectServer(void* library) : library_(library) {}
  HRESULT CanUnloadNow() override {
    return reinterpret_cast<LPFNCANUNLOADNOW>(dlsym(library_, "DllCanUnloadNow"))();
  }
  HRESULT GetClassObject(REFCLSID clsid, REFIID riid, void** ppv) override {
    return reinterpret_cast<LPFNGETCLASSOBJECT>(dlsym(library_, "DllGetClassObject"))(clsid, riid,
                                                                                      ppv);
  }
  std::string DeviceName() override { return "JQ POS POLE DISPLAY"; }

 private:
  void* library_;
};

class ComContract : public ::testing::TestWithParam<contract::Case> {
 protected:
  static void SetUpTestSuite() {
    display_ = new it::VirtualDisplay;
    ASSERT_TRUE(display_->Start());
    store_ = new it::TestRegistryFile;
    store_->AddDisplay("JQ POS POLE DISPLAY", 6, display_->LinkPath());
    library_ = dlopen(KIRNOW_SO_PATH, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(library_, nullptr) << dlerror();
  }
  static void TearDownTestSuite() {
    if (library_) dlclose(library_);
    delete store_;
    delete display_;
  }

  static it::VirtualDisplay* display_;
  static it::TestRegistryFile* store_;
  static void* library_;
};

it::VirtualDisplay* ComContract::display_ = nullptr;
it::TestRegistryFile* ComContract::store_ = nullptr;
void* ComContract::library_ = nullptr;

TEST_P(ComContract, Holds) {
  ASSERT_NE(library_, nullptr);
  SharedObjectServer server(library_);
  GtestReport report;
  GetParam().run(server, report);
}

INSTANTIATE_TEST_SUITE_P(KirnowSo, ComContract, ::testing::ValuesIn(contract::Cases()),
                         [](const ::testing::TestParamInfo<contract::Case>& info) {
                           return std::string(info.param.name);
                         });

}  // namespace
}  // namespace kirnow
