#include "testutility/terminal/terminal_dialog.h"

#ifndef NCURSES_WIDECHAR
#define NCURSES_WIDECHAR 1
#endif
#include <langinfo.h>
#include <ncursesw/curses.h>

#include <algorithm>
#include <chrono>
#include <clocale>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

#include "displaymodel/pole_commands.h"
#include "testutility/core/polecheck_dlg.h"
#include "testutility/core/resource_ids.h"
#include "testutility/core/utf.h"

namespace polecheck {

namespace {

constexpr int kPanelGap = 3;
// The hint line: where Tab leads (see TabHint), then the keys that work everywhere.
constexpr const char* kKeyHints = "  Enter/Space: press  Esc: Exit  F1: About";
// The panel beside the dialog is as wide as the display.
constexpr int kDisplayColumns = kirnow::pole::kColumns;

int DialogRows() { return DialogScreenRows(); }
int DialogCols() { return CellWidth(kDialogWidthDlu) + 2; }

void PutText(int row, int col, const std::string& utf8) { mvaddstr(row, col, utf8.c_str()); }

// Cuts or pads UTF-16 text to exactly `width` cells (one cell per code unit is enough for the
// characters a pole display can show).
std::u16string Fit(std::u16string_view text, size_t width) {
  std::u16string out(text.substr(0, std::min(text.size(), width)));
  out.resize(width, u' ');
  return out;
}

std::vector<std::string> Wrap(const std::string& text, size_t width) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  std::string paragraph;
  while (std::getline(in, paragraph)) {
    std::u16string rest = Utf8ToUtf16(paragraph);
    do {
      size_t cut = rest.size() <= width ? rest.size() : rest.rfind(u' ', width);
      if (cut == std::u16string::npos || cut == 0) cut = std::min(width, rest.size());
      lines.push_back(Utf16ToUtf8(rest.substr(0, cut)));
      rest = rest.substr(cut);
      if (!rest.empty() && rest[0] == u' ') rest.erase(0, 1);
    } while (!rest.empty());
  }
  if (lines.empty()) lines.emplace_back();
  return lines;
}

std::string JsonUnescape(std::string_view s) {
  std::u16string out;
  size_t i = 0;
  while (i < s.size()) {
    const size_t slash = s.find('\\', i);
    out += Utf8ToUtf16(s.substr(i, slash == std::string_view::npos ? s.npos : slash - i));
    if (slash == std::string_view::npos || slash + 1 >= s.size()) break;
    const char e = s[slash + 1];
    i = slash + 2;
    switch (e) {
      case 'n':
        out += u'\n';
        break;
      case 't':
        out += u'\t';
        break;
      case 'u':
        if (i + 4 <= s.size()) {
          out += static_cast<char16_t>(std::stoul(std::string(s.substr(i, 4)), nullptr, 16));
          i += 4;
        }
        break;
      default:
        out += static_cast<char16_t>(e);
        break;
    }
  }
  return Utf16ToUtf8(out);
}

}  // namespace

bool ReadSnapshotLines(const std::string& path, std::string& line1, std::string& line2) {
  std::ifstream in(path);
  if (!in) return false;
  std::string line;
  int found = 0;
  while (std::getline(in, line)) {
    for (int n = 1; n <= 2; ++n) {
      const std::string key = "\"line" + std::to_string(n) + "\": \"";
      const size_t at = line.find(key);
      if (at == std::string::npos) continue;
      const size_t start = at + key.size();
      const size_t end = line.rfind('"');
      if (end == std::string::npos || end < start) continue;
      try {
        (n == 1 ? line1 : line2) = JsonUnescape(std::string_view(line).substr(start, end - start));
        ++found;
      } catch (const std::exception&) {
        return false;
      }
    }
  }
  return found == 2;
}

TerminalDialog::TerminalDialog(std::string snapshotPath) : snapshotPath_(std::move(snapshotPath)) {
  for (const auto& layout : DialogTemplate()) controls_.push_back(Control{layout, layout.text});
  uiThread_ = std::this_thread::get_id();
}

