#include "tests/unit/testutility/recording_control.h"

namespace polecheck::testing {

namespace {

std::string Describe(const VARIANT& v, std::vector<std::u16string>& texts) {
  switch (v.vt) {
    case VT_I4:
      return std::to_string(v.lVal);
    case VT_BOOL:
      return v.boolVal == VARIANT_TRUE ? "TRUE" : (v.boolVal == 0 ? "FALSE" : "BOOL?");
    case VT_BSTR: {
      std::u16string t(reinterpret_cast<const char16_t*>(v.bstrVal), SysStringLen(v.bstrVal));
      texts.push_back(t);
      std::string ascii;
      for (char16_t c : t) ascii.push_back(c < 0x80 ? static_cast<char>(c) : '?');
      return "'" + ascii + "'";
    }
    default:
      return "vt" + std::to_string(v.vt);
  }
}

}  // namespace

HRESULT RecordingControl::QueryInterface(REFIID iid, void** out) {
  if (IsEqualGUID(iid, IID_IUnknown) || IsEqualGUID(iid, IID_IDispatch)) {
    *out = static_cast<IDispatch*>(this);
    AddRef();
    return S_OK;
  }
  *out = nullptr;
  return E_NOINTERFACE;
}

HRESULT RecordingControl::GetTypeInfoCount(UINT* count) {
  *count = 0;
  return S_OK;
}

HRESULT RecordingControl::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params,
                                 VARIANT* result, EXCEPINFO* info, UINT*) {
  std::string line = flags == DISPATCH_PROPERTYPUT   ? "put "
                     : flags == DISPATCH_PROPERTYGET ? "get "
                                                     : "call ";
  line += std::to_string(id);
  // Arguments arrive last to first; record them in the natural order.
  for (UINT i = params->cArgs; i-- > 0;) line += " " + Describe(params->rgvarg[i], texts);
  if (flags == DISPATCH_PROPERTYPUT &&
      (params->cNamedArgs != 1 || params->rgdispidNamedArgs[0] != DISPID_PROPERTYPUT)) {
    namedPutArgSeen = false;
  }
  calls.push_back(line);

  if (auto f = failWith.find(id); f != failWith.end()) {
    if (!failDescription.empty() && info != nullptr) {
      std::u16string d(failDescription.begin(), failDescription.end());
      info->bstrDescription = SysAllocStringLen(reinterpret_cast<const OLECHAR*>(d.data()),
                                                static_cast<UINT>(d.size()));
      info->scode = f->second;
      return DISP_E_EXCEPTION;
    }
    return f->second;
  }

  if (id != 22) lastCall_ = id;
  VARIANT answer;
  VariantInit(&answer);
  answer.vt = VT_I4;
  answer.lVal = 0;
  switch (id) {
    case 22: {
      auto r = resultCodeAfter.find(lastCall_);
      answer.lVal = r == resultCodeAfter.end() ? 0 : r->second;
      break;
    }
    case 30:
      answer.vt = VT_BSTR;
      answer.bstrVal = SysAllocStringLen(reinterpret_cast<const OLECHAR*>(deviceName.data()),
                                         static_cast<UINT>(deviceName.size()));
      break;
    case 39:
      answer.vt = VT_BOOL;
      answer.boolVal = VARIANT_TRUE;
      break;
    case 60:
      if (flags == DISPATCH_PROPERTYPUT) currentWindow = params->rgvarg[0].lVal;
      answer.lVal = currentWindow;
      break;
    case 82:
      currentWindow = ++windows;
      break;
    case 83:
      if (windows > 0) --windows;
      currentWindow = 0;
      break;
    default:
      break;
  }
  if (result != nullptr && flags != DISPATCH_PROPERTYPUT) {
    *result = answer;
  } else {
    VariantClear(&answer);
  }
  return S_OK;
}

std::vector<std::string> RecordingControl::Take() {
  std::vector<std::string> out;
  out.swap(calls);
  return out;
}

}  // namespace polecheck::testing
