#include "base/win/scoped_bstr.h"

#include <string>

#include "base/win/scoped_co_mem.h"
#include "gtest/gtest.h"

namespace base {
namespace win {
namespace {

TEST(ScopedBstrTest, KeepsEmbeddedNulsAndFreesOnReceive) {
  const std::wstring text(L"a\0b", 3);
  ScopedBstr bstr(text);
  ASSERT_NE(nullptr, bstr.Get());
  EXPECT_EQ(3u, ::SysStringLen(bstr.Get()));
  EXPECT_EQ(text, bstr.View());

  // An out-parameter slot is empty, whatever the object held before.
  BSTR* slot = bstr.Receive();
  EXPECT_EQ(nullptr, *slot);
  *slot = ::SysAllocString(L"out");
  EXPECT_EQ(L"out", bstr.View());

  bstr.Reset();
  EXPECT_EQ(nullptr, bstr.Get());
  EXPECT_TRUE(bstr.View().empty());
  EXPECT_TRUE(ScopedBstr().View().empty());
}

TEST(ScopedCoMemTest, FreesWhatItReceives) {
  ScopedCoMem<wchar_t> memory;
  EXPECT_EQ(nullptr, memory.Get());
  wchar_t** slot = memory.Receive();
  *slot = static_cast<wchar_t*>(::CoTaskMemAlloc(4 * sizeof(wchar_t)));
  ASSERT_NE(nullptr, memory.Get());
  wcscpy_s(memory.Get(), 4, L"abc");
  EXPECT_STREQ(L"abc", memory.Get());
  // Receiving again frees the previous block and empties the slot.
  EXPECT_EQ(nullptr, *memory.Receive());
  memory.Reset();
  EXPECT_EQ(nullptr, memory.Get());
}

}  // namespace
}  // namespace win
}  // namespace base