TerminalDialog::~TerminalDialog() {
  if (open_) endwin();
}

// The dialog draws its frames, the euro and the pound sign as UTF-8 whatever the environment
// says: a minimal system, cron or a container often has no locale at all, and ncurses then
// falls back to 7-bit output ("~B" for the euro, "q"/"x" for the frames). C.UTF-8 comes with
// the C library itself, so it is there when no other UTF-8 locale is.
static void SelectUtf8Locale() {
  std::setlocale(LC_ALL, "");
  if (std::strcmp(nl_langinfo(CODESET), "UTF-8") == 0) return;
  for (const char* name : {"C.UTF-8", "C.utf8", "en_US.UTF-8"}) {
    if (std::setlocale(LC_CTYPE, name) != nullptr) return;
  }
}

bool TerminalDialog::Open() {
  SelectUtf8Locale();
  if (newterm(nullptr, stdout, stdin) == nullptr) return false;
  open_ = true;
  cbreak();
  noecho();
  nonl();
  keypad(stdscr, TRUE);
  set_escdelay(25);
  timeout(100);
  return true;
}

TerminalDialog::Control* TerminalDialog::Find(int id) {
  for (auto& c : controls_) {
    if (c.layout.id == id) return &c;
  }
  return nullptr;
}

bool TerminalDialog::CanFocus(const Control& c) const {
  return c.layout.tabStop && c.layout.visible && c.enabled;
}

size_t TerminalDialog::NextFocus(int step) const {
  const size_t n = controls_.size();
  size_t i = focus_;
  for (size_t k = 0; k < n; ++k) {
    i = (i + n + static_cast<size_t>(step + static_cast<int>(n))) % n;
    if (CanFocus(controls_[i])) return i;
  }
  return focus_;
}

void TerminalDialog::MoveFocus(int step) {
  const size_t i = NextFocus(step);
  if (i == focus_ && !CanFocus(controls_[i])) return;
  focus_ = i;
  Control& c = controls_[i];
  if (c.layout.type == ControlSpec::Type::Edit) {
    c.selected = true;  // tabbing into an edit selects its text
    c.cursor = c.text.size();
  }
}

void TerminalDialog::EnsureFocusUsable() {
  if (!CanFocus(controls_[focus_])) MoveFocus(1);
}

std::u16string TerminalDialog::GetFieldText(int id) {
  Control* c = Find(id);
  return c ? c->text : std::u16string();
}

void TerminalDialog::SetFieldText(int id, std::u16string_view text) {
  if (Control* c = Find(id)) {
    c->text = text;
    c->cursor = std::min(c->cursor, c->text.size());
    c->selected = false;
  }
  if (open_) Draw();
}

void TerminalDialog::EnableControl(int id, bool enable) {
  if (Control* c = Find(id)) c->enabled = enable;
  if (open_) Draw();
}

void TerminalDialog::SetButtonCaption(int id, std::u16string_view caption) {
  if (Control* c = Find(id)) c->text = caption;
  if (open_) Draw();
}

void TerminalDialog::FocusAndSelect(int id) {
  for (size_t i = 0; i < controls_.size(); ++i) {
    if (controls_[i].layout.id == id) {
      focus_ = i;
      controls_[i].selected = true;
      controls_[i].cursor = controls_[i].text.size();
    }
  }
  if (open_) Draw();
}

void TerminalDialog::MessageBox(std::string_view text, std::string_view caption) {
  ShowMessage(text, caption);
}

void TerminalDialog::ShowMessage(std::string_view text, std::string_view caption) {
  if (std::this_thread::get_id() != uiThread_ || !open_) {
    kirnow::platform::MutexHold lock(queueMutex_);
    queued_.emplace_back(std::string(text), std::string(caption));
    return;
  }
  Pump();
  ShowPopup(std::string(text), std::string(caption));
}

void TerminalDialog::Popup(std::string_view text, std::string_view caption) {
  ShowPopup(std::string(text), std::string(caption));
}

void TerminalDialog::Pump() {
  if (!pump_ || pumping_) return;
  pumping_ = true;
  pump_();
  pumping_ = false;
}

