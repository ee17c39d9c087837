// The library's identities as data, under the names widl gives them on Windows.
#include "serviceobject/com/guids.h"
#include "serviceobject/com/iposl_display.h"

const IID IID_IPOSLDisplay = KIRNOW_IID_IPOSLDISPLAY_INIT;
const IID DIID__IPOSLDisplayEvents = KIRNOW_DIID_IPOSLDISPLAYEVENTS_INIT;
const CLSID CLSID_POSLDisplay = KIRNOW_CLSID_POSLDISPLAY_INIT;
const GUID LIBID_KirnowLib = KIRNOW_LIBID_KIRNOWLIB_INIT;
