#ifndef BASE_BIND_H_
#define BASE_BIND_H_

#include <stddef.h>

#include <functional>
#include <tuple>
#include <type_traits>
#include <utility>

#include "base/callback.h"

// Binding helpers: each makes one CallbackRecord holding the functor and copies of the
// bound arguments, and returns a Callback over the parameters left unbound.
//
//   base::Closure task = base::BindMethod(&Installer::RunNextStep, this);
//   base::Closure task = base::BindMethodWithArg(&Runner::OnExit, weak_this, exit_code);
//   base::Callback<void(bool)> done = base::BindLambda([this](bool ok) { ... });
//   base::Closure task = base::BindFunction(&DeleteFolder, path);
//
// Objects passed by raw pointer are not owned: the caller guarantees that they outlive
// every run. Binding a method to a WeakPtr instead makes the callback do nothing, and
// report IsCancelled, once the weak pointer is invalidated (such methods return void).
// Bound arguments are kept in the record and passed as lvalues on every run; lambdas may
// capture move-only state.

namespace base {

template <typename T>
class WeakPtr;

namespace internal {

template <typename... T>
struct TypeList {};

// The list without its first N types.
template <size_t N, typename List>
struct DropTypes {
  static_assert(N == 0, "more arguments bound than the functor takes");
  using Type = List;
};
template <size_t N, typename Head, typename... Tail>
  requires(N > 0)
struct DropTypes<N, TypeList<Head, Tail...>> {
  using Type = typename DropTypes<N - 1, TypeList<Tail...>>::Type;
};

template <typename R, typename List>
struct MakeSignature;
template <typename R, typename... P>
struct MakeSignature<R, TypeList<P...>> {
  using Type = R(P...);
};

// Return type and parameters of a function pointer, a method pointer (the object not
// counted) or a lambda (its call operator).
template <typename F, typename = void>
struct FunctorTraits;
template <typename R, typename... P>
struct FunctorTraits<R (*)(P...)> {
  using ReturnType = R;
  using Params = TypeList<P...>;
  static constexpr bool kIsMethod = false;
};
template <typename R, typename C, typename... P>
struct FunctorTraits<R (C::*)(P...)> {
  using ReturnType = R;
  using Params = TypeList<P...>;
  static constexpr bool kIsMethod = true;
};
template <typename R, typename C, typename... P>
struct FunctorTraits<R (C::*)(P...) const> : FunctorTraits<R (C::*)(P...)> {};
template <typename R, typename... P>
struct FunctorTraits<R (*)(P...) noexcept> : FunctorTraits<R (*)(P...)> {};
template <typename R, typename C, typename... P>
struct FunctorTraits<R (C::*)(P...) noexcept> : FunctorTraits<R (C::*)(P...)> {};
template <typename R, typename C, typename... P>
struct FunctorTraits<R (C::*)(P...) const noexcept> : FunctorTraits<R (C::*)(P...)> {};
template <typename F>
struct FunctorTraits<F, std::void_t<decltype(&F::operator())>> {
  using CallTraits = FunctorTraits<decltype(&F::operator())>;
  using ReturnType = typename CallTraits::ReturnType;
  using Params = typename CallTraits::Params;
  static constexpr bool kIsMethod = false;
};

template <typename T>
struct IsWeakPtr : std::false_type {};
template <typename T>
struct IsWeakPtr<WeakPtr<T>> : std::true_type {};

template <bool kIsMethod, typename... Bound>
struct HasWeakReceiver : std::false_type {};
template <typename Receiver, typename... Rest>
struct HasWeakReceiver<true, Receiver, Rest...> : IsWeakPtr<Receiver> {};

template <typename Functor, typename Signature, bool kWeak, typename... Bound>
struct BindRecord;

template <typename Functor, typename R, typename... Unbound, bool kWeak, typename... Bound>
struct BindRecord<Functor, R(Unbound...), kWeak, Bound...> : CallbackRecord {
  template <typename F, typename... B>
  explicit BindRecord(F&& f, B&&... b)
      : CallbackRecord(reinterpret_cast<InvokeFunction>(&Invoke),
                       &Destroy,
                       kWeak ? &IsReceiverGone : nullptr),
        functor(std::forward<F>(f)),
        bound(std::forward<B>(b)...) {}

