#ifndef BASE_MEMORY_REF_COUNTED_H_
#define BASE_MEMORY_REF_COUNTED_H_

#include <stdint.h>

#include <atomic>
#include <cstddef>
#include <utility>

// Intrusive, thread-safe reference counting:
//
//   class Store : public base::RefCountedThreadSafe<Store> {
//    private:
//     friend class base::RefCountedThreadSafe<Store>;
//     ~Store();
//   };
//   base::scoped_refptr<Store> store = base::MakeRefCounted<Store>();
//
// The object is deleted, through a pointer of type T, when the last reference goes; an
// interface base (T) that is deleted through its derived classes needs a virtual
// destructor.

namespace base {

template <typename T>
class RefCountedThreadSafe {
 public:
  RefCountedThreadSafe(const RefCountedThreadSafe&) = delete;
  RefCountedThreadSafe& operator=(const RefCountedThreadSafe&) = delete;

  void AddRef() const { ref_count_.fetch_add(1, std::memory_order_relaxed); }
  void Release() const {
    if (ref_count_.fetch_sub(1, std::memory_order_acq_rel) == 1)
      delete static_cast<const T*>(this);
  }
  bool HasOneRef() const { return ref_count_.load(std::memory_order_acquire) == 1; }

 protected:
  RefCountedThreadSafe() = default;
  ~RefCountedThreadSafe() = default;

 private:
  mutable std::atomic<int32_t> ref_count_{0};
};

// Holds one reference to a reference-counted object (or none).
template <typename T>
class scoped_refptr {
 public:
  scoped_refptr() = default;
  scoped_refptr(std::nullptr_t) {}
  scoped_refptr(T* ptr) : ptr_(ptr) {
    if (ptr_)
      ptr_->AddRef();
  }
  scoped_refptr(const scoped_refptr& other) : scoped_refptr(other.ptr_) {}
  template <typename U>
  scoped_refptr(const scoped_refptr<U>& other) : scoped_refptr(other.get()) {}
  scoped_refptr(scoped_refptr&& other) noexcept : ptr_(other.ptr_) { other.ptr_ = nullptr; }
  template <typename U>
  scoped_refptr(scoped_refptr<U>&& other) noexcept : ptr_(other.ptr_) {
    other.ptr_ = nullptr;
  }
  ~scoped_refptr() {
    if (ptr_)
      ptr_->Release();
  }

  scoped_refptr& operator=(scoped_refptr other) noexcept {
    std::swap(ptr_, other.ptr_);
    return *this;
  }

  T* get() const { return ptr_; }
  T& operator*() const { return *ptr_; }
  T* operator->() const { return ptr_; }
  explicit operator bool() const { return ptr_ != nullptr; }

  void reset() { scoped_refptr().swap(*this); }
  void swap(scoped_refptr& other) noexcept { std::swap(ptr_, other.ptr_); }

  template <typename U>
  bool operator==(const scoped_refptr<U>& other) const {
    return ptr_ == other.get();
  }
  bool operator==(std::nullptr_t) const { return ptr_ == nullptr; }


 private:
  template <typename U>
  friend class scoped_refptr;

  T* ptr_ = nullptr;
};

template <typename T, typename... Args>
scoped_refptr<T> MakeRefCounted(Args&&... args) {
  return scoped_refptr<T>(new T(std::forward<Args>(args)...));
}

}  // namespace base

#endif  // BASE_MEMORY_REF_COUNTED_H_
