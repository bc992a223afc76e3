#ifndef DESKTOP_WINDOWS_INSTALLER_TEST_WINDOW_TEST_UTIL_H_
#define DESKTOP_WINDOWS_INSTALLER_TEST_WINDOW_TEST_UTIL_H_

#include <windows.h>

#include <map>
#include <string>

#include "base/synchronization/lock.h"
#include "base/threading/os_thread.h"
#include "base/time/time.h"
#include "base/win/scoped_handle.h"

// Driving windows the way a person does, for the window's tests: reading what a control
// shows, clicking, choosing from a list, typing, and answering a message box. The windows
// may belong to this process or to another one.

namespace installer {
namespace test {

std::wstring GetControlText(HWND dialog, int id);
bool IsControlVisible(HWND dialog, int id);
bool IsControlEnabled(HWND dialog, int id);

// Clicks a button (BM_CLICK), which tells its dialog as a real click does.
void ClickButton(HWND dialog, int id);
// Picks entry |index| of a drop-down list and tells its dialog that the selection changed.
void ChooseComboItem(HWND dialog, int id, int index);
// Replaces the text of an editable drop-down and tells its dialog that it was edited.
void TypeIntoCombo(HWND dialog, int id, const std::wstring& text);
std::wstring GetComboItem(HWND dialog, int id, int index);
int GetComboCount(HWND dialog, int id);
int GetComboSelection(HWND dialog, int id);

// Answers the next message box that the thread |thread_id| shows, from a thread of its own:
// once the box is active it reads its text and button labels and clicks |button| (IDYES,
// IDNO, IDOK). Gives up after |deadline|; the destructor waits for the thread.
class MessageBoxAnswerer : public base::OsThread::Delegate {
 public:
  MessageBoxAnswerer(DWORD thread_id,
                     int button,
                     base::TimeDelta deadline = base::TimeDelta::FromSeconds(20));
  MessageBoxAnswerer(const MessageBoxAnswerer&) = delete;
  MessageBoxAnswerer& operator=(const MessageBoxAnswerer&) = delete;
  ~MessageBoxAnswerer() override;

  bool answered() const;
  // The box's message and title.
  std::wstring text() const;
  std::wstring title() const;
  // The labels of the box's IDYES, IDNO and IDOK buttons that exist.
  std::map<int, std::wstring> buttons() const;

 private:
  void ThreadMain() override;
  HWND FindActiveBox() const;

  const DWORD thread_id_;
  const int button_;
  const base::TimeTicks deadline_;
  mutable base::Lock lock_;
  bool answered_ = false;  // Under |lock_|, like the texts.
  std::wstring text_;
  std::wstring title_;
  std::map<int, std::wstring> buttons_;
  base::win::ScopedHandle thread_;
};

}  // namespace test
}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_TEST_WINDOW_TEST_UTIL_H_
