// Fuzz target: Polecheck's script reader and the dialog actions it drives. Every line that is
// not blank or a comment becomes exactly one action or one error naming it, in line order; a
// script that checks clean runs to the end against a recording control object (no real waits)
// with one of the documented exit statuses.
#include <sstream>
#include <string>

#include "tests/fuzz/fuzz_support.h"
#include "tests/unit/testutility/recording_control.h"
#include "testutility/core/polecheck_dlg.h"
#include "testutility/core/script_runner.h"

using namespace polecheck;

namespace {

// Lines that the reader must act on: not blank (spaces and tabs) and not starting with '#'.
size_t CountedLines(const std::string& text) {
  std::istringstream in(text);
  size_t n = 0;
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const size_t first = line.find_first_not_of(" \t");
    if (first != std::string::npos && line[first] != '#') ++n;
  }
  return n;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  std::istringstream in(text);
  const ParsedScript script = ParseScript(in);
  FUZZ_CHECK(script.actions.size() + script.errors.size() == CountedLines(text));
  int last = 0;
  for (const ScriptAction& a : script.actions) {
    FUZZ_CHECK(a.lineNumber > last);
    last = a.lineNumber;
  }
  std::ostringstream err;
  FUZZ_CHECK(CheckScript(text, err, "Polecheck") == script.errors.empty());
  if (!script.errors.empty()) return 0;

  g_ActiveMarquee = 0;
  testing::RecordingControl control;
  CLinedisplay1 display{&control};
  std::istringstream again(text);
  std::ostringstream out;
  ScriptOptions options;
  options.sleep = [](uint32_t) {};
  const int status = RunScript(again, display, out, err, options);
  FUZZ_CHECK(status == kScriptOk || status == kScriptDispatchFailed);
  return 0;
}
