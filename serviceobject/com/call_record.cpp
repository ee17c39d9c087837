// The field trace's record of a dispatch method (call_record.h).
#include "serviceobject/com/call_record.h"

#include <span>

#include "serviceobject/com/dispatch_table.h"
#include "serviceobject/trace/trace_text.h"

namespace kirnow::server {

std::string ArgText(LONG value) { return std::to_string(static_cast<int32_t>(value)); }
std::string ArgText(VARIANT_BOOL value) { return value != VARIANT_FALSE ? "true" : "false"; }
std::string ArgText(BSTR value) { return trace::Quoted(com::BstrView(value), value == nullptr); }
std::string ArgText(const LONG* value) { return value != nullptr ? ArgText(*value) : "null"; }
std::string ArgText(BSTR const* value) { return value != nullptr ? ArgText(*value) : "null"; }
std::string ArgText(IDispatch* value) { return value != nullptr ? "set" : "null"; }

CallRecord::CallRecord(ModuleState& module, const char* method)
    : module_(module), method_(method), start_(module.platform.clock.Micros()) {}

void CallRecord::Done(HRESULT hr, const LONG* pRC, int32_t resultCode) {
  FieldTrace& trace = module_.fieldTrace;
  if (!trace.On()) return;
  const uint64_t micros = module_.platform.clock.Micros() - start_;
  const int32_t rc = pRC != nullptr ? static_cast<int32_t>(*pRC) : 0;
  if (property_) {
    const std::string outcome =
        trace::OutcomeText({}, nullptr, resultCode, static_cast<int32_t>(hr), micros);
    trace.Post(write_ ? trace::kind::kSet : trace::kind::kGet, [&] {
      return trace::PropertyText(index_, returned_ ? &*returned_ : nullptr, outcome);
    });
    return;
  }
  trace.Post(trace::kind::kCall, [&] {
    std::vector<std::string_view> names;
    if (const dispatch::Method* m = dispatch::FindMethod(std::string_view(method_))) {
      for (int i = 0; i < m->count; ++i) names.push_back(m->params[static_cast<size_t>(i)].name);
    }
    return trace::CallText(
        method_, names, values_,
        trace::OutcomeText(returned_.value_or(""), pRC != nullptr ? &rc : nullptr, resultCode,
                           static_cast<int32_t>(hr), micros));
  });
}

}  // namespace kirnow::server
