// IPOSLDisplay and the identities of the library, for the COM object's sources on both
// platforms. On Windows this is the header widl makes from kirnow.idl; on Linux the interface is
// declared from the method list over the compat layer, with the same v-table and the same names
// (IID_IPOSLDisplay, DIID__IPOSLDisplayEvents, CLSID_POSLDisplay, LIBID_KirnowLib).
#pragma once

#include "platform/com/com_types.h"

#ifdef _WIN32

#include "kirnow.h"

#else

#include "serviceobject/com/iposl_display_methods.h"

// The dual interface's v-table after IDispatch's, in the fixed method order.
struct IPOSLDisplay : IDispatch {
#define KIRNOW_DECLARE_PURE(id, name, signature, call) \
  virtual HRESULT STDMETHODCALLTYPE name signature = 0;
  KIRNOW_IPOSLDISPLAY_METHODS(KIRNOW_DECLARE_PURE)
#undef KIRNOW_DECLARE_PURE
};

extern const IID IID_IPOSLDisplay;
extern const IID DIID__IPOSLDisplayEvents;
extern const CLSID CLSID_POSLDisplay;
extern const GUID LIBID_KirnowLib;

#endif
