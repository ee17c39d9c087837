#include "testutility/core/polecheck_dlg.h"

#include <algorithm>
#include <limits>

#include "testutility/core/resource_ids.h"

namespace polecheck {

int32_t g_ActiveMarquee = 0;
std::u16string g_TextBuffer(1024, u'\0');

namespace {

constexpr size_t kFieldReadLimit = 63;  // characters read from a number field
constexpr std::string_view kParseIntMessage = "Please enter an integer.";

constexpr int kLockedButtons[] = {IDC_DISPLAY_TEXT, IDC_EURO, IDC_POUND, IDC_DISPLAY_TEXT_AT};
constexpr int kControlsOffWhenFailed[] = {
    IDC_TEXT_EDIT, IDC_DISPLAY_TEXT, IDC_EURO,         IDC_POUND,           IDC_DISPLAY_TEXT_AT,
    IDC_BLINK,     IDC_SCROLL_LINE1, IDC_SCROLL_LINE2, IDC_CHARACTER_DELAY, IDC_CLEAR_TEXT,
    IDC_COLUMN,    IDC_ROW,          IDC_DELAY};

bool IsBlank(char16_t c) { return c == u' ' || (c >= u'\t' && c <= u'\r'); }

int32_t Saturate(int64_t v) {
  return static_cast<int32_t>(std::clamp<int64_t>(v, std::numeric_limits<int32_t>::min(),
                                                  std::numeric_limits<int32_t>::max()));
}

std::u16string Decimal(int32_t v) {
  const std::string s = std::to_string(v);
  return std::u16string(s.begin(), s.end());
}

}  // namespace

bool ParseFieldInteger(std::u16string_view text, int32_t& value) {
  text = text.substr(0, std::min(text.size(), kFieldReadLimit));
  size_t i = 0;
  while (i < text.size() && IsBlank(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) {
    negative = text[i] == u'-';
    ++i;
  }
  if (i >= text.size() || text[i] < u'0' || text[i] > u'9') return false;
  int64_t magnitude = 0;
  for (; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i) {
    magnitude = std::min<int64_t>(magnitude * 10 + (text[i] - u'0'), int64_t{1} << 32);
  }
  value = Saturate(negative ? -magnitude : magnitude);
  return true;
}

CPolecheckDlg::CPolecheckDlg(DialogView& view, CLinedisplay1& display, std::string appName)
    : m_Display(display), view_(view), appName_(std::move(appName)) {}

bool CPolecheckDlg::UpdateData(bool saveAndValidate) {
  struct Binding {
    int id;
    int32_t* member;
  };
  const Binding bindings[] = {{IDC_COLUMN, &m_Column}, {IDC_ROW, &m_Row}, {IDC_DELAY, &m_Delay}};
  for (const auto& b : bindings) {
    if (!saveAndValidate) {
      view_.SetFieldText(b.id, Decimal(*b.member));
      continue;
    }
    int32_t value = 0;
    if (!ParseFieldInteger(view_.GetFieldText(b.id), value)) {
      view_.MessageBox(kParseIntMessage, appName_);
      view_.FocusAndSelect(b.id);
      return false;
    }
    *b.member = value;
  }
  return true;
}

void CPolecheckDlg::RunStartup() {
  m_Display.Open(kLogicalDeviceName);
  if (m_Display.GetResultCode() != OPOS_SUCCESS) {
    view_.MessageBox("This device has not been registered, or cannot use.",
                     "JQ Pole Display - OPEN error");
    return;
  }
  m_Display.ClaimDevice(1000);
  if (m_Display.GetResultCode() != OPOS_SUCCESS) {
    view_.MessageBox("Fails to get the exclusive right for the device.",
                     "JQ Pole Display - CLAIM error");
    return;
  }
  m_Display.SetDeviceEnabled(true);
  if (m_Display.GetResultCode() != OPOS_SUCCESS) {
    view_.MessageBox("Now the device is disable to use.", "JQ Pole Display - ENABLE error");
    return;
  }
  const std::u16string name = m_Display.GetDeviceName();
  if (name.substr(0, 6) != u"JQ POS") {
    view_.MessageBox("Device is not JQ POS Device", appName_);
    return;
  }
  m_Display.GetClaimed();
  startupOk_ = true;
}

bool CPolecheckDlg::OnInitDialog() {
  UpdateData(false);
  view_.InitWindow();
  startupOk_ = false;
  try {
    RunStartup();
  } catch (const DispatchError& e) {
    // A control object that fails at the dispatch level cannot be tested: treat it like any
    // other failed start-up rather than offering buttons that cannot work.
    ReportDispatchError(e);
    startupOk_ = false;
  }
  view_.SetButtonCaption(IDC_POUND, u"\u00A3");
  view_.SetButtonCaption(IDC_EURO, u"\u20AC");
  if (startupOk_) {
    try {
      m_Display.CreateWindow(0, 0, 1, 20, 1, 20);
      m_Display.SetMarqueeUnitWait(100);
      m_Display.CreateWindow(1, 0, 1, 20, 1, 20);
      m_Display.SetMarqueeUnitWait(50);
      m_Display.SetCurrentWindow(0);
      m_Display.ClearText();
    } catch (const DispatchError& e) {
      ReportDispatchError(e);
      startupOk_ = false;
    }
  }
  if (!startupOk_) {
    for (int id : kControlsOffWhenFailed) view_.EnableControl(id, false);
  }
  return true;
}

void CPolecheckDlg::StopSequence() {
  m_Display.SetMarqueeType(DISP_MT_INIT);
  m_Display.SetMarqueeType(DISP_MT_NONE);
  m_Display.ClearText();
}

size_t CPolecheckDlg::ReadText() {
  const std::u16string text = view_.GetFieldText(IDC_TEXT_EDIT);
  const size_t n = text.size();
  // Room for the text, its terminator and the two code units a sign append writes.
  if (g_TextBuffer.size() < n + 3) g_TextBuffer.resize(n + 3);
  std::copy(text.begin(), text.end(), g_TextBuffer.begin());
  g_TextBuffer[n] = u'\0';
  return n;
}

void CPolecheckDlg::LockTextButtons(bool lock) {
  for (int id : kLockedButtons) view_.EnableControl(id, !lock);
}

void CPolecheckDlg::OnDisplayText() {
  LockTextButtons(true);
  g_ActiveMarquee = m_Display.GetCurrentWindow();
  if (g_ActiveMarquee == 1) {
    StopSequence();
    m_Display.ClearText();
  } else if (g_ActiveMarquee == 2) {
    StopSequence();
  }
  m_Display.SetCurrentWindow(0);
  g_ActiveMarquee = 0;
  ReadText();
  m_Display.DisplayText(g_TextBuffer.c_str(), DISP_DT_NORMAL);
  LockTextButtons(false);
}

void CPolecheckDlg::OnDisplayTextAt() {
  LockTextButtons(true);
  if (g_ActiveMarquee == 1 || g_ActiveMarquee == 2) StopSequence();
  if (g_ActiveMarquee != 0) {
    m_Display.SetCurrentWindow(0);
    g_ActiveMarquee = 0;
  }
  UpdateData(true);
  ReadText();
  m_Display.DisplayTextAt(Saturate(int64_t{m_Row} - 1), Saturate(int64_t{m_Column} - 1),
                          g_TextBuffer.c_str(), DISP_DT_NORMAL);
  LockTextButtons(false);
}

void CPolecheckDlg::OnBlink() {
  m_Display.ClearText();
  m_Display.SetCurrentWindow(1);
  g_ActiveMarquee = 1;
  m_Display.ClearText();
  m_Display.SetMarqueeType(DISP_MT_INIT);
  m_Display.DisplayTextAt(1, 1, u"  !!! Blinking !!! ", DISP_DT_BLINK);
}

void CPolecheckDlg::OnScrollLine1() {
  if (g_ActiveMarquee == 2) StopSequence();
  m_Display.SetCurrentWindow(1);
  g_ActiveMarquee = 1;
  m_Display.ClearText();
  m_Display.SetMarqueeType(DISP_MT_INIT);
  m_Display.DisplayTextAt(0, 0, u"Scrolling Text Line 1 ", DISP_DT_NORMAL);
  m_Display.SetMarqueeType(DISP_MT_LEFT);
}

void CPolecheckDlg::OnScrollLine2() {
  g_ActiveMarquee = m_Display.GetCurrentWindow();
  if (g_ActiveMarquee == 1) StopSequence();
  m_Display.SetCurrentWindow(2);
  g_ActiveMarquee = 2;
  m_Display.ClearText();
  m_Display.SetMarqueeType(DISP_MT_INIT);
  m_Display.DisplayTextAt(0, 0, u"<<< Scrolling Text Line 2 >>> ...", DISP_DT_NORMAL);
  m_Display.SetMarqueeType(DISP_MT_LEFT);
}

void CPolecheckDlg::OnCharacterDelay() {
  if (g_ActiveMarquee == 1 || g_ActiveMarquee == 2) StopSequence();
  UpdateData(true);
  m_Delay = Saturate(int64_t{m_Delay} * 100);
  m_Display.SetCurrentWindow(1);
  m_Display.SetCurrentWindow(0);
  m_Display.SetMarqueeType(DISP_MT_NONE);
  m_Display.ClearText();
  m_Display.SetInterCharacterWait(m_Delay);
  UpdateData(true);
  UpdateData(false);
}

void CPolecheckDlg::AppendSign(char16_t sign) {
  LockTextButtons(true);
  const size_t n = ReadText();
  g_TextBuffer[n] = sign;
  g_TextBuffer[n + 1] = u'\0';
  g_TextBuffer[n + 2] = u'\0';
  view_.SetFieldText(IDC_TEXT_EDIT, g_TextBuffer.c_str());
  LockTextButtons(false);
}

void CPolecheckDlg::OnEuro() { AppendSign(u'\u20AC'); }

void CPolecheckDlg::OnPound() { AppendSign(u'\u00A3'); }

void CPolecheckDlg::OnClearText() {
  m_Display.SetCurrentWindow(1);
  m_Display.SetMarqueeType(DISP_MT_INIT);
  m_Display.SetMarqueeType(DISP_MT_NONE);
  m_Display.SetCurrentWindow(2);
  m_Display.SetMarqueeType(DISP_MT_INIT);
  m_Display.SetMarqueeType(DISP_MT_NONE);
  m_Display.SetCurrentWindow(0);
  m_Display.SetMarqueeType(DISP_MT_NONE);
  m_Display.SetInterCharacterWait(0);
  m_Display.ClearText();
}

void CPolecheckDlg::OnExit() {
  m_Display.SetCurrentWindow(2);
  m_Display.DestroyWindow();
  m_Display.SetCurrentWindow(1);
  m_Display.DestroyWindow();
  m_Display.SetMarqueeType(DISP_MT_INIT);
  m_Display.SetMarqueeType(DISP_MT_NONE);
  m_Display.ClearText();
  m_Display.Close();
  view_.EndDialog(IDCANCEL);
}

void CPolecheckDlg::OnOK() {
  if (UpdateData(true)) view_.EndDialog(IDOK);
}

void CPolecheckDlg::ReportDispatchError(const DispatchError& e) {
  ++dispatchFailures_;
  view_.MessageBox(e.UserText(), appName_);
}

bool CPolecheckDlg::OnCommand(int id) {
  try {
    switch (id) {
      case IDOK:
        OnOK();
        break;
      case IDCANCEL:
        OnExit();
        break;
      case IDC_DISPLAY_TEXT:
        OnDisplayText();
        break;
      case IDC_EURO:
        OnEuro();
        break;
      case IDC_POUND:
        OnPound();
        break;
      case IDC_DISPLAY_TEXT_AT:
        OnDisplayTextAt();
        break;
      case IDC_BLINK:
        OnBlink();
        break;
      case IDC_SCROLL_LINE1:
        OnScrollLine1();
        break;
      case IDC_SCROLL_LINE2:
        OnScrollLine2();
        break;
      case IDC_CHARACTER_DELAY:
        OnCharacterDelay();
        break;
      case IDC_CLEAR_TEXT:
        OnClearText();
        break;
      default:
        return false;
    }
  } catch (const DispatchError& e) {
    ReportDispatchError(e);
    // A control object that fails the Exit sequence must not keep the user from leaving.
    if (id == IDCANCEL) view_.EndDialog(IDCANCEL);
  }
  return true;
}

}  // namespace polecheck
