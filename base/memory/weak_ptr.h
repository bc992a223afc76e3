#ifndef BASE_MEMORY_WEAK_PTR_H_
#define BASE_MEMORY_WEAK_PTR_H_

#include <stdint.h>

#include <atomic>
#include <cstddef>
#include <type_traits>
#include <utility>

#include "base/logging.h"

// Weak pointers: an object hands out WeakPtrs through its WeakPtrFactory (normally its last
// member, so that it is invalidated first); once the factory is destroyed or
// InvalidateWeakPtrs is called, every WeakPtr it handed out reads as null. Tasks bound to a
// weak pointer (base/bind.h) are skipped from then on.
//
// The validity flag is atomic, but a WeakPtr is only meaningful on the thread that owns the
// object: dereference and invalidate on that thread.

namespace base {

// The shared validity flag: reference-counted by the owner and every WeakReference.
class WeakReferenceFlag {
 public:
  WeakReferenceFlag() = default;
  WeakReferenceFlag(const WeakReferenceFlag&) = delete;
  WeakReferenceFlag& operator=(const WeakReferenceFlag&) = delete;

  void AddRef() { ref_count_.fetch_add(1, std::memory_order_relaxed); }
  void Release() {
    if (ref_count_.fetch_sub(1, std::memory_order_acq_rel) == 1)
      delete this;
  }
  bool HasOneRef() const { return ref_count_.load(std::memory_order_acquire) == 1; }

  bool IsValid() const { return valid_.load(std::memory_order_acquire); }
  void Invalidate() { valid_.store(false, std::memory_order_release); }

 private:
  ~WeakReferenceFlag() = default;

  std::atomic<int32_t> ref_count_{0};
  std::atomic<bool> valid_{true};
};

// One reference to a flag (or none, which is never valid).
class WeakReference {
 public:
  WeakReference() = default;
  explicit WeakReference(WeakReferenceFlag* flag) : flag_(flag) {
    if (flag_)
      flag_->AddRef();
  }
  WeakReference(const WeakReference& other) : WeakReference(other.flag_) {}
  WeakReference(WeakReference&& other) noexcept : flag_(other.flag_) { other.flag_ = nullptr; }
  WeakReference& operator=(const WeakReference& other) {
    WeakReference copy(other);
    std::swap(flag_, copy.flag_);
    return *this;
  }
  WeakReference& operator=(WeakReference&& other) noexcept {
    std::swap(flag_, other.flag_);
    return *this;
  }
  ~WeakReference() { Reset(); }

  bool IsValid() const { return flag_ && flag_->IsValid(); }
  WeakReferenceFlag* flag() const { return flag_; }
  void Reset() {
    if (flag_)
      flag_->Release();
    flag_ = nullptr;
  }

 private:
  WeakReferenceFlag* flag_ = nullptr;
};

// Owns the current flag; a new flag is made by the first GetRef after an Invalidate.
class WeakReferenceOwner {
 public:
  WeakReferenceOwner() = default;
  WeakReferenceOwner(const WeakReferenceOwner&) = delete;
  WeakReferenceOwner& operator=(const WeakReferenceOwner&) = delete;
  ~WeakReferenceOwner() { Invalidate(); }

  WeakReference GetRef() const {
    if (!flag_.flag())
      flag_ = WeakReference(new WeakReferenceFlag);
    return flag_;
  }

  // Whether references other than the owner's own exist.
  bool HasRefs() const { return flag_.flag() && !flag_.flag()->HasOneRef(); }

  // Every reference handed out so far becomes invalid.
  void Invalidate() {
    if (flag_.flag())
      flag_.flag()->Invalidate();
    flag_.Reset();
  }

 private:
  mutable WeakReference flag_;
};

template <typename T>
class WeakPtrFactory;

template <typename T>
class WeakPtr {
 public:
  WeakPtr() = default;
  WeakPtr(std::nullptr_t) {}
  template <typename U>
    requires std::is_convertible_v<U*, T*>
  WeakPtr(const WeakPtr<U>& other) : ref_(other.ref_), ptr_(other.ptr_) {}

  // The object, or null once invalidated.
  T* get() const { return ref_.IsValid() ? ptr_ : nullptr; }
  T& operator*() const {
    CHECK(get()) << "dereferencing an invalid WeakPtr";
    return *ptr_;
  }
  T* operator->() const {
    CHECK(get()) << "dereferencing an invalid WeakPtr";
    return ptr_;
  }
  explicit operator bool() const { return get() != nullptr; }

  void reset() {
    ref_.Reset();
    ptr_ = nullptr;
  }

 private:
  template <typename U>
  friend class WeakPtr;
  friend class WeakPtrFactory<T>;

  WeakPtr(const WeakReference& ref, T* ptr) : ref_(ref), ptr_(ptr) {}

  WeakReference ref_;
  T* ptr_ = nullptr;
};

template <typename T>
class WeakPtrFactory {
 public:
  explicit WeakPtrFactory(T* ptr) : ptr_(ptr) {}
  WeakPtrFactory(const WeakPtrFactory&) = delete;
  WeakPtrFactory& operator=(const WeakPtrFactory&) = delete;
  ~WeakPtrFactory() = default;  // The owner's destructor invalidates.

  WeakPtr<T> GetWeakPtr() { return WeakPtr<T>(owner_.GetRef(), ptr_); }
  void InvalidateWeakPtrs() { owner_.Invalidate(); }
  bool HasWeakPtrs() const { return owner_.HasRefs(); }

 private:
  WeakReferenceOwner owner_;
  T* ptr_;
};

}  // namespace base

#endif  // BASE_MEMORY_WEAK_PTR_H_