void TerminalDialog::ShowQueuedMessages() {
  for (;;) {
    std::pair<std::string, std::string> m;
    {
      kirnow::platform::MutexHold lock(queueMutex_);
      if (queued_.empty()) return;
      m = std::move(queued_.front());
      queued_.pop_front();
    }
    ShowPopup(m.first, m.second);
  }
}

void TerminalDialog::EndDialog(int result) {
  ended_ = true;
  result_ = result;
}

void TerminalDialog::DrawControl(const Control& c, bool focused) {
  using T = ControlSpec::Type;
  if (!c.layout.visible) return;
  const int row = ScreenRow(c.layout.y);
  int col = 1 + CellColumn(c.layout.x);
  int width = CellWidth(c.layout.w);
  const attr_t dim = c.enabled ? A_NORMAL : A_DIM;
  switch (c.layout.type) {
    case T::Button: {
      // "[  Exit  ]"; the focused button is ">  Exit  <" in reverse video, so that the focus
      // shows on any terminal, even one without attributes.
      const std::u16string label = c.text;
      const size_t inner = static_cast<size_t>(std::max(0, width - 2));
      const size_t shown = std::min(label.size(), inner);
      const size_t left = (inner - shown) / 2;
      std::u16string face =
          (focused ? u">" : u"[") + std::u16string(left, u' ') + label.substr(0, shown);
      face.resize(static_cast<size_t>(width) - 1, u' ');
      face += focused ? u"<" : u"]";
      attron(dim | (focused ? A_REVERSE : A_NORMAL));
      PutText(row, col, Utf16ToUtf8(face));
      attroff(dim | A_REVERSE);
      break;
    }
    case T::Edit: {
      // The whole width of the field is drawn, its empty part as "____", so that a newcomer
      // sees where to type; the focused field has a ">" before it and its selection reversed.
      const size_t w = static_cast<size_t>(width);
      size_t first = 0;
      if (c.cursor >= w) first = c.cursor - w + 1;
      const std::u16string_view shown =
          std::u16string_view(c.text).substr(first, std::min(c.text.size() - first, w));
      if (focused) PutText(row, col - 1, ">");
      const attr_t base = dim | A_UNDERLINE | (focused ? A_BOLD : A_NORMAL);
      attron(base | (focused && c.selected ? A_REVERSE : A_NORMAL));
      PutText(row, col, Utf16ToUtf8(shown));
      attroff(A_REVERSE);
      PutText(row, col + static_cast<int>(shown.size()), std::string(w - shown.size(), '_'));
      attroff(base);
      break;
    }
    case T::Static:
      PutText(row, col, Utf16ToUtf8(c.text));
      break;
    case T::Group: {
      // One cell outside the framed area on each side.
      const int bottom = ScreenRow(c.layout.y + c.layout.h);
      const int right = col + width;
      --col;
      width = right - col + 1;
      mvhline(row, col, ACS_HLINE, width);
      mvhline(bottom, col, ACS_HLINE, width);
      mvvline(row, col, ACS_VLINE, bottom - row);
      mvvline(row, right, ACS_VLINE, bottom - row);
      mvaddch(row, col, ACS_ULCORNER);
      mvaddch(row, right, ACS_URCORNER);
      mvaddch(bottom, col, ACS_LLCORNER);
      mvaddch(bottom, right, ACS_LRCORNER);
      PutText(row, col + 2, " " + Utf16ToUtf8(c.text) + " ");
      break;
    }
    case T::Device:
      attron(focused ? A_REVERSE : A_NORMAL);
      PutText(row, col, focused ? ">o<" : "[o]");
      attroff(A_REVERSE);
      break;
  }
}

