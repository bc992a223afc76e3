#ifndef BASE_EXIT_CALLBACK_REGISTRY_H_
#define BASE_EXIT_CALLBACK_REGISTRY_H_

#include <utility>
#include <vector>

namespace base {

// The clean-up run when the installer's run ends: RunInstaller creates the registry first
// (as a local object) and destroys it last; process-wide objects register their
// destruction with it. One registry exists at a time.
class ExitCallbackRegistry {
 public:
  using Callback = void (*)(void* argument);

  ExitCallbackRegistry();
  ExitCallbackRegistry(const ExitCallbackRegistry&) = delete;
  ExitCallbackRegistry& operator=(const ExitCallbackRegistry&) = delete;
  // Runs the callbacks, last registered first (including those registered meanwhile).
  ~ExitCallbackRegistry();

  // Adds callback(argument) to the current registry; dropped when none exists. Any thread.
  static void RegisterCallback(Callback callback, void* argument);

 private:
  std::vector<std::pair<Callback, void*>> callbacks_;  // Under the registry lock.
};

}  // namespace base

#endif  // BASE_EXIT_CALLBACK_REGISTRY_H_
