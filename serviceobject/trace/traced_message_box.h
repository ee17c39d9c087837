// The library's message boxes as the field trace sees them: each one's caption and text are
// recorded before it is shown (it may stay up for long, and it is modal).
#pragma once

#include <string_view>

#include "platform/messagebox/message_box.h"
#include "serviceobject/trace/field_trace.h"
#include "serviceobject/trace/trace_text.h"

namespace kirnow {

class TracedMessageBox final : public platform::MessageBoxSink {
 public:
  TracedMessageBox(platform::MessageBoxSink& shown, FieldTrace& trace)
      : shown_(shown), trace_(trace) {}
  void Show(std::string_view text, std::string_view caption) override {
    trace_.Post(trace::kind::kBox, [&] { return trace::BoxText(text, caption); });
    shown_.Show(text, caption);
  }

 private:
  platform::MessageBoxSink& shown_;
  FieldTrace& trace_;
};

}  // namespace kirnow
