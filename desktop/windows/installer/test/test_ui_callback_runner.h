#ifndef DESKTOP_WINDOWS_INSTALLER_TEST_TEST_UI_CALLBACK_RUNNER_H_
#define DESKTOP_WINDOWS_INSTALLER_TEST_TEST_UI_CALLBACK_RUNNER_H_

#include <stdint.h>

#include <utility>

#include "desktop/windows/installer/wininet/ui_callback_runner.h"

namespace installer {
namespace test {

// Answers UI requests at once without showing anything: the UI task is not run and the
// reply gets a fixed result.
class TestUICallbackRunner : public UICallbackRunner {
 public:
  void set_reply_result(int32_t result) { reply_result_ = result; }
  int call_count() const { return call_count_; }

  void RunUICallbackAndPostReply(UITask ui_task,
                                 base::scoped_refptr<base::TaskRunner> reply_runner,
                                 Reply reply) override {
    ++call_count_;
    PostUICallbackReply(FROM_HERE, reply_runner, std::move(reply), reply_result_);
  }

 private:
  int32_t reply_result_ = 0;
  int call_count_ = 0;
};

}  // namespace test
}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_TEST_TEST_UI_CALLBACK_RUNNER_H_
