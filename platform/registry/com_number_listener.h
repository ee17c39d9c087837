// Who hears of the COM numbers that the Linux registry's live view of the USB serial devices
// hands out (Windows' own port arbiter tells nobody): the field trace, while it is on. One
// listener for the process; the view tells it after each round that gave a number.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace kirnow::platform {

struct ComNumberGiven {
  std::string deviceId;  // "USB\Vid_vvvv&Pid_pppp\<instance>"
  std::string path;      // the device's path
  int32_t number = 0;
};

using ComNumberListener = std::function<void(const ComNumberGiven&)>;

// Replaces the listener; an empty one ends the telling.
void SetComNumberListener(ComNumberListener listener);
// Tells the listener, if there is one (outside the listener's own lock).
void TellComNumberGiven(const ComNumberGiven& given);

}  // namespace kirnow::platform