void TerminalDialog::DrawPanel() {
  kirnow::platform::RecursiveHold hold(drawMutex_);
  if (snapshotPath_.empty() || TooSmall()) return;
  const int col = DialogCols() + kPanelGap;
  const int width = kDisplayColumns + 2;
  mvhline(1, col, ACS_HLINE, width);
  mvhline(4, col, ACS_HLINE, width);
  mvvline(1, col, ACS_VLINE, 4);
  mvvline(1, col + width - 1, ACS_VLINE, 4);
  mvaddch(1, col, ACS_ULCORNER);
  mvaddch(1, col + width - 1, ACS_URCORNER);
  mvaddch(4, col, ACS_LLCORNER);
  mvaddch(4, col + width - 1, ACS_LRCORNER);
  PutText(1, col + 2, " Pole display ");
  std::string l1, l2;
  if (ReadSnapshotLines(snapshotPath_, l1, l2)) {
    panelLines_[0] = l1;
    panelLines_[1] = l2;
  }
  for (int n = 0; n < 2; ++n) {
    attron(A_BOLD);
    PutText(2 + n, col + 1, Utf16ToUtf8(Fit(Utf8ToUtf16(panelLines_[n]), kDisplayColumns)));
    attroff(A_BOLD);
  }
}

int TerminalDialog::MinimumColumns() const {
  return snapshotPath_.empty() ? DialogCols() : DialogCols() + kPanelGap + kDisplayColumns + 2;
}

int TerminalDialog::MinimumRows() const { return DialogRows() + 1; }

bool TerminalDialog::TooSmall() const { return LINES < MinimumRows() || COLS < MinimumColumns(); }

void TerminalDialog::DrawStatusLine() {
  const int row = DialogRows();
  move(row, 0);
  clrtoeol();
  if (busyAction_.empty()) {
    PutText(row, 1, TabHint() + kKeyHints);
  } else {
    attron(A_BOLD);
    PutText(row, 1, "Running: " + busyAction_ + " ...");
    attroff(A_BOLD);
  }
}

std::string TerminalDialog::TabHint() const {
  // At start the focus is on Exit, where typing presses the button: say how to reach the text.
  const auto isText = [this](size_t i) { return controls_[i].layout.id == IDC_TEXT_EDIT; };
  if (isText(focus_)) return "Type the text  Tab/Shift-Tab: move";
  if (isText(NextFocus(1))) return "Tab: to the text field";
  if (isText(NextFocus(-1))) return "Shift-Tab: to the text field";
  return "Tab/Shift-Tab: move";
}

void TerminalDialog::Draw() {
  kirnow::platform::RecursiveHold hold(drawMutex_);
  erase();
  if (TooSmall()) {
    // One clear line instead of a dialog cut off or wrapped; redrawn on every resize.
    char text[120];
    std::snprintf(text, sizeof text, "the terminal must be at least %d x %d (it is %d x %d)",
                  MinimumColumns(), MinimumRows(), COLS, LINES);
    PutText(0, 0, std::string(text).substr(0, static_cast<size_t>(std::max(COLS, 1))));
    curs_set(0);
    refresh();
    return;
  }
  const int rows = DialogRows();
  const int cols = DialogCols();
  mvhline(0, 0, ACS_HLINE, cols);
  mvhline(rows - 1, 0, ACS_HLINE, cols);
  mvvline(0, 0, ACS_VLINE, rows);
  mvvline(0, cols - 1, ACS_VLINE, rows);
  mvaddch(0, 0, ACS_ULCORNER);
  mvaddch(0, cols - 1, ACS_URCORNER);
  mvaddch(rows - 1, 0, ACS_LLCORNER);
  mvaddch(rows - 1, cols - 1, ACS_LRCORNER);
  attron(A_BOLD);
  PutText(0, 2, std::string(kDialogCaption) + " ");
  attroff(A_BOLD);
  // Group boxes first, so that they frame the controls instead of cutting through them.
  for (const auto& c : controls_) {
    if (c.layout.type == ControlSpec::Type::Group) DrawControl(c, false);
  }
  for (size_t i = 0; i < controls_.size(); ++i) {
    if (controls_[i].layout.type != ControlSpec::Type::Group)
      DrawControl(controls_[i], i == focus_);
  }
  DrawPanel();
  DrawStatusLine();

  // Put the terminal's cursor in the focused edit field.
  const Control& f = controls_[focus_];
  if (f.layout.type == ControlSpec::Type::Edit && f.layout.visible) {
    const int width = CellWidth(f.layout.w);
    const int pos = static_cast<int>(std::min<size_t>(f.cursor, static_cast<size_t>(width - 1)));
    move(ScreenRow(f.layout.y), 1 + CellColumn(f.layout.x) + pos);
    curs_set(1);
  } else {
    curs_set(0);
  }
  refresh();
}

