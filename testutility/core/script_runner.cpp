#include "testutility/core/script_runner.h"

#include <algorithm>
#include <chrono>
#include <istream>
#include <ostream>
#include <sstream>
#include <thread>

#include "platform/text/name_compare.h"
#include "testutility/core/polecheck_dlg.h"
#include "testutility/core/resource_ids.h"
#include "testutility/core/utf.h"

namespace polecheck {

namespace {

bool IsSpace(char c) { return c == ' ' || c == '\t'; }

// Splits off the next blank-separated word; `rest` keeps what follows one separator blank.
std::string_view NextWord(std::string_view& rest) {
  size_t i = 0;
  while (i < rest.size() && IsSpace(rest[i])) ++i;
  size_t j = i;
  while (j < rest.size() && !IsSpace(rest[j])) ++j;
  const std::string_view word = rest.substr(i, j - i);
  rest = rest.substr(j < rest.size() ? j + 1 : j);
  return word;
}

bool ParseCount(std::string_view s, uint32_t& value) {
  if (s.empty() || s.size() > 9) return false;
  value = 0;
  for (char c : s) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + static_cast<uint32_t>(c - '0');
  }
  return true;
}

bool IsBlankLine(std::string_view s) {
  return std::all_of(s.begin(), s.end(), [](char c) { return IsSpace(c); });
}

}  // namespace

void PrintMessageBox(std::ostream& out, std::string_view text, std::string_view caption) {
  out << caption << ": " << text << '\n';
  out.flush();
}

void ScriptView::MessageBox(std::string_view text, std::string_view caption) {
  if (pump_) pump_();
  PrintMessageBox(out_, text, caption);
}

ParsedScript ParseScript(std::istream& in) {
  using Kind = ScriptAction::Kind;
  ParsedScript parsed;
  std::string line;
  int number = 0;
  while (std::getline(in, line)) {
    ++number;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    std::string_view rest = line;
    if (IsBlankLine(rest)) continue;
    const std::string_view first = NextWord(rest);
    if (!first.empty() && first.front() == '#') continue;
    const auto is = [first](std::string_view name) {
      return kirnow::text::EqualsNoCase(first, name);
    };
    ScriptAction a;
    a.lineNumber = number;
    bool ok = true;
    const bool noArgs = IsBlankLine(rest);
    if (is("DisplayText")) {
      a.kind = Kind::DisplayText;
      a.hasText = first.data() + first.size() < line.data() + line.size();
      a.text = std::string(rest);
    } else if (is("DisplayTextAt")) {
      a.kind = Kind::DisplayTextAt;
      a.row = std::string(NextWord(rest));
      a.column = std::string(NextWord(rest));
      ok = !a.row.empty() && !a.column.empty();
      a.hasText = ok && !rest.empty();
      a.text = std::string(rest);
    } else if (is("CharacterDelay")) {
      a.kind = Kind::CharacterDelay;
      a.delay = std::string(NextWord(rest));
      ok = !a.delay.empty() && IsBlankLine(rest);
    } else if (is("Wait")) {
      a.kind = Kind::Wait;
      ok = ParseCount(NextWord(rest), a.waitMs) && IsBlankLine(rest);
    } else if (is("Blink")) {
      a.kind = Kind::Blink;
      ok = noArgs;
    } else if (is("ScrollLine1")) {
      a.kind = Kind::ScrollLine1;
      ok = noArgs;
    } else if (is("ScrollLine2")) {
      a.kind = Kind::ScrollLine2;
      ok = noArgs;
    } else if (is("Euro")) {
      a.kind = Kind::Euro;
      ok = noArgs;
    } else if (is("Pound")) {
      a.kind = Kind::Pound;
      ok = noArgs;
    } else if (is("ClearText")) {
      a.kind = Kind::ClearText;
      ok = noArgs;
    } else if (is("Exit")) {
      a.kind = Kind::Exit;
      ok = noArgs;
    } else {
      ok = false;
    }
    if (ok) {
      parsed.actions.push_back(std::move(a));
    } else {
      parsed.errors.push_back("line " + std::to_string(number) + " not understood: " + line);
    }
  }
  return parsed;
}

bool CheckScript(const std::string& text, std::ostream& err, const std::string& appName) {
  std::istringstream in(text);
  const ParsedScript script = ParseScript(in);
  for (const auto& e : script.errors) err << appName << ": " << e << '\n';
  return script.errors.empty();
}

int RunScript(std::istream& in, CLinedisplay1& display, std::ostream& out, std::ostream& err,
              const ScriptOptions& options) {
  using Kind = ScriptAction::Kind;
  const ParsedScript script = ParseScript(in);
  if (!script.errors.empty()) {
    for (const auto& e : script.errors) err << options.appName << ": " << e << '\n';
    return kScriptNotUnderstood;
  }
  auto sleep = options.sleep ? options.sleep : [](uint32_t ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
  };

  const auto pump = [&options] {
    if (options.pumpMessages) options.pumpMessages();
  };
  ScriptView view(out, pump);
  CPolecheckDlg dlg(view, display, options.appName);
  dlg.OnInitDialog();
  pump();
  if (!dlg.StartupSucceeded()) {
    // Exit is the one action left after a failed start-up; it closes what was opened.
    dlg.OnCommand(IDCANCEL);
    pump();
    err << options.appName << ": start-up failed\n";
    return kScriptStartupFailed;
  }

  for (const auto& a : script.actions) {
    if (view.Ended()) break;
    int command = 0;
    switch (a.kind) {
      case Kind::DisplayText:
        if (a.hasText) view.SetFieldText(IDC_TEXT_EDIT, Utf8ToUtf16(a.text));
        command = IDC_DISPLAY_TEXT;
        break;
      case Kind::DisplayTextAt:
        view.SetFieldText(IDC_ROW, Utf8ToUtf16(a.row));
        view.SetFieldText(IDC_COLUMN, Utf8ToUtf16(a.column));
        if (a.hasText) view.SetFieldText(IDC_TEXT_EDIT, Utf8ToUtf16(a.text));
        command = IDC_DISPLAY_TEXT_AT;
        break;
      case Kind::Blink:
        command = IDC_BLINK;
        break;
      case Kind::ScrollLine1:
        command = IDC_SCROLL_LINE1;
        break;
      case Kind::ScrollLine2:
        command = IDC_SCROLL_LINE2;
        break;
      case Kind::CharacterDelay:
        view.SetFieldText(IDC_DELAY, Utf8ToUtf16(a.delay));
        command = IDC_CHARACTER_DELAY;
        break;
      case Kind::Euro:
        command = IDC_EURO;
        break;
      case Kind::Pound:
        command = IDC_POUND;
        break;
      case Kind::ClearText:
        command = IDC_CLEAR_TEXT;
        break;
      case Kind::Wait:
        sleep(a.waitMs);
        break;
      case Kind::Exit:
        command = IDCANCEL;
        break;
    }
    if (command != 0) dlg.OnCommand(command);
    pump();
  }
  if (!view.Ended()) dlg.OnCommand(IDCANCEL);
  pump();
  return dlg.DispatchFailures() > 0 ? kScriptDispatchFailed : kScriptOk;
}

}  // namespace polecheck
