// A stand-in for the LineDisplay control object: an IDispatch that records every call as text
// ("put 60 1", "get 22", "call 85 0 0 'text' 0") and answers from a small model: CurrentWindow
// follows puts and CreateWindow, ResultCode answers what the test scripted for the last call.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "platform/com/com_types.h"

namespace polecheck::testing {

class RecordingControl : public IDispatch {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
  ULONG STDMETHODCALLTYPE Release() override { return --refs; }
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override;
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID iid, LCID lcid, WORD flags, DISPPARAMS* params,
                                   VARIANT* result, EXCEPINFO* info, UINT* argErr) override;

  // Calls made since the last Take(), then forgets them.
  std::vector<std::string> Take();

  std::vector<std::string> calls;
  ULONG refs = 0;
  int32_t currentWindow = 0;
  int32_t windows = 0;
  std::u16string deviceName = u"JQ POS Pole Display";
  std::map<DISPID, int32_t> resultCodeAfter;  // ResultCode answered after a call of that DISPID
  std::map<DISPID, HRESULT> failWith;         // calls of that DISPID fail at the dispatch level
  std::string failDescription;                // when set, failures come as DISP_E_EXCEPTION
  // Every BSTR seen as an argument, to check what the wrapper passed.
  std::vector<std::u16string> texts;
  bool namedPutArgSeen = true;

 private:
  DISPID lastCall_ = 0;
};

}  // namespace polecheck::testing
