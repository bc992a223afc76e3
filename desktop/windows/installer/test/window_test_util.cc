#include "desktop/windows/installer/test/window_test_util.h"

#include <string.h>

namespace installer {
namespace test {

namespace {

// The id of a message box's text.
constexpr int kMessageBoxTextId = 0xFFFF;

std::wstring GetText(HWND window) {
  wchar_t text[2048] = {};
  // WM_GETTEXT works across processes, where GetWindowText does not ask the window.
  ::SendMessageW(window, WM_GETTEXT, ARRAYSIZE(text), reinterpret_cast<LPARAM>(text));
  return text;
}

void NotifyDialog(HWND dialog, int id, int notification) {
  ::SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, notification),
                 reinterpret_cast<LPARAM>(::GetDlgItem(dialog, id)));
}

}  // namespace

std::wstring GetControlText(HWND dialog, int id) {
  return GetText(::GetDlgItem(dialog, id));
}

bool IsControlVisible(HWND dialog, int id) {
  return ::IsWindowVisible(::GetDlgItem(dialog, id)) != FALSE;
}

bool IsControlEnabled(HWND dialog, int id) {
  return ::IsWindowEnabled(::GetDlgItem(dialog, id)) != FALSE;
}

void ClickButton(HWND dialog, int id) {
  ::SendMessageW(::GetDlgItem(dialog, id), BM_CLICK, 0, 0);
}

void ChooseComboItem(HWND dialog, int id, int index) {
  ::SendDlgItemMessageW(dialog, id, CB_SETCURSEL, index, 0);
  NotifyDialog(dialog, id, CBN_SELCHANGE);
}

void TypeIntoCombo(HWND dialog, int id, const std::wstring& text) {
  ::SendDlgItemMessageW(dialog, id, CB_SETCURSEL, static_cast<WPARAM>(-1), 0);
  ::SendDlgItemMessageW(dialog, id, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
  NotifyDialog(dialog, id, CBN_EDITCHANGE);
}

std::wstring GetComboItem(HWND dialog, int id, int index) {
  wchar_t text[1024] = {};
  if (::SendDlgItemMessageW(dialog, id, CB_GETLBTEXTLEN, index, 0) >=
      static_cast<LRESULT>(ARRAYSIZE(text))) {
    return std::wstring();
  }
  ::SendDlgItemMessageW(dialog, id, CB_GETLBTEXT, index, reinterpret_cast<LPARAM>(text));
  return text;
}

int GetComboCount(HWND dialog, int id) {
  return static_cast<int>(::SendDlgItemMessageW(dialog, id, CB_GETCOUNT, 0, 0));
}

int GetComboSelection(HWND dialog, int id) {
  return static_cast<int>(::SendDlgItemMessageW(dialog, id, CB_GETCURSEL, 0, 0));
}

MessageBoxAnswerer::MessageBoxAnswerer(DWORD thread_id, int button, base::TimeDelta deadline)
    : thread_id_(thread_id), button_(button), deadline_(base::TimeTicks::Now() + deadline) {
  base::OsThread::Create(0, this, &thread_);
}

MessageBoxAnswerer::~MessageBoxAnswerer() {
  if (thread_.IsValid())
    base::OsThread::Join(&thread_);
}

bool MessageBoxAnswerer::answered() const {
  base::AutoLock lock(lock_);
  return answered_;
}

std::wstring MessageBoxAnswerer::text() const {
  base::AutoLock lock(lock_);
  return text_;
}

std::wstring MessageBoxAnswerer::title() const {
  base::AutoLock lock(lock_);
  return title_;
}

std::map<int, std::wstring> MessageBoxAnswerer::buttons() const {
  base::AutoLock lock(lock_);
  return buttons_;
}

HWND MessageBoxAnswerer::FindActiveBox() const {
  GUITHREADINFO info = {};
  info.cbSize = sizeof(info);
  if (!::GetGUIThreadInfo(thread_id_, &info) || !info.hwndActive)
    return nullptr;
  wchar_t class_name[16] = {};
  ::GetClassNameW(info.hwndActive, class_name, ARRAYSIZE(class_name));
  // A message box: a dialog with the button to press and a message text.
  if (wcscmp(class_name, L"#32770") != 0 || !::GetDlgItem(info.hwndActive, button_) ||
      !::GetDlgItem(info.hwndActive, kMessageBoxTextId)) {
    return nullptr;
  }
  return info.hwndActive;
}

void MessageBoxAnswerer::ThreadMain() {
  while (base::TimeTicks::Now() < deadline_) {
    const HWND box = FindActiveBox();
    if (!box) {
      base::OsThread::Sleep(base::TimeDelta::FromMilliseconds(20));
      continue;
    }
    {
      base::AutoLock lock(lock_);
      text_ = GetText(::GetDlgItem(box, kMessageBoxTextId));
      title_ = GetText(box);
      for (int id : {IDYES, IDNO, IDOK}) {
        if (HWND button = ::GetDlgItem(box, id))
          buttons_[id] = GetText(button);
      }
      answered_ = true;
    }
    ::PostMessageW(box, WM_COMMAND, MAKEWPARAM(button_, BN_CLICKED),
                   reinterpret_cast<LPARAM>(::GetDlgItem(box, button_)));
    return;
  }
}

}  // namespace test
}  // namespace installer
