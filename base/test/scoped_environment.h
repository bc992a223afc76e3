#ifndef BASE_TEST_SCOPED_ENVIRONMENT_H_
#define BASE_TEST_SCOPED_ENVIRONMENT_H_

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "base/environment.h"

namespace base {
namespace test {

// Sets variables of this process's environment (which the processes it starts inherit)
// for its lifetime, and puts the old values back when it goes. One thread.
class ScopedEnvironment {
 public:
  explicit ScopedEnvironment(const std::vector<std::pair<std::string, std::string>>& values);
  ScopedEnvironment(const ScopedEnvironment&) = delete;
  ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;
  ~ScopedEnvironment();

 private:
  struct Saved {
    std::string name;
    bool had;
    std::string value;
  };
  std::unique_ptr<Environment> environment_;
  std::vector<Saved> saved_;
};

}  // namespace test
}  // namespace base

#endif  // BASE_TEST_SCOPED_ENVIRONMENT_H_
