#include "base/win/scoped_variant.h"

#include "gtest/gtest.h"

namespace base {
namespace win {
namespace {

// Counts its references; never freed through Release.
class CountingUnknown : public IUnknown {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
    if (iid != IID_IUnknown) {
      *object = nullptr;
      return E_NOINTERFACE;
    }
    *object = this;
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
  ULONG STDMETHODCALLTYPE Release() override { return --references_; }

  ULONG references() const { return references_; }

 private:
  ULONG references_ = 1;
};

TEST(ScopedVariantTest, TypesOfTheConstructors) {
  EXPECT_EQ(VT_EMPTY, V_VT(&ScopedVariant().Get()));

  const ScopedVariant text(L"text");
  ASSERT_EQ(VT_BSTR, V_VT(&text.Get()));
  EXPECT_STREQ(L"text", V_BSTR(&text.Get()));
  const ScopedVariant view(std::wstring_view(L"a\0b", 3));
  ASSERT_EQ(VT_BSTR, V_VT(&view.Get()));
  EXPECT_EQ(3u, ::SysStringLen(V_BSTR(&view.Get())));

  const ScopedVariant yes(true);
  ASSERT_EQ(VT_BOOL, V_VT(&yes.Get()));
  EXPECT_EQ(VARIANT_TRUE, V_BOOL(&yes.Get()));
  EXPECT_EQ(VARIANT_FALSE, V_BOOL(&ScopedVariant(false).Get()));

  const ScopedVariant number(-7);
  ASSERT_EQ(VT_I4, V_VT(&number.Get()));
  EXPECT_EQ(-7, V_I4(&number.Get()));
  const LONG long_value = 42;
  EXPECT_EQ(42, V_I4(&ScopedVariant(long_value).Get()));
}

TEST(ScopedVariantTest, HoldsOneReferenceToAnUnknown) {
  CountingUnknown unknown;
  {
    ScopedVariant variant(static_cast<IUnknown*>(&unknown));
    EXPECT_EQ(VT_UNKNOWN, V_VT(&variant.Get()));
    EXPECT_EQ(2u, unknown.references());
    // Receive clears the value before handing the variant out.
    VARIANT* out = variant.Receive();
    EXPECT_EQ(1u, unknown.references());
    EXPECT_EQ(VT_EMPTY, V_VT(out));
    V_VT(out) = VT_UNKNOWN;
    V_UNKNOWN(out) = &unknown;
    unknown.AddRef();
  }
  EXPECT_EQ(1u, unknown.references());
}

}  // namespace
}  // namespace win
}  // namespace base
