#ifndef DESKTOP_WINDOWS_INSTALLER_PACKAGE_FETCHER_FETCHER_DELEGATE_PROXY_H_
#define DESKTOP_WINDOWS_INSTALLER_PACKAGE_FETCHER_FETCHER_DELEGATE_PROXY_H_

#include <stdint.h>

#include <type_traits>

#include "base/location.h"
#include "base/memory/ref_counted.h"
#include "base/single_thread_task_runner.h"
#include "base/synchronization/lock.h"
#include "desktop/windows/installer/package_fetcher/package_fetcher.h"
#include "desktop/windows/installer/ui_callback_runner.h"

namespace installer {

// Carries the package fetcher's notifications and UI requests from its worker thread to the
// controller's thread: every call, from any thread, posts a task there that calls the same
// operation of the controller's delegate or UI-callback runner. Once Detach has been called
// the posted calls find no controller and do nothing; a UI request then gets the reply
// ERROR_CANCELLED, so that its asker is never left waiting.
class FetcherDelegateProxy : public PackageFetcher::Delegate,
                             public UICallbackRunner,
                             public base::RefCountedThreadSafe<FetcherDelegateProxy> {
 public:
  // Made on the controller's thread, whose loop the calls are posted to. Neither pointer
  // is owned.
  FetcherDelegateProxy(PackageFetcher::Delegate* delegate, UICallbackRunner* ui_callback_runner);
  FetcherDelegateProxy(const FetcherDelegateProxy&) = delete;
  FetcherDelegateProxy& operator=(const FetcherDelegateProxy&) = delete;

  // Forgets the controller; any thread.
  void Detach();

  // PackageFetcher::Delegate:
  void SetTotalProgress(int32_t total) override;
  void SetCurrentProgress(int32_t current) override;
  void NotifyStalled() override;
  void NotifyStatusChanged(int32_t status) override;

  // UICallbackRunner:
  void RunUICallbackAndPostReply(UITask ui_task,
                                 base::scoped_refptr<base::TaskRunner> reply_runner,
                                 Reply reply) override;

 private:
  friend class base::RefCountedThreadSafe<FetcherDelegateProxy>;
  ~FetcherDelegateProxy() override;

  // Posts a call of |method| with |args| to the controller's thread.
  template <typename Interface, typename... Args>
  void PostToDelegate(const base::Location& from_here,
                      void (Interface::*method)(Args...),
                      std::type_identity_t<Args>... args);

  // On the controller's thread; null once detached.
  PackageFetcher::Delegate* GetDelegate() const;
  UICallbackRunner* GetUICallbackRunner() const;

  const base::scoped_refptr<base::SingleThreadTaskRunner> task_runner_;
  mutable base::Lock lock_;
  PackageFetcher::Delegate* delegate_;    // Under |lock_|.
  UICallbackRunner* ui_callback_runner_;  // Under |lock_|.
};

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_PACKAGE_FETCHER_FETCHER_DELEGATE_PROXY_H_
