#include "base/callback.h"

#include <string.h>

#include <memory>
#include <string>

#include "base/bind.h"
#include "base/location.h"
#include "base/memory/weak_ptr.h"
#include "gtest/gtest.h"

namespace base {
namespace {

class Counter {
 public:
  void Increment() { ++count_; }
  void Add(int amount) { count_ += amount; }
  void AddBoth(int a, int b) { count_ += a + b; }
  int Get() const { return count_; }
  WeakPtr<Counter> AsWeakPtr() { return weak_factory_.GetWeakPtr(); }
  void Invalidate() { weak_factory_.InvalidateWeakPtrs(); }

 private:
  int count_ = 0;
  WeakPtrFactory<Counter> weak_factory_{this};
};

int Concatenate(const std::string& a, int b, std::string* out) {
  *out = a + std::to_string(b);
  return b;
}

TEST(CallbackTest, CopiesShareOneRecord) {
  // The bound state is counted, not copied: the lambda's captured object lives until the
  // last copy goes.
  auto tracker = std::make_shared<int>(0);
  std::weak_ptr<int> watch = tracker;
  Closure first = BindLambda([tracker] { ++*tracker; });
  tracker.reset();
  Closure second = first;
  EXPECT_TRUE(first.Equals(second));
  second.Run();
  first.Run();
  ASSERT_FALSE(watch.expired());
  EXPECT_EQ(2, *watch.lock());

  first.Reset();
  EXPECT_TRUE(first.is_null());
  EXPECT_FALSE(watch.expired());
  Closure moved = std::move(second);
  EXPECT_TRUE(second.is_null());
  moved = Closure();
  EXPECT_TRUE(watch.expired());
}

TEST(CallbackTest, RecordOutlivesRunThatDropsTheLastHandle) {
  struct Holder {
    Closure task;
    int runs = 0;
  } holder;
  auto flag = std::make_shared<int>(7);
  holder.task = BindLambda([&holder, flag] {
    holder.task.Reset();  // Drops the last handle while running.
    holder.runs += *flag;  // Captured state still valid.
  });
  flag.reset();
  holder.task.Run();
  EXPECT_EQ(7, holder.runs);
  EXPECT_TRUE(holder.task.is_null());
}

TEST(CallbackTest, BindingForms) {
  Counter counter;
  BindMethod(&Counter::Increment, &counter).Run();
  BindMethodWithArg(&Counter::Add, &counter, 10).Run();
  Callback<void(int)> add_later = BindMethodWithArg(&Counter::AddBoth, &counter, 100);
  add_later.Run(1000);
  Callback<void(int)> add = BindMethod(&Counter::Add, &counter);
  add.Run(5);
  EXPECT_EQ(1116, counter.Get());
  EXPECT_EQ(1116, BindMethod(&Counter::Get, &counter).Run());

  std::string text;
  Callback<int(int, std::string*)> partial = BindFunction(&Concatenate, std::string("n="));
  EXPECT_EQ(4, partial.Run(4, &text));
  EXPECT_EQ("n=4", text);

  Callback<void(bool)> done = BindLambda([&text](bool ok) { text = ok ? "yes" : "no"; });
  done.Run(false);
  EXPECT_EQ("no", text);

  // Move-only captured state.
  auto owned = std::make_unique<int>(3);
  Callback<int()> take = BindLambda([owned = std::move(owned)] { return *owned; });
  EXPECT_EQ(3, take.Run());
  EXPECT_TRUE(Closure().IsCancelled());
}

TEST(CallbackTest, WeakBoundTaskSkippedAfterInvalidation) {
  auto counter = std::make_unique<Counter>();
  Closure increment = BindMethod(&Counter::Increment, counter->AsWeakPtr());
  Closure add = BindMethodWithArg(&Counter::Add, counter->AsWeakPtr(), 5);
  increment.Run();
  add.Run();
  EXPECT_EQ(6, counter->Get());
  EXPECT_FALSE(increment.IsCancelled());

  counter->Invalidate();
  EXPECT_TRUE(increment.IsCancelled());
  EXPECT_TRUE(add.IsCancelled());
  increment.Run();
  add.Run();
  EXPECT_EQ(6, counter->Get());

  // New weak pointers work again; destroying the owner cancels them.
  Closure again = BindMethod(&Counter::Increment, counter->AsWeakPtr());
  again.Run();
  EXPECT_EQ(7, counter->Get());
  counter.reset();
  EXPECT_TRUE(again.IsCancelled());
  again.Run();  // No use of the destroyed object.
}

TEST(WeakPtrTest, OwnerAndConversions) {
  struct Base {
    virtual ~Base() = default;
  };
  struct Derived : Base {
    WeakPtrFactory<Derived> factory{this};
  };
  WeakPtr<Base> base_ptr;
  {
    Derived derived;
    EXPECT_FALSE(derived.factory.HasWeakPtrs());
    WeakPtr<Derived> ptr = derived.factory.GetWeakPtr();
    EXPECT_TRUE(derived.factory.HasWeakPtrs());
    base_ptr = ptr;
    EXPECT_EQ(&derived, base_ptr.get());
    ptr.reset();
    base_ptr.reset();
    EXPECT_FALSE(derived.factory.HasWeakPtrs());
    base_ptr = derived.factory.GetWeakPtr();
  }
  EXPECT_EQ(nullptr, base_ptr.get());
  EXPECT_FALSE(base_ptr);
}

TEST(LocationTest, FromHere) {
  const Location here = FROM_HERE;
  const Location there = FROM_HERE_WITH_EXPLICIT_FUNCTION("PostSomething");
  EXPECT_STREQ("TestBody", here.function_name());
  EXPECT_STREQ("PostSomething", there.function_name());
  EXPECT_NE(nullptr, strstr(here.file_name(), "callback_unittest.cc"));
  EXPECT_EQ(here.line() + 1, there.line());
  EXPECT_NE(nullptr, here.program_counter());
  EXPECT_NE(here.program_counter(), there.program_counter());
}

}  // namespace
}  // namespace base
