// The line buffers text1 and text2, shared by the text output and the workers under textLock.
#include <algorithm>
#include <cstring>
#include <type_traits>

#include "serviceobject/display/engine_internal.h"

namespace kirnow::display {

namespace {

static_assert(std::is_same_v<decltype(DisplayShared::text1), LineBuffer> &&
                  std::is_same_v<decltype(DisplayShared::text2), LineBuffer>,
              "the line buffers hold kLineCapacity characters and the terminator");

LineBuffer* BufferOf(DisplayShared& d, int line) {
  return line == 1 || line == 2 ? &d.text(line) : nullptr;
}

}  // namespace

std::string ReadLine(DisplayShared& d, int line) {
  LineBuffer* buffer = BufferOf(d, line);
  if (buffer == nullptr) return {};
  platform::MutexHold hold(d.textLock);
  const char* begin = buffer->data();
  return std::string(begin, std::find(begin, begin + kLineCapacity, '\0'));
}

void StoreLine(DisplayShared& d, int line, std::string_view text) {
  LineBuffer* buffer = BufferOf(d, line);
  if (buffer == nullptr) return;
  const size_t zero = text.find('\0');
  if (zero != std::string_view::npos) text = text.substr(0, zero);
  // Longer text is cut to what the buffer holds, leaving room for the terminator.
  const size_t length = std::min(text.size(), kLineCapacity);
  platform::MutexHold hold(d.textLock);
  buffer->fill('\0');
  std::memcpy(buffer->data(), text.data(), length);
}

}  // namespace kirnow::display
