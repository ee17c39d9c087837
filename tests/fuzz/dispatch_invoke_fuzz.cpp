// Fuzz target: IDispatch::Invoke of the POSLDisplay object on Linux, over the fake platform.
// Each input is a short session of calls, each naming a member, flags, the argument count,
// named arguments and arguments of every shape (see variant_arena.h); the first byte says
// whether a display is installed, so that OpenService can succeed and later calls reach a live
// session. Nothing may crash or leak; a refused call leaves the result empty and, where it
// blames an argument, names one that was passed; a call that succeeds answers its method's
// result type.
#include <memory>
#include <vector>

#include "kirnow_config.h"
#include "serviceobject/com/dispatch_table.h"
#include "serviceobject/com/posl_display_object.h"
#include "tests/fakes/fake_com_module.h"
#include "tests/fakes/fake_platform.h"
#include "tests/fuzz/fuzz_support.h"
#include "tests/fuzz/variant_arena.h"

using namespace kirnow;
using fuzz::Input;

namespace {

void InstallDisplay(fakes::FakePlatform& fp) {
  std::string vid = KIRNOW_USB_VID;
  for (char& c : vid) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  fp.registry.SetString(
      "HKEY_LOCAL_MACHINE\\SOFTWARE\\OLEforRetail\\ServiceOPOS\\LineDisplay\\JQ POS POLE DISPLAY",
      "", "JQ.POSLDisplay.1");
  fp.registry.SetString("HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Enum\\USB\\Vid_" + vid +
                            "&Pid_" KIRNOW_USB_PID "\\0001\\Device Parameters",
                        "PortName", "COM4");
  fp.serial.AddPort(4);
  fp.serial.SetIdentity(4, fakes::RecordingSerialDevice::IdentityMode::Answer, KIRNOW_USB_PID);
}

DISPID PickMember(Input& in) {
  const uint8_t b = in.Byte();
  if (b >= 0xF0) return static_cast<int8_t>(b);  // DISPID_VALUE, DISPID_PROPERTYPUT, ...
  return b % (dispatch::kMethodCount + 2);       // 0 and past the last are no members
}

void Call(IDispatch& object, Input& in, fuzz::VariantArena& arena) {
  const DISPID member = PickMember(in);
  const uint8_t shape = in.Byte();
  const WORD flags = static_cast<WORD>(in.Byte() & 0x0F);
  const UINT count = in.Byte() % (dispatch::kMaxParams + 2);
  const UINT named = (shape & 0x01) ? in.Byte() % (count + 1) : 0;

  std::vector<VARIANT> args;
  for (UINT i = 0; i < count; ++i) args.push_back(arena.Make(in));
  std::vector<DISPID> names;
  for (UINT i = 0; i < named; ++i) names.push_back(static_cast<int8_t>(in.Byte()) % 9);
  DISPPARAMS params = {args.empty() || (shape & 0x02) ? nullptr : args.data(),
                       names.empty() || (shape & 0x04) ? nullptr : names.data(), count, named};

  com::Variant result;
  UINT argErr = 0xFFFFFFFF;
  const HRESULT hr =
      object.Invoke(member, (shape & 0x08) ? IID_IDispatch : IID_NULL, 0, flags,
                    (shape & 0x10) ? nullptr : &params, (shape & 0x20) ? nullptr : result.get(),
                    nullptr, (shape & 0x40) ? nullptr : &argErr);
  if (FAILED(hr)) {
    FUZZ_CHECK(result->vt == VT_EMPTY);
    if (argErr != 0xFFFFFFFF) FUZZ_CHECK(argErr < count);
    return;
  }
  const dispatch::Method* method = dispatch::FindMethod(static_cast<int32_t>(member));
  FUZZ_CHECK(method != nullptr);
  if (shape & 0x20) return;
  switch (method->ret) {
    case dispatch::ReturnType::Long:
      FUZZ_CHECK(result->vt == VT_I4);
      break;
    case dispatch::ReturnType::Bstr:
      FUZZ_CHECK(result->vt == VT_BSTR);
      break;
    case dispatch::ReturnType::None:
      FUZZ_CHECK(result->vt == VT_EMPTY);
      break;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Input in(data, size);
  fuzz::VariantArena arena;  // outlives the object, which may hold the control object's pointer
  fakes::FakePlatform fp;
  if (in.Byte() & 1) InstallDisplay(fp);
  {
    std::unique_ptr<ModuleState> state = fakes::MakeModule(fp);
    fakes::FakeComModule module(*state);
    com::Ref<IDispatch> object;
    FUZZ_CHECK(server::PoslDisplayObject::Create(module, nullptr, IID_IDispatch,
                                                 object.receiveVoid()) == S_OK);
    for (int calls = 0; calls < 8 && !in.Empty(); ++calls) Call(*object.get(), in, arena);
    object.reset();
    FUZZ_CHECK(module.Objects() == 0);
  }
  return 0;
}
