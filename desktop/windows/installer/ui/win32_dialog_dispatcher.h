#ifndef DESKTOP_WINDOWS_INSTALLER_UI_WIN32_DIALOG_DISPATCHER_H_
#define DESKTOP_WINDOWS_INSTALLER_UI_WIN32_DIALOG_DISPATCHER_H_

#include <windows.h>

#include "base/message_loop/message_dispatcher.h"

namespace installer {

// Remembers which installer dialog is active, so that the main thread's message pump gives
// it its keyboard navigation (Tab, arrows, Enter, mnemonics) through IsDialogMessageW. The
// window controller runs its RunLoop with the process-wide instance as dispatcher; the
// window's dialogs report their activation. Main thread only.
class Win32DialogDispatcher : public base::MessageDispatcher {
 public:
  // Made on first use; destroyed by the exit-callback registry.
  static Win32DialogDispatcher* GetInstance();

  Win32DialogDispatcher();
  Win32DialogDispatcher(const Win32DialogDispatcher&) = delete;
  Win32DialogDispatcher& operator=(const Win32DialogDispatcher&) = delete;
  ~Win32DialogDispatcher() override;

  // |dialog| was activated.
  void SetActive(HWND dialog);
  // |dialog| lost the activation; another dialog activated meanwhile stays active.
  void Deactivate(HWND dialog);
  HWND active() const { return active_; }

  // 0 when the active dialog took |message| as dialog navigation, 2 when there is no active
  // dialog or it did not.
  int FilterMessage(const MSG& message);

  // base::MessageDispatcher:
  int Dispatch(const MSG& message) override;

 private:
  HWND active_ = nullptr;
};

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_UI_WIN32_DIALOG_DISPATCHER_H_
