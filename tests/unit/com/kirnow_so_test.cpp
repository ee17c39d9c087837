// Kirnow.so loaded the way a control object loads it: the exports, the class factory and module
// lifetime, the object's COM identity and aggregation, names through IDispatch, and registration
// into a registry store.
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
const IID kIidPoslDisplay = KIRNOW_IID_IPOSLDISPLAY_INIT;
const IID kIidEvents = KIRNOW_DIID_IPOSLDISPLAYEVENTS_INIT;

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

TEST_F(KirnowSo, CanUnloadOnlyWithoutObjectsLocksOrFactoryReferences) {
  EXPECT_EQ(CanUnload(), S_OK);
  {
    Ref<IClassFactory> factory = Factory();
    EXPECT_EQ(CanUnload(), S_FALSE);  // a client holds the factory
    // The factory is cached: a second request answers the same object.
    EXPECT_EQ(Factory().get(), factory.get());

    Ref<IDispatch> object;
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IDispatch, object.receiveVoid()), S_OK);
    factory.reset();
    EXPECT_EQ(CanUnload(), S_FALSE);  // a live object
    object.reset();
    EXPECT_EQ(CanUnload(), S_OK);  // after the last release

    factory = Factory();
    EXPECT_EQ(factory->LockServer(TRUE), S_OK);
    factory.reset();
    EXPECT_EQ(CanUnload(), S_FALSE);
    Factory()->LockServer(FALSE);
    EXPECT_EQ(CanUnload(), S_OK);
    // An unbalanced unlock is ignored rather than leaving the count below zero, where a later
    // lock would no longer keep the library loaded.
    Factory()->LockServer(FALSE);
    Factory()->LockServer(TRUE);
    EXPECT_EQ(CanUnload(), S_FALSE);
    Factory()->LockServer(FALSE);
    EXPECT_EQ(CanUnload(), S_OK);

    // A failed creation leaves nothing alive.
    Ref<IUnknown> none;
    EXPECT_EQ(Factory()->CreateInstance(nullptr, IID_IClassFactory, none.receiveVoid()),
              E_NOINTERFACE);
    EXPECT_FALSE(none);
    EXPECT_EQ(Factory()->CreateInstance(nullptr, IID_IDispatch, nullptr), E_POINTER);
    EXPECT_EQ(CanUnload(), S_OK);
  }
}

TEST_F(KirnowSo, IdentityAndConnectionPoints) {
  Ref<IDispatch> object = NewObject();
  Ref<IUnknown> poslDisplay, dispatch, unknown1, unknown2;
  ASSERT_EQ(object->QueryInterface(kIidPoslDisplay, poslDisplay.receiveVoid()), S_OK);
  ASSERT_EQ(object->QueryInterface(IID_IDispatch, dispatch.receiveVoid()), S_OK);
  EXPECT_EQ(poslDisplay.get(), dispatch.get());
  ASSERT_EQ(object->QueryInterface(IID_IUnknown, unknown1.receiveVoid()), S_OK);
  Ref<IConnectionPointContainer> cpc;
  ASSERT_EQ(object->QueryInterface(IID_IConnectionPointContainer, cpc.receiveVoid()), S_OK);
  ASSERT_EQ(cpc->QueryInterface(IID_IUnknown, unknown2.receiveVoid()), S_OK);
  EXPECT_EQ(unknown1.get(), unknown2.get());  // one identity from every interface

  Ref<IUnknown> none;
  EXPECT_EQ(object->QueryInterface(IID_IClassFactory, none.receiveVoid()), E_NOINTERFACE);
  EXPECT_FALSE(none);
  EXPECT_EQ(object->QueryInterface(IID_IDispatch, nullptr), E_POINTER);

  IConnectionPoint* point = reinterpret_cast<IConnectionPoint*>(1);
  EXPECT_EQ(cpc->FindConnectionPoint(kIidEvents, &point), CONNECT_E_NOCONNECTION);
  EXPECT_EQ(point, nullptr);
  EXPECT_EQ(cpc->FindConnectionPoint(kIidEvents, nullptr), E_POINTER);
  EXPECT_EQ(cpc->EnumConnectionPoints(nullptr), E_POINTER);
  Ref<IEnumConnectionPoints> points;
  ASSERT_EQ(cpc->EnumConnectionPoints(points.receive()), S_OK);
  IConnectionPoint* fetched[2] = {};
  ULONG count = 7;
  EXPECT_EQ(points->Next(2, fetched, &count), S_FALSE);
  EXPECT_EQ(count, 0u);
}

