#include "base/win/scoped_owner.h"

#include <string>
#include <utility>

#include "gtest/gtest.h"

namespace base {
namespace win {
namespace {

// Values are digits, 0 the invalid one; the log shows what was freed, in order. (The
// ownership hooks are exercised by ScopedHandle's verifier tests.)
std::string g_freed;

struct DigitTraits : OwnerTraitsBase {
  using Value = int;
  static int InvalidValue() { return 0; }
  static bool IsValid(int value) { return value != 0; }
  static void Free(int value) { g_freed += static_cast<char>('0' + value); }
};
using Owner = ScopedOwner<DigitTraits>;

TEST(ScopedOwnerTest, FreesEachValueOnceAndHandsValuesOverWithoutFreeing) {
  g_freed.clear();
  {
    Owner a(1);
    a.Set(1);  // The value it holds already: not freed.
    a.Set(2);
    Owner b(std::move(a));
    Owner c(3);
    c = std::move(b);
    EXPECT_FALSE(a.IsValid() || b.IsValid());
    EXPECT_EQ(2, c.Take());
    c.Close();  // Empty: nothing to free.
    c.Set(4);
    c.Set(0);  // An invalid value is never owned.
    EXPECT_EQ(0, c.Get());
    c.Set(5);
    EXPECT_EQ("134", g_freed);
  }
  EXPECT_EQ("1345", g_freed);
}

}  // namespace
}  // namespace win
}  // namespace base
