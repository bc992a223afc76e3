#ifndef BASE_ENVIRONMENT_H_
#define BASE_ENVIRONMENT_H_

#include <memory>
#include <string>
#include <string_view>

namespace base {

// The process's environment variables. Names and values are UTF-8.
class Environment {
 public:
  virtual ~Environment();

  // A reader of this process's environment.
  static std::unique_ptr<Environment> Create();

  // Reads |name| into |value| (may be null). When the variable is absent, tries again with
  // the name in the other letter case: all upper case when it starts with a lower-case
  // letter, otherwise all lower case. False when neither is set.
  bool GetVar(std::string_view name, std::string* value);
  bool HasVar(std::string_view name);

  // Sets or removes a variable; false, with an error log, when the system refuses.
  virtual bool SetVar(std::string_view name, const std::string& value) = 0;
  virtual bool UnSetVar(std::string_view name) = 0;

 protected:
  // Reads exactly |name|.
  virtual bool GetVarImpl(std::string_view name, std::string* value) = 0;
};

}  // namespace base

#endif  // BASE_ENVIRONMENT_H_
