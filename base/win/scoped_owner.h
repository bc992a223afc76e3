#ifndef BASE_WIN_SCOPED_OWNER_H_
#define BASE_WIN_SCOPED_OWNER_H_

namespace base {
namespace win {

// Owns one system resource (a kernel handle, a GDI object, a window, a block of system
// memory...) from the moment it is made, frees it when it goes, and is move-only. Every
// owner speaks the same words:
//   Get()     the value, still owned;        IsValid()  whether a value is owned;
//   Set(v)    frees the value held (unless it is |v|) and owns |v|;
//   Take()    gives the value up without freeing it;
//   Close()   frees the value held now, leaving the owner empty.
// An invalid value is never freed; an owner holding none reports InvalidValue().
//
// |Traits| says what a value is and how it goes:
//   struct IconTraits : NullIsInvalid<HICON> {
//     static void Free(HICON icon) { ::DestroyIcon(icon); }
//   };
//   using ScopedIcon = ScopedOwner<IconTraits>;
// Traits that keep a record of who owns what (the handle verifier does) also give
// OnTake(value, owner) and OnGiveUp(value, owner); OwnerTraitsBase gives do-nothing ones.
template <typename Traits>
class ScopedOwner {
 public:
  using Value = typename Traits::Value;

  ScopedOwner() = default;
  explicit ScopedOwner(Value value) { Set(value); }
  ScopedOwner(ScopedOwner&& other) noexcept { Set(other.Take()); }
  ScopedOwner& operator=(ScopedOwner&& other) noexcept {
    if (this != &other)
      Set(other.Take());
    return *this;
  }
  ScopedOwner(const ScopedOwner&) = delete;
  ScopedOwner& operator=(const ScopedOwner&) = delete;
  ~ScopedOwner() { Close(); }

  Value Get() const { return value_; }
  bool IsValid() const { return Traits::IsValid(value_); }

  void Set(Value value) {
    if (value == value_)
      return;
    Close();
    if (Traits::IsValid(value)) {
      Traits::OnTake(value, this);
      value_ = value;
    }
  }

  Value Take() {
    const Value value = value_;
    if (Traits::IsValid(value))
      Traits::OnGiveUp(value, this);
    value_ = Traits::InvalidValue();
    return value;
  }

  void Close() {
    if (!Traits::IsValid(value_))
      return;
    const Value value = value_;
    value_ = Traits::InvalidValue();
    Traits::OnGiveUp(value, this);
    Traits::Free(value);
  }

 private:
  Value value_ = Traits::InvalidValue();
};

// Ownership hooks for traits that keep no record of owners.
struct OwnerTraitsBase {
  template <typename Value>
  static void OnTake(Value, const void*) {}
  template <typename Value>
  static void OnGiveUp(Value, const void*) {}
};

// The common case: null is the one invalid value.
template <typename T>
struct NullIsInvalid : OwnerTraitsBase {
  using Value = T;
  static T InvalidValue() { return nullptr; }
  static bool IsValid(T value) { return value != nullptr; }
};

}  // namespace win
}  // namespace base

#endif  // BASE_WIN_SCOPED_OWNER_H_
