#include "desktop/windows/installer/ui/win32_dialog_dispatcher.h"

#include "base/lazy_instance.h"
#include "base/logging.h"

namespace installer {

namespace {

base::LazyInstance<Win32DialogDispatcher> g_dispatcher;

}  // namespace

Win32DialogDispatcher* Win32DialogDispatcher::GetInstance() {
  return g_dispatcher.Pointer();
}

Win32DialogDispatcher::Win32DialogDispatcher() = default;
Win32DialogDispatcher::~Win32DialogDispatcher() = default;

void Win32DialogDispatcher::SetActive(HWND dialog) {
  VLOG(2) << "Switching to hwnd " << dialog;
  active_ = dialog;
}

void Win32DialogDispatcher::Deactivate(HWND dialog) {
  VLOG(2) << "Switching away from hwnd " << dialog;
  if (active_ != dialog) {
    VLOG(2) << "Another hwnd was already selected";
    return;
  }
  active_ = nullptr;
}

int Win32DialogDispatcher::FilterMessage(const MSG& message) {
  // A dialog destroyed without a deactivation (the window went away) takes nothing.
  if (active_ && ::IsWindow(active_) && ::IsDialogMessageW(active_, const_cast<MSG*>(&message)))
    return 0;
  return 2;
}

int Win32DialogDispatcher::Dispatch(const MSG& message) {
  return FilterMessage(message);
}

}  // namespace installer
