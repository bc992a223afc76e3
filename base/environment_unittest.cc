#include "base/environment.h"

#include <map>
#include <memory>
#include <string>

#include "gtest/gtest.h"

namespace base {
namespace {

constexpr char kVariable[] = "TAVRO_ENVIRONMENT_TEST";

TEST(EnvironmentTest, SetsReadsAndRemovesVariables) {
  std::unique_ptr<Environment> environment = Environment::Create();
  ASSERT_TRUE(environment->SetVar(kVariable, "w\xC3\xA4rt"));
  std::string value;
  EXPECT_TRUE(environment->GetVar(kVariable, &value));
  EXPECT_EQ("w\xC3\xA4rt", value);
  // Windows itself ignores case in names.
  EXPECT_TRUE(environment->HasVar("tavro_environment_test"));

  // Longer than the first read buffer.
  const std::string long_value(5000, 'v');
  ASSERT_TRUE(environment->SetVar(kVariable, long_value));
  EXPECT_TRUE(environment->GetVar(kVariable, &value));
  EXPECT_EQ(long_value, value);

  // Set to empty text is still set.
  ASSERT_TRUE(environment->SetVar(kVariable, ""));
  EXPECT_TRUE(environment->GetVar(kVariable, &value));
  EXPECT_EQ("", value);

  EXPECT_TRUE(environment->UnSetVar(kVariable));
  EXPECT_FALSE(environment->HasVar(kVariable));
  EXPECT_TRUE(environment->UnSetVar(kVariable));
}

// Case-sensitive names, to see which names the retry reads.
class FakeEnvironment : public Environment {
 public:
  bool SetVar(std::string_view name, const std::string& value) override {
    variables_[std::string(name)] = value;
    return true;
  }
  bool UnSetVar(std::string_view name) override {
    variables_.erase(std::string(name));
    return true;
  }

 protected:
  bool GetVarImpl(std::string_view name, std::string* value) override {
    const auto found = variables_.find(std::string(name));
    if (found == variables_.end())
      return false;
    if (value)
      *value = found->second;
    return true;
  }

 private:
  std::map<std::string, std::string> variables_;
};

TEST(EnvironmentTest, RetriesWithTheOtherLetterCase) {
  FakeEnvironment environment;
  environment.SetVar("UPPER_NAME", "u");
  environment.SetVar("lower_name", "l");
  environment.SetVar("Mixed", "m");
  std::string value;
  EXPECT_TRUE(environment.GetVar("upper_name", &value));
  EXPECT_EQ("u", value);
  EXPECT_TRUE(environment.GetVar("LOWER_NAME", &value));
  EXPECT_EQ("l", value);
  // A lower-case first letter means all upper case, anything else all lower case.
  EXPECT_TRUE(environment.GetVar("LOWER_name", &value));
  EXPECT_FALSE(environment.GetVar("upper_NAME_x", &value));
  EXPECT_TRUE(environment.GetVar("Mixed", &value));
  EXPECT_FALSE(environment.HasVar("mixed"));
  EXPECT_FALSE(environment.HasVar(""));
}

}  // namespace
}  // namespace base