// An outer object that counts the references its inner object passes on to it.
struct Outer : IUnknown {
  ULONG refs = 1;
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** ppv) override {
    *ppv = this;
    ++refs;
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
  ULONG STDMETHODCALLTYPE Release() override { return --refs; }
};

TEST_F(KirnowSo, AggregatesOnlyThroughItsOwnUnknown) {
  Outer outer;
  Ref<IUnknown> inner;
  EXPECT_EQ(Factory()->CreateInstance(&outer, IID_IDispatch, inner.receiveVoid()),
            CLASS_E_NOAGGREGATION);
  EXPECT_FALSE(inner);
  ASSERT_EQ(Factory()->CreateInstance(&outer, IID_IUnknown, inner.receiveVoid()), S_OK);
  EXPECT_EQ(outer.refs, 1u);

  IDispatch* dispatch = nullptr;
  ASSERT_EQ(inner->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&dispatch)), S_OK);
  // The aggregated interfaces count on the outer object, even for the reference the query took.
  EXPECT_EQ(outer.refs, 2u);
  dispatch->AddRef();
  EXPECT_EQ(outer.refs, 3u);
  dispatch->Release();
  dispatch->Release();
  EXPECT_EQ(outer.refs, 1u);
  IUnknown* viaDispatch = nullptr;
  dispatch->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&viaDispatch));
  EXPECT_EQ(viaDispatch, &outer);
  outer.Release();
  EXPECT_EQ(CanUnload(), S_FALSE);
  inner.reset();
  EXPECT_EQ(CanUnload(), S_OK);
}

TEST_F(KirnowSo, NamesAndCallsThroughIDispatch) {
  Ref<IDispatch> object = NewObject();
  UINT count = 9;
  EXPECT_EQ(object->GetTypeInfoCount(&count), S_OK);
  EXPECT_EQ(count, 0u);  // served from the method table, not a type library

  struct Name {
    const char16_t* name;
    DISPID id;
  };
  for (const Name& n : {Name{u"OpenService", 1}, Name{u"SOStatusUpdate", 27},
                        Name{u"getpropertynumber", 16}, Name{u"CREATEWINDOW", 21}}) {
    OLECHAR* names[] = {const_cast<OLECHAR*>(n.name)};
    DISPID id = 0;
    EXPECT_EQ(object->GetIDsOfNames(IID_NULL, names, 1, 0, &id), S_OK);
    EXPECT_EQ(id, n.id);
  }
  OLECHAR* unknown[] = {const_cast<OLECHAR*>(u"Open")};
  DISPID id = 0;
  EXPECT_EQ(object->GetIDsOfNames(IID_NULL, unknown, 1, 0, &id), DISP_E_UNKNOWNNAME);
  EXPECT_EQ(id, DISPID_UNKNOWN);

  // SetPropertyNumber (MarqueeUnitWait of window 0) answers no value; GetPropertyNumber does.
  VARIANT args[2];
  VariantInit(&args[0]);
  VariantInit(&args[1]);
  args[1].vt = VT_I4;
  args[1].lVal = 5015;
  args[0].vt = VT_I4;
  args[0].lVal = 120;
  DISPPARAMS params = {args, nullptr, 2, 0};
  VARIANT result;
  VariantInit(&result);
  result.vt = VT_I4;
  result.lVal = 55;
  ASSERT_EQ(object->Invoke(17, IID_NULL, 0, DISPATCH_METHOD, &params, &result, nullptr, nullptr),
            S_OK);
  EXPECT_EQ(result.vt, VT_EMPTY);
  params = {&args[1], nullptr, 1, 0};
  ASSERT_EQ(object->Invoke(16, IID_NULL, 0, DISPATCH_METHOD, &params, &result, nullptr, nullptr),
            S_OK);
  EXPECT_EQ(result.vt, VT_I4);
  EXPECT_EQ(result.lVal, 120);
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
