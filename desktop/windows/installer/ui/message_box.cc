#include "desktop/windows/installer/ui/message_box.h"

#include "base/logging.h"
#include "desktop/windows/rc_l10n_handler/localized_string.h"

namespace installer {

namespace {

// A computer-based-training hook of the calling thread, removed when it goes.
class ScopedThreadHook {
 public:
  ScopedThreadHook(int type, HOOKPROC procedure)
      : hook_(::SetWindowsHookExW(type, procedure, nullptr, ::GetCurrentThreadId())) {
    if (!hook_)
      PLOG(ERROR) << "SetWindowsHookEx failed";
  }
  ScopedThreadHook(const ScopedThreadHook&) = delete;
  ScopedThreadHook& operator=(const ScopedThreadHook&) = delete;
  ~ScopedThreadHook() {
    if (hook_)
      ::UnhookWindowsHookEx(hook_);
  }

 private:
  const HHOOK hook_;
};

bool IsMessageBox(HWND window) {
  wchar_t class_name[16] = {};
  return ::GetClassNameW(window, class_name, ARRAYSIZE(class_name)) &&
         wcscmp(class_name, L"#32770") == 0;
}

LRESULT CALLBACK RelabelButtons(int code, WPARAM wparam, LPARAM lparam) {
  if (code == HCBT_ACTIVATE) {
    const HWND window = reinterpret_cast<HWND>(wparam);
    if (IsMessageBox(window)) {
      const struct {
        int button;
        int string_id;
      } kButtons[] = {{IDYES, IDS_YES}, {IDNO, IDS_NO}, {IDOK, IDS_OK}};
      for (const auto& button : kButtons) {
        if (::GetDlgItem(window, button.button))
          ::SetDlgItemTextW(window, button.button, GetString(button.string_id).c_str());
      }
    }
  }
  return ::CallNextHookEx(nullptr, code, wparam, lparam);
}

}  // namespace

int ShowLocalizedMessageBox(HWND owner,
                            const std::wstring& text,
                            const std::wstring& title,
                            UINT type) {
  ScopedThreadHook hook(WH_CBT, &RelabelButtons);
  return ::MessageBoxW(owner, text.c_str(), title.c_str(), type);
}

}  // namespace installer