void TerminalDialog::ShowPopup(const std::string& text, const std::string& caption) {
  drawMutex_.lock();
  popupOpen_ = true;
  const size_t maxWidth = 44;
  std::vector<std::string> lines = Wrap(text, maxWidth);
  size_t inner = Utf8ToUtf16(caption).size() + 2;
  for (const auto& l : lines) inner = std::max(inner, Utf8ToUtf16(l).size());
  inner = std::max<size_t>(inner, 10);
  const int h = static_cast<int>(lines.size()) + 4;
  const int w = static_cast<int>(inner) + 4;
  const int top = std::max(0, (DialogRows() - h) / 2);
  const int left = std::max(0, (DialogCols() - w) / 2);
  WINDOW* win = newwin(h, w, top, left);
  if (win == nullptr) {
    popupOpen_ = false;
    drawMutex_.unlock();
    return;
  }
  keypad(win, TRUE);
  wtimeout(win, 100);
  werase(win);
  box(win, 0, 0);
  wattron(win, A_BOLD);
  mvwaddstr(win, 0, 2, (" " + caption + " ").c_str());
  wattroff(win, A_BOLD);
  for (size_t i = 0; i < lines.size(); ++i) {
    mvwaddstr(win, static_cast<int>(i) + 1, 2, lines[i].c_str());
  }
  wattron(win, A_REVERSE);
  mvwaddstr(win, h - 2, (w - 6) / 2, "[ OK ]");
  wattroff(win, A_REVERSE);
  curs_set(0);
  wrefresh(win);
  drawMutex_.unlock();  // the helper draws nothing while popupOpen_ is set
  for (;;) {
    wint_t key = 0;
    const int status = wget_wch(win, &key);
    if (status == ERR) {
      if (closeRequested_) break;
      continue;
    }
    if (key == L'\n' || key == L'\r' || key == L' ' || key == 27 ||
        (status == KEY_CODE_YES && key == KEY_ENTER)) {
      break;
    }
  }
  drawMutex_.lock();
  delwin(win);
  popupOpen_ = false;
  touchwin(stdscr);
  Draw();
  drawMutex_.unlock();
}

void TerminalDialog::Press(CPolecheckDlg& dlg, int id) {
  bool busy = false;
  {
    // While the command runs (a text with a character delay takes seconds) a helper keeps the
    // display panel live and names the action in the status line; every curses call on either
    // thread is made under drawMutex_, and a popup the command opens pauses the helper.
    Control* c = Find(id);
    kirnow::platform::RecursiveHold hold(drawMutex_);
    busyAction_ = c != nullptr && c->layout.type == ControlSpec::Type::Button ? Utf16ToUtf8(c->text)
                                                                              : std::string();
    busy = !busyAction_.empty();
    if (busy) {
      DrawStatusLine();
      refresh();
    }
  }
  std::atomic<bool> done{false};
  std::thread refresher;
  if (busy) {
    refresher = std::thread([this, &done] {
      while (!done) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        kirnow::platform::RecursiveHold hold(drawMutex_);
        if (done || popupOpen_ || TooSmall()) continue;
        DrawPanel();
        DrawStatusLine();
        refresh();
      }
    });
  }
  dlg.OnCommand(id);
  done = true;
  if (refresher.joinable()) refresher.join();
  {
    kirnow::platform::RecursiveHold hold(drawMutex_);
    busyAction_.clear();
  }
  EnsureFocusUsable();
  Pump();
  ShowQueuedMessages();
  Draw();
}

