#ifndef BASE_CALLBACK_H_
#define BASE_CALLBACK_H_

#include <stdint.h>

#include <atomic>
#include <type_traits>
#include <utility>

#include "base/logging.h"

namespace base {

// The shared state behind callbacks: a record on the heap holding how to run it, a
// reference count, how to destroy it, whether it was cancelled and, in the records made by
// the binding helpers (base/bind.h), the bound arguments. Copies of a callback share one
// record, so copying a callback never copies its bound arguments.
struct CallbackRecord {
  // The real type of |invoke| is R (*)(CallbackRecord*, Args...) for a Callback<R(Args...)>.
  using InvokeFunction = void (*)();
  using DestroyFunction = void (*)(CallbackRecord*);
  using IsCancelledFunction = bool (*)(const CallbackRecord*);

  CallbackRecord(InvokeFunction invoke_function,
                 DestroyFunction destroy_function,
                 IsCancelledFunction is_cancelled_function)
      : invoke(invoke_function), destroy(destroy_function), is_cancelled(is_cancelled_function) {}
  CallbackRecord(const CallbackRecord&) = delete;
  CallbackRecord& operator=(const CallbackRecord&) = delete;

  void AddRef() { ref_count.fetch_add(1, std::memory_order_relaxed); }
  void Release() {
    if (ref_count.fetch_sub(1, std::memory_order_acq_rel) == 1)
      destroy(this);
  }
  bool IsCancelled() const { return is_cancelled && is_cancelled(this); }

  InvokeFunction invoke;
  std::atomic<int32_t> ref_count{1};  // The creator's reference.
  DestroyFunction destroy;
  IsCancelledFunction is_cancelled;  // Null: the callback is never cancelled.
};

namespace internal {

// A handle that owns one reference to a CallbackRecord (or none).
class CallbackBase {
 public:
  bool is_null() const { return record_ == nullptr; }
  explicit operator bool() const { return record_ != nullptr; }

  // True when running the callback would do nothing because the object it is bound to
  // through a weak pointer is gone. A null callback counts as cancelled.
  bool IsCancelled() const { return !record_ || record_->IsCancelled(); }

  // Drops this handle's reference; the callback becomes null.
  void Reset() {
    CallbackRecord* record = record_;
    record_ = nullptr;
    if (record)
      record->Release();
  }

  // Whether both handles share one record (or are both null).
  bool Equals(const CallbackBase& other) const { return record_ == other.record_; }

 protected:
  CallbackBase() = default;
  explicit CallbackBase(CallbackRecord* adopted) : record_(adopted) {}
  CallbackBase(const CallbackBase& other) : record_(other.record_) {
    if (record_)
      record_->AddRef();
  }
  CallbackBase(CallbackBase&& other) noexcept : record_(other.record_) { other.record_ = nullptr; }
  CallbackBase& operator=(const CallbackBase& other) {
    if (other.record_)
      other.record_->AddRef();
    Reset();
    record_ = other.record_;
    return *this;
  }
  CallbackBase& operator=(CallbackBase&& other) noexcept {
    if (this != &other) {
      Reset();
      record_ = other.record_;
      other.record_ = nullptr;
    }
    return *this;
  }
  ~CallbackBase() { Reset(); }

  CallbackRecord* record_ = nullptr;
};

}  // namespace internal

template <typename Signature>
class Callback;

// A copyable handle to a bound function, method or lambda taking |Args| and returning R.
// Made by the helpers of base/bind.h; Run may be called any number of times, from any
// thread that the bound code tolerates.
template <typename R, typename... Args>
class Callback<R(Args...)> : public internal::CallbackBase {
 public:
  using RunType = R(Args...);
  using InvokeFunction = R (*)(CallbackRecord*, Args...);

  Callback() = default;
  Callback(std::nullptr_t) {}
  // Takes over the creator's reference of |record|, whose invoke function must be an
  // InvokeFunction.
  explicit Callback(CallbackRecord* record) : CallbackBase(record) {}

  // Runs the bound code. Running a null callback is a programming error. A callback bound to
  // an invalidated weak pointer does nothing.
  R Run(Args... args) const {
    CHECK(record_) << "Run on a null callback";
    // The task may drop the last handle to its own record (e.g. by resetting the member that
    // holds it); the record must outlive the call.
    CallbackRecord* record = record_;
    record->AddRef();
    struct ReleaseOnExit {
      CallbackRecord* record;
      ~ReleaseOnExit() { record->Release(); }
    } release{record};
    return reinterpret_cast<InvokeFunction>(record->invoke)(record, std::forward<Args>(args)...);
  }
};

// The task type: no arguments, no result.
using Closure = Callback<void()>;

}  // namespace base

#endif  // BASE_CALLBACK_H_
