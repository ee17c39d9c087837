// The DISPIDs of the OPOS LineDisplay control object's dispatch members that a host calls: the
// members our own control object (controlobject/) serves and Polecheck invokes late-bound on
// whichever control it hosts. They are the published identifiers of the control's dispatch
// interface, so both sides take them from here and no name is ever looked up at run time.
#pragma once

#include "platform/com/com_types.h"

namespace kirnow {

inline constexpr DISPID kDispDeviceEnabled = 17;
inline constexpr DISPID kDispResultCode = 22;
inline constexpr DISPID kDispDeviceName = 30;
inline constexpr DISPID kDispClaimDevice = 32;
inline constexpr DISPID kDispClose = 35;
inline constexpr DISPID kDispOpen = 37;
inline constexpr DISPID kDispClaimed = 39;
inline constexpr DISPID kDispCurrentWindow = 60;
inline constexpr DISPID kDispInterCharacterWait = 69;
inline constexpr DISPID kDispMarqueeType = 72;
inline constexpr DISPID kDispMarqueeUnitWait = 73;
inline constexpr DISPID kDispClearText = 81;
inline constexpr DISPID kDispCreateWindow = 82;
inline constexpr DISPID kDispDestroyWindow = 83;
inline constexpr DISPID kDispDisplayText = 84;
inline constexpr DISPID kDispDisplayTextAt = 85;

}  // namespace kirnow
