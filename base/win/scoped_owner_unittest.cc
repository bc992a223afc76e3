#include "base/win/scoped_owner.h"

#include <stdint.h>

#include <utility>
#include <vector>

#include "gtest/gtest.h"

namespace base {
namespace win {
namespace {

// Values are ints, 0 the invalid one; every hook call is recorded.
struct Event {
  char kind;  // 't' taken, 'g' given up, 'f' freed.
  int value;
  uintptr_t owner;
  bool operator==(const Event&) const = default;
};
std::vector<Event> g_events;

uintptr_t Id(const void* owner) {
  return reinterpret_cast<uintptr_t>(owner);
}

struct RecordingTraits {
  using Value = int;
  static int InvalidValue() { return 0; }
  static bool IsValid(int value) { return value != 0; }
  static void OnTake(int value, const void* owner) {
    g_events.push_back({'t', value, Id(owner)});
  }
  static void OnGiveUp(int value, const void* owner) {
    g_events.push_back({'g', value, Id(owner)});
  }
  static void Free(int value) { g_events.push_back({'f', value, 0}); }
};
using Owner = ScopedOwner<RecordingTraits>;

TEST(ScopedOwnerTest, FreesEachValueOnceAndHandsValuesOverWithoutFreeing) {
  g_events.clear();
  uintptr_t a = 0;
  uintptr_t b = 0;
  uintptr_t c = 0;
  {
    Owner first(1);
    a = Id(&first);
    first.Set(1);  // The value it holds already: nothing happens.
    first.Set(2);

    Owner second(std::move(first));
    b = Id(&second);
    EXPECT_FALSE(first.IsValid());
    Owner third(3);
    c = Id(&third);
    third = std::move(second);
    EXPECT_EQ(2, third.Get());

    EXPECT_EQ(2, third.Take());
    EXPECT_FALSE(third.IsValid());
    third.Close();  // Empty: nothing to free.

    third.Set(4);
    third.Set(0);  // Frees 4; an invalid value is never owned nor freed.
    EXPECT_EQ(0, third.Get());
    third.Set(5);  // Freed when |third| goes.
  }
  const std::vector<Event> expected = {
      {'t', 1, a}, {'g', 1, a}, {'f', 1, 0}, {'t', 2, a},             // 1, then 2.
      {'g', 2, a}, {'t', 2, b},                                       // Moved on.
      {'t', 3, c}, {'g', 2, b}, {'g', 3, c}, {'f', 3, 0}, {'t', 2, c},  // Moved onto 3.
      {'g', 2, c},                                                    // Taken.
      {'t', 4, c}, {'g', 4, c}, {'f', 4, 0},
      {'t', 5, c}, {'g', 5, c}, {'f', 5, 0},
  };
  EXPECT_EQ(expected, g_events);
}

}  // namespace
}  // namespace win
}  // namespace base
