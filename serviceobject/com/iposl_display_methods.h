// The methods of IPOSLDisplay in v-table order, as one list that the C++ side derives everything
// from: the interface declaration of the Linux build, the COM object's declarations, the method
// table that serves IDispatch on Linux and the names the control object requires. kirnow.idl
// stays the description of the interface; a unit test keeps this list equal to it.
//
//   X(dispid, Name, (signature), (arguments of a call from converted Invoke arguments))
//
// A parameter's IDL direction is written before its type with one of the markers below. They
// expand to nothing in code; the method table reads them from the signature's text. The SO
// methods' parameters carry no direction in the IDL and have no marker here.
#pragma once

#define KIRNOW_IN
#define KIRNOW_OUT
#define KIRNOW_INOUT
#define KIRNOW_RETVAL

// clang-format off
#define KIRNOW_IPOSLDISPLAY_METHODS(X)                                                          \
  X(1, OpenService,                                                                            \
    (KIRNOW_IN BSTR DeviceClass, KIRNOW_IN BSTR DeviceName, KIRNOW_IN IDispatch* pDispatch,    \
     KIRNOW_RETVAL LONG* pRC),                                                                 \
    (a.s[0], a.s[1], a.d[2], &a.rc))                                                           \
  X(2, CloseService, (KIRNOW_RETVAL LONG* pRC), (&a.rc))                                        \
  X(3, ClaimDevice, (KIRNOW_IN LONG Timeout, KIRNOW_RETVAL LONG* pRC), (a.l[0], &a.rc))         \
  X(4, ReleaseDevice, (KIRNOW_RETVAL LONG* pRC), (&a.rc))                                       \
  X(5, CheckHealth, (KIRNOW_IN LONG Level, KIRNOW_RETVAL LONG* pRC), (a.l[0], &a.rc))           \
  X(6, DirectIO,                                                                               \
    (KIRNOW_IN LONG Command, KIRNOW_INOUT LONG* pData, KIRNOW_INOUT BSTR* pString,             \
     KIRNOW_RETVAL LONG* pRC),                                                                 \
    (a.l[0], a.lp[1], a.sp[2], &a.rc))                                                         \
  X(7, DisplayText, (KIRNOW_IN BSTR Data, KIRNOW_IN LONG Attribute, KIRNOW_RETVAL LONG* pRC),   \
    (a.s[0], a.l[1], &a.rc))                                                                   \
  X(8, DisplayTextAt,                                                                          \
    (KIRNOW_IN LONG Row, KIRNOW_IN LONG Column, KIRNOW_IN BSTR Data, KIRNOW_IN LONG Attribute, \
     KIRNOW_RETVAL LONG* pRC),                                                                 \
    (a.l[0], a.l[1], a.s[2], a.l[3], &a.rc))                                                   \
  X(9, ClearText, (KIRNOW_RETVAL LONG* pRC), (&a.rc))                                           \
  X(10, ScrollText, (KIRNOW_IN LONG Direction, KIRNOW_IN LONG Units, KIRNOW_RETVAL LONG* pRC),  \
    (a.l[0], a.l[1], &a.rc))                                                                   \
  X(11, SetDescriptor,                                                                         \
    (KIRNOW_IN LONG Descriptor, KIRNOW_IN LONG Attribute, KIRNOW_RETVAL LONG* pRC),            \
    (a.l[0], a.l[1], &a.rc))                                                                   \
  X(12, ClearDescriptors, (KIRNOW_RETVAL LONG* pRC), (&a.rc))                                   \
  X(13, RefreshWindow, (KIRNOW_IN LONG Window, KIRNOW_RETVAL LONG* pRC), (a.l[0], &a.rc))       \
  X(14, ReadCharacterAtCursor, (KIRNOW_OUT LONG* pChar, KIRNOW_RETVAL LONG* pRC),               \
    (a.lp[0], &a.rc))                                                                          \
  X(15, DefineGlyph, (KIRNOW_IN LONG GlyphCode, KIRNOW_IN BSTR Glyph, KIRNOW_RETVAL LONG* pRC), \
    (a.l[0], a.s[1], &a.rc))                                                                   \
  X(16, GetPropertyNumber, (KIRNOW_IN LONG PropIndex, KIRNOW_RETVAL LONG* pNumber),             \
    (a.l[0], &a.rc))                                                                           \
  X(17, SetPropertyNumber, (KIRNOW_IN LONG PropIndex, KIRNOW_IN LONG Number), (a.l[0], a.l[1])) \
  X(18, GetPropertyString, (KIRNOW_IN LONG PropIndex, KIRNOW_RETVAL BSTR* pString),             \
    (a.l[0], &a.text))                                                                         \
  X(19, SetPropertyString, (KIRNOW_IN LONG PropIndex, KIRNOW_IN BSTR String), (a.l[0], a.s[1])) \
  X(20, COFreezeEvents, (KIRNOW_IN VARIANT_BOOL Freeze, KIRNOW_RETVAL LONG* pRC),               \
    (a.b[0], &a.rc))                                                                           \
  X(21, CreateWindow,                                                                          \
    (KIRNOW_IN LONG ViewportRow, KIRNOW_IN LONG ViewportColumn, KIRNOW_IN LONG ViewportHeight, \
     KIRNOW_IN LONG ViewportWidth, KIRNOW_IN LONG WindowHeight, KIRNOW_IN LONG WindowWidth,    \
     KIRNOW_RETVAL LONG* pRC),                                                                 \
    (a.l[0], a.l[1], a.l[2], a.l[3], a.l[4], a.l[5], &a.rc))                                   \
  X(22, DestroyWindow, (KIRNOW_RETVAL LONG* pRC), (&a.rc))                                      \
  X(23, SOData, (LONG Status), (a.l[0]))                                                        \
  X(24, SODirectIO, (LONG EventNumber, LONG* pData, BSTR* pString), (a.l[0], a.lp[1], a.sp[2])) \
  X(25, SOError,                                                                               \
    (LONG ResultCode, LONG ResultCodeExtended, LONG ErrorLocus, LONG* pErrorResponse),         \
    (a.l[0], a.l[1], a.l[2], a.lp[3]))                                                         \
  X(26, SOOutputComplete, (LONG OutputID), (a.l[0]))                                            \
  X(27, SOStatusUpdate, (LONG Data), (a.l[0]))
// clang-format on

// The first methods, up to DestroyWindow, are the ones a control object calls; the SO methods
// after them are its event plumbing.
#define KIRNOW_IPOSLDISPLAY_CONTROL_METHOD_COUNT 22