  static R Invoke(CallbackRecord* record, Unbound... unbound) {
    return static_cast<BindRecord*>(record)->Call(std::index_sequence_for<Bound...>(),
                                                  std::forward<Unbound>(unbound)...);
  }

  template <size_t... I>
  R Call(std::index_sequence<I...>, Unbound&&... unbound) {
    if constexpr (kWeak) {
      // The receiver is the first bound argument.
      return CallWeak(std::index_sequence<I...>(), std::forward<Unbound>(unbound)...);
    } else {
      return std::invoke(functor, std::get<I>(bound)..., std::forward<Unbound>(unbound)...);
    }
  }

  template <size_t... I>
  void CallWeak(std::index_sequence<0, I...>, Unbound&&... unbound) {
    auto* object = std::get<0>(bound).get();
    if (!object)
      return;
    std::invoke(functor, object, std::get<I>(bound)..., std::forward<Unbound>(unbound)...);
  }

  static void Destroy(CallbackRecord* record) { delete static_cast<BindRecord*>(record); }

  static bool IsReceiverGone(const CallbackRecord* record) {
    if constexpr (kWeak)
      return !std::get<0>(static_cast<const BindRecord*>(record)->bound);
    else
      return false;
  }

  Functor functor;
  std::tuple<Bound...> bound;
};

template <typename Functor, typename... Bound>
auto Bind(Functor&& functor, Bound&&... bound) {
  using F = std::decay_t<Functor>;
  using Traits = FunctorTraits<F>;
  constexpr size_t kReceivers = Traits::kIsMethod ? 1 : 0;
  static_assert(sizeof...(Bound) >= kReceivers, "a method is bound with its object");
  constexpr bool kWeak = HasWeakReceiver<Traits::kIsMethod, std::decay_t<Bound>...>::value;
  static_assert(!kWeak || std::is_void_v<typename Traits::ReturnType>,
                "a method bound to a weak pointer returns void");
  using Unbound =
      typename DropTypes<sizeof...(Bound) - kReceivers, typename Traits::Params>::Type;
  using Signature = typename MakeSignature<typename Traits::ReturnType, Unbound>::Type;
  using Record = BindRecord<F, Signature, kWeak, std::decay_t<Bound>...>;
  return Callback<Signature>(
      new Record(std::forward<Functor>(functor), std::forward<Bound>(bound)...));
}

}  // namespace internal

// |method| of |object| (a raw pointer, not owned, or a WeakPtr), with |args| bound to the
// method's first parameters.
template <typename Method, typename Object, typename... Args>
auto BindMethod(Method method, Object&& object, Args&&... args) {
  static_assert(std::is_member_function_pointer_v<Method>, "BindMethod takes a method");
  return internal::Bind(method, std::forward<Object>(object), std::forward<Args>(args)...);
}

// |method| of |object| with its first parameter bound to |argument|.
template <typename Method, typename Object, typename Arg>
auto BindMethodWithArg(Method method, Object&& object, Arg&& argument) {
  return BindMethod(method, std::forward<Object>(object), std::forward<Arg>(argument));
}

// A free function with |args| bound to its first parameters.
template <typename Function, typename... Args>
auto BindFunction(Function function, Args&&... args) {
  static_assert(std::is_pointer_v<Function> &&
                    std::is_function_v<std::remove_pointer_t<Function>>,
                "BindFunction takes a function");
  return internal::Bind(function, std::forward<Args>(args)...);
}

// A lambda (or other object with one call operator), kept in the record; |args| are bound
// to its first parameters.
template <typename Lambda, typename... Args>
auto BindLambda(Lambda&& lambda, Args&&... args) {
  return internal::Bind(std::forward<Lambda>(lambda), std::forward<Args>(args)...);
}

}  // namespace base

#endif  // BASE_BIND_H_
