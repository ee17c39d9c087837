// What every fuzz target shares: a check that survives release builds and stops the run with the
// property that broke (libFuzzer then keeps the input as a crash, and a replay of the corpus
// fails), and a reader that takes typed values from the front of the input.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#define FUZZ_CHECK(condition)                                                               \
  do {                                                                                      \
    if (!(condition)) {                                                                     \
      std::fprintf(stderr, "%s:%d: property broken: %s\n", __FILE__, __LINE__, #condition); \
      std::abort();                                                                         \
    }                                                                                       \
  } while (false)

namespace kirnow::fuzz {

// Reads the input from the front; past its end every read answers zero (or nothing), so a
// short input is still a whole case.
class Input {
 public:
  Input(const uint8_t* data, size_t size) : data_(data), size_(size) {}

  bool Empty() const { return pos_ >= size_; }
  uint8_t Byte() { return pos_ < size_ ? data_[pos_++] : 0; }
  uint16_t U16() { return static_cast<uint16_t>(Byte() | (Byte() << 8)); }
  uint32_t U32() { return static_cast<uint32_t>(U16()) | (static_cast<uint32_t>(U16()) << 16); }
  uint64_t U64() { return static_cast<uint64_t>(U32()) | (static_cast<uint64_t>(U32()) << 32); }
  // One of `count` choices.
  size_t Pick(size_t count) { return count == 0 ? 0 : Byte() % count; }
  // Up to `max` bytes, the count read first.
  std::string_view Bytes(size_t max) {
    size_t n = Byte();
    if (n > max) n = max;
    if (n > size_ - pos_) n = size_ - pos_;
    const std::string_view out(reinterpret_cast<const char*>(data_) + pos_, n);
    pos_ += n;
    return out;
  }
  // Everything not read yet.
  std::string_view Rest() {
    const std::string_view out(reinterpret_cast<const char*>(data_) + pos_, size_ - pos_);
    pos_ = size_;
    return out;
  }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t pos_ = 0;
};

}  // namespace kirnow::fuzz