bool TerminalDialog::HandleEditKey(Control& c, int status, wint_t key) {
  if (!c.enabled) return false;
  if (status == KEY_CODE_YES) {
    switch (key) {
      case KEY_LEFT:
        if (c.cursor > 0 && !c.selected) --c.cursor;
        c.selected = false;
        return true;
      case KEY_RIGHT:
        if (c.cursor < c.text.size() && !c.selected) ++c.cursor;
        c.selected = false;
        return true;
      case KEY_HOME:
        c.cursor = 0;
        c.selected = false;
        return true;
      case KEY_END:
        c.cursor = c.text.size();
        c.selected = false;
        return true;
      case KEY_BACKSPACE:
        break;
      case KEY_DC:
        if (c.selected) {
          c.text.clear();
          c.cursor = 0;
        } else if (c.cursor < c.text.size()) {
          c.text.erase(c.cursor, 1);
        }
        c.selected = false;
        return true;
      default:
        return false;
    }
  }
  if (key == KEY_BACKSPACE || key == 127 || key == 8) {
    if (c.selected) {
      c.text.clear();
      c.cursor = 0;
    } else if (c.cursor > 0) {
      c.text.erase(--c.cursor, 1);
    }
    c.selected = false;
    return true;
  }
  if (status == KEY_CODE_YES || key < 0x20 || key == 0x7F) return false;
  if (c.selected) {
    c.text.clear();
    c.cursor = 0;
    c.selected = false;
  }
  std::u16string units;
  const auto cp = static_cast<char32_t>(key);
  if (cp >= 0x10000) {
    units.push_back(static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10)));
    units.push_back(static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF)));
  } else {
    units.push_back(static_cast<char16_t>(cp));
  }
  c.text.insert(c.cursor, units);
  c.cursor += units.size();
  return true;
}

int TerminalDialog::Run(CPolecheckDlg& dlg) {
  uiThread_ = std::this_thread::get_id();
  focus_ = 0;
  dlg.OnInitDialog();
  Pump();
  ShowQueuedMessages();
  // The system gives the focus to the first tab stop that can take it.
  focus_ = controls_.size() - 1;
  MoveFocus(1);
  Draw();
  while (!ended_) {
    if (closeRequested_) {
      closeRequested_ = false;
      Press(dlg, IDCANCEL);
      continue;
    }
    wint_t key = 0;
    const int status = get_wch(&key);
    if (status == ERR) {
      Pump();
      ShowQueuedMessages();
      if (!snapshotPath_.empty()) {
        DrawPanel();
        Draw();
      }
      continue;
    }
    Control& c = controls_[focus_];
    const bool isButton = c.layout.type == ControlSpec::Type::Button;
    if (status == KEY_CODE_YES && key == KEY_RESIZE) {
      Draw();
    } else if (TooSmall()) {
      if (status == OK && key == 27) Press(dlg, IDCANCEL);  // only Exit works until it fits
    } else if (status == KEY_CODE_YES && key == KEY_F(1)) {
      // The system menu's About entry of the Win32 dialog.
      ShowPopup(std::string(POLECHECK_ABOUT_VERSION) + "\n" + POLECHECK_ABOUT_LINE2,
                POLECHECK_ABOUT_CAPTION);
    } else if (key == L'\t' || (status == KEY_CODE_YES && key == KEY_DOWN)) {
      MoveFocus(1);
      Draw();
    } else if (status == KEY_CODE_YES && (key == KEY_BTAB || key == KEY_UP)) {
      MoveFocus(-1);
      Draw();
    } else if (status == OK && key == 27) {
      Press(dlg, IDCANCEL);
    } else if (key == L'\r' || key == L'\n' || (status == KEY_CODE_YES && key == KEY_ENTER)) {
      // Enter presses the focused button; anywhere else it is the OK command.
      Press(dlg, isButton && c.enabled ? c.layout.id : IDOK);
    } else if (isButton && status == OK && key == L' ') {
      if (c.enabled) Press(dlg, c.layout.id);
    } else if (c.layout.type == ControlSpec::Type::Edit) {
      if (HandleEditKey(c, status, key)) Draw();
    }
  }
  return result_;
}

}  // namespace polecheck
