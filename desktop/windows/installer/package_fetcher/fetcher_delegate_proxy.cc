#include "desktop/windows/installer/package_fetcher/fetcher_delegate_proxy.h"

#include <windows.h>

#include <type_traits>
#include <utility>

#include "base/bind.h"
#include "base/location.h"
#include "base/logging.h"
#include "base/message_loop/message_loop.h"

namespace installer {

FetcherDelegateProxy::FetcherDelegateProxy(PackageFetcher::Delegate* delegate,
                                           UICallbackRunner* ui_callback_runner)
    : task_runner_(base::MessageLoop::Current() ? base::MessageLoop::Current()->task_runner()
                                                : nullptr),
      delegate_(delegate),
      ui_callback_runner_(ui_callback_runner) {
  CHECK(task_runner_) << "The package fetcher's controller runs a message loop";
}

FetcherDelegateProxy::~FetcherDelegateProxy() = default;

void FetcherDelegateProxy::Detach() {
  base::AutoLock lock(lock_);
  delegate_ = nullptr;
  ui_callback_runner_ = nullptr;
}

PackageFetcher::Delegate* FetcherDelegateProxy::GetDelegate() const {
  base::AutoLock lock(lock_);
  return delegate_;
}

UICallbackRunner* FetcherDelegateProxy::GetUICallbackRunner() const {
  base::AutoLock lock(lock_);
  return ui_callback_runner_;
}

template <typename Interface, typename... Args>
void FetcherDelegateProxy::PostToDelegate(const base::Location& from_here,
                                          void (Interface::*method)(Args...),
                                          std::type_identity_t<Args>... args) {
  static_assert(std::is_base_of_v<Interface, PackageFetcher::Delegate>);
  task_runner_->PostTask(
      from_here,
      base::BindLambda(
          [method](const base::scoped_refptr<FetcherDelegateProxy>& self, Args&... values) {
            if (PackageFetcher::Delegate* delegate = self->GetDelegate())
              (delegate->*method)(values...);
          },
          base::scoped_refptr<FetcherDelegateProxy>(this), args...));
}

void FetcherDelegateProxy::SetTotalProgress(int32_t total) {
  PostToDelegate(FROM_HERE, &PackageFetcher::Delegate::SetTotalProgress, total);
}

void FetcherDelegateProxy::SetCurrentProgress(int32_t current) {
  PostToDelegate(FROM_HERE, &PackageFetcher::Delegate::SetCurrentProgress, current);
}

void FetcherDelegateProxy::NotifyStalled() {
  PostToDelegate(FROM_HERE, &PackageFetcher::Delegate::NotifyStalled);
}

void FetcherDelegateProxy::NotifyStatusChanged(int32_t status) {
  PostToDelegate(FROM_HERE, &PackageFetcher::Delegate::NotifyStatusChanged, status);
}

void FetcherDelegateProxy::RunUICallbackAndPostReply(
    UITask ui_task,
    base::scoped_refptr<base::TaskRunner> reply_runner,
    Reply reply) {
  task_runner_->PostTask(
      FROM_HERE, base::BindLambda(
                     [](const base::scoped_refptr<FetcherDelegateProxy>& self, UITask& task,
                        base::scoped_refptr<base::TaskRunner>& runner, Reply& bound_reply) {
                       if (UICallbackRunner* ui_callback_runner = self->GetUICallbackRunner()) {
                         ui_callback_runner->RunUICallbackAndPostReply(
                             std::move(task), std::move(runner), std::move(bound_reply));
                         return;
                       }
                       PostUICallbackReply(FROM_HERE, runner, std::move(bound_reply),
                                           ERROR_CANCELLED);
                     },
                     base::scoped_refptr<FetcherDelegateProxy>(this), std::move(ui_task),
                     std::move(reply_runner), std::move(reply)));
}

}  // namespace installer
