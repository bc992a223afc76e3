#include "base/win/known_folder.h"

#include <knownfolders.h>

#include "gtest/gtest.h"

namespace base {
namespace win {
namespace {

TEST(KnownFolderTest, ProfileAndUnknownFolder) {
  FilePath profile;
  ASSERT_EQ(S_OK, GetKnownFolderPath(FOLDERID_Profile, 0, &profile));
  EXPECT_TRUE(profile.IsAbsolute()) << profile.value();

  // An id the shell does not know fails and leaves the path alone.
  const GUID unknown = {0x1d2c7a40, 0x5b3e, 0x4f11, {0x9a, 0x61, 0x2e, 0x0d, 0x44, 0x7c, 0x13, 0x9b}};
  FilePath path(L"unchanged");
  EXPECT_TRUE(FAILED(GetKnownFolderPath(unknown, 0, &path)));
  EXPECT_EQ(L"unchanged", path.value());
}

}  // namespace
}  // namespace win
}  // namespace base
