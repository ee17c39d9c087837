// The ANSI code page on Linux: iconv between UTF-16LE and the code page named by
// $KIRNOW_CODEPAGE (WINDOWS-1252 when unset).
#include <errno.h>
#include <iconv.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/ansi/ansi_codec.h"
#include "platform/sync/thread_safety.h"

namespace kirnow::platform {
namespace {

constexpr const char* kDefaultCodePage = "WINDOWS-1252";

class IconvAnsiCodec : public AnsiCodec {
 public:
  explicit IconvAnsiCodec(std::string codePage) {
    toAnsi_ = iconv_open(codePage.c_str(), "UTF-16LE");
    fromAnsi_ = iconv_open("UTF-16LE", codePage.c_str());
    if ((toAnsi_ == kNone || fromAnsi_ == kNone) && codePage != kDefaultCodePage) {
      std::fprintf(stderr, "kirnow: unknown code page '%s' in KIRNOW_CODEPAGE, using %s\n",
                   codePage.c_str(), kDefaultCodePage);
      Release();
      toAnsi_ = iconv_open(kDefaultCodePage, "UTF-16LE");
      fromAnsi_ = iconv_open("UTF-16LE", kDefaultCodePage);
    }
  }
  ~IconvAnsiCodec() override { Release(); }
  IconvAnsiCodec(const IconvAnsiCodec&) = delete;
  IconvAnsiCodec& operator=(const IconvAnsiCodec&) = delete;

  std::string ToAnsi(std::u16string_view text) override {
    MutexHold lock(mutex_);
    std::string out;
    for (size_t i = 0; i < text.size();) {
      const size_t units = CharUnits(text, i);
      if (!ConvertChar(text.substr(i, units), out)) out.push_back('?');
      i += units;
    }
    return out;
  }

  std::optional<std::string> WideToMultibyte(std::u16string_view text,
                                             std::size_t maxBytes) override {
    MutexHold lock(mutex_);
    std::string out;
    for (size_t i = 0; i < text.size() && text[i] != 0;) {
      const size_t units = CharUnits(text, i);
      std::string one;
      if (!ConvertChar(text.substr(i, units), one)) return std::nullopt;
      // A character that does not fit whole is not written at all.
      if (out.size() + one.size() > maxBytes) break;
      out += one;
      i += units;
    }
    return out;
  }

  std::u16string FromAnsi(std::string_view bytes) override {
    MutexHold lock(mutex_);
    std::u16string out;
    if (fromAnsi_ == kNone) {
      for (char c : bytes) out.push_back(static_cast<unsigned char>(c));
      return out;
    }
    iconv(fromAnsi_, nullptr, nullptr, nullptr, nullptr);
    char* in = const_cast<char*>(bytes.data());
    size_t inLeft = bytes.size();
    while (inLeft > 0) {
      char buf[256];
      char* outPtr = buf;
      size_t outLeft = sizeof buf;
      const size_t r = iconv(fromAnsi_, &in, &inLeft, &outPtr, &outLeft);
      AppendUtf16(out, buf, static_cast<size_t>(outPtr - buf));
      if (r == static_cast<size_t>(-1) && errno != E2BIG) {
        // A byte the code page does not define (0x81 in Windows-1252, for example).
        out.push_back(u'\uFFFD');
        ++in;
        --inLeft;
        iconv(fromAnsi_, nullptr, nullptr, nullptr, nullptr);
      }
    }
    return out;
  }

 private:
  static inline const iconv_t kNone = reinterpret_cast<iconv_t>(-1);

  void Release() KIRNOW_REQUIRES(mutex_) {
    if (toAnsi_ != kNone) iconv_close(toAnsi_);
    if (fromAnsi_ != kNone) iconv_close(fromAnsi_);
    toAnsi_ = kNone;
    fromAnsi_ = kNone;
  }

  // Units of the character at i: 2 for a surrogate pair, else 1 (a lone surrogate is one
  // unconvertible character).
  static size_t CharUnits(std::u16string_view text, size_t i) {
    if (text[i] >= 0xD800 && text[i] <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF) {
      return 2;
    }
    return 1;
  }

  static void AppendUtf16(std::u16string& out, const char* bytes, size_t n) {
    for (size_t k = 0; k + 1 < n; k += 2) {
      out.push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[k]) |
                                          (static_cast<unsigned char>(bytes[k + 1]) << 8)));
    }
  }

  // Converts one character; false when the code page has no such character.
  bool ConvertChar(std::u16string_view ch, std::string& out) KIRNOW_REQUIRES(mutex_) {
    if (toAnsi_ == kNone) {
      if (ch.size() != 1 || ch[0] > 0x7F) return false;
      out.push_back(static_cast<char>(ch[0]));
      return true;
    }
    char in[4];
    for (size_t k = 0; k < ch.size(); ++k) {
      in[2 * k] = static_cast<char>(ch[k] & 0xFF);
      in[2 * k + 1] = static_cast<char>(ch[k] >> 8);
    }
    iconv(toAnsi_, nullptr, nullptr, nullptr, nullptr);
    char* inPtr = in;
    size_t inLeft = ch.size() * 2;
    char buf[16];
    char* outPtr = buf;
    size_t outLeft = sizeof buf;
    if (iconv(toAnsi_, &inPtr, &inLeft, &outPtr, &outLeft) == static_cast<size_t>(-1)) {
      return false;
    }
    // Flush any shift state of a stateful code page.
    iconv(toAnsi_, nullptr, nullptr, &outPtr, &outLeft);
    out.append(buf, static_cast<size_t>(outPtr - buf));
    return true;
  }

  // iconv's descriptors keep a conversion's state: one conversion at a time.
  Mutex mutex_;
  iconv_t toAnsi_ KIRNOW_GUARDED_BY(mutex_) = kNone;
  iconv_t fromAnsi_ KIRNOW_GUARDED_BY(mutex_) = kNone;
};

}  // namespace

std::unique_ptr<AnsiCodec> MakeSystemAnsiCodec() {
  const char* env = std::getenv("KIRNOW_CODEPAGE");
  return std::make_unique<IconvAnsiCodec>(env != nullptr && *env != '\0' ? env : kDefaultCodePage);
}

}  // namespace kirnow::platform
