#ifndef DESKTOP_WINDOWS_INSTALLER_WININET_UI_CALLBACK_RUNNER_H_
#define DESKTOP_WINDOWS_INSTALLER_WININET_UI_CALLBACK_RUNNER_H_

#include <windows.h>

#include <stdint.h>

#include <utility>

#include "base/bind.h"
#include "base/callback.h"
#include "base/location.h"
#include "base/memory/ref_counted.h"
#include "base/task_runner.h"

namespace installer {

// Runs work that needs the user interface (a dialog owned by the installer window) on
// behalf of code running on other threads, such as the downloader's proxy
// authentication prompt. Implemented by the controllers: the window controller runs the
// task with its window as the parent, the silent controller refuses.
class UICallbackRunner {
 public:
  // Takes the parent window for a dialog (may be null) and returns the dialog's result.
  using UITask = base::Callback<int32_t(HWND)>;
  // Takes the result of the UI task (or the implementation's answer when it did not run).
  using Reply = base::Callback<void(int32_t)>;

  virtual ~UICallbackRunner() = default;

  // Runs |ui_task| on the user interface's thread, now or later, and posts |reply| with
  // its result to |reply_runner|. An implementation that cannot or will not show the
  // task's user interface posts |reply| with a result of its own instead; the reply is
  // posted in every case.
  virtual void RunUICallbackAndPostReply(UITask ui_task,
                                         base::scoped_refptr<base::TaskRunner> reply_runner,
                                         Reply reply) = 0;
};

// Posts |reply| with |result| to |reply_runner|: the last step of every implementation.
inline bool PostUICallbackReply(const base::Location& from_here,
                                const base::scoped_refptr<base::TaskRunner>& reply_runner,
                                UICallbackRunner::Reply reply,
                                int32_t result) {
  return reply_runner->PostTask(
      from_here, base::BindLambda([](const UICallbackRunner::Reply& bound_reply,
                                     int32_t bound_result) { bound_reply.Run(bound_result); },
                                  std::move(reply), result));
}

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_WININET_UI_CALLBACK_RUNNER_H_
