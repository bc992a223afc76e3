#include "base/win/adopt_com_ptr.h"

#include <windows.h>
#include <objidl.h>
#include <shlwapi.h>

#include <utility>

#include "gtest/gtest.h"

namespace base {
namespace win {
namespace {

// AddRef and Release return the count they leave.
ULONG CountReferences(IUnknown* object) {
  object->AddRef();
  return object->Release();
}

TEST(AdoptComPtrTest, HoldsTheOnlyReferenceOfAFreshObject) {
  Microsoft::WRL::ComPtr<IStream> stream = AdoptComPtr(::SHCreateMemStream(nullptr, 0));
  ASSERT_TRUE(stream);
  EXPECT_EQ(1u, CountReferences(stream.Get()));

  // Moving hands the reference on; a copy adds one.
  Microsoft::WRL::ComPtr<IStream> moved = std::move(stream);
  EXPECT_FALSE(stream);
  EXPECT_EQ(1u, CountReferences(moved.Get()));
  Microsoft::WRL::ComPtr<IStream> copy = moved;
  EXPECT_EQ(2u, CountReferences(moved.Get()));
  copy.Reset();
  EXPECT_EQ(1u, CountReferences(moved.Get()));

  EXPECT_FALSE(AdoptComPtr<IStream>(nullptr));
}

}  // namespace
}  // namespace win
}  // namespace base
