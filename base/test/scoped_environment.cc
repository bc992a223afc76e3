#include "base/test/scoped_environment.h"

namespace base {
namespace test {

ScopedEnvironment::ScopedEnvironment(const std::vector<std::pair<std::string, std::string>>& values)
    : environment_(Environment::Create()) {
  for (const auto& [name, value] : values) {
    std::string old_value;
    const bool had = environment_->GetVar(name, &old_value);
    saved_.push_back({name, had, old_value});
    environment_->SetVar(name, value);
  }
}

ScopedEnvironment::~ScopedEnvironment() {
  // Last set first, so that a name given twice gets its first old value back.
  for (auto saved = saved_.rbegin(); saved != saved_.rend(); ++saved) {
    if (saved->had)
      environment_->SetVar(saved->name, saved->value);
    else
      environment_->UnSetVar(saved->name);
  }
}

}  // namespace test
}  // namespace base
