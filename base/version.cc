#include "base/version.h"

#include <utility>

#include "base/strings/string_number_conversions.h"

namespace base {

namespace {

// One component: decimal digits only, no larger than 32 bits.
bool ParseComponent(std::string_view text, uint32_t* value) {
  unsigned result = 0;
  if (!StringToUint(text, &result))
    return false;
  *value = result;
  return true;
}

bool ParseVersion(std::string_view text, std::vector<uint32_t>* components) {
  // An empty text has no component; otherwise every piece between dots must parse.
  if (text.empty())
    return false;
  for (;;) {
    const size_t dot = text.find('.');
    uint32_t value;
    if (!ParseComponent(text.substr(0, dot), &value))
      return false;
    components->push_back(value);
    if (dot == std::string_view::npos)
      return true;
    text.remove_prefix(dot + 1);
  }
}

}  // namespace

Version::Version() = default;

Version::Version(std::string_view text) {
  std::vector<uint32_t> components;
  if (ParseVersion(text, &components))
    components_ = std::move(components);
}

Version::Version(std::vector<uint32_t> components) : components_(std::move(components)) {}

int Version::CompareTo(const Version& other) const {
  if (!IsValid() || !other.IsValid())
    return IsValid() ? 1 : (other.IsValid() ? -1 : 0);
  const size_t count = components_.size() > other.components_.size()
                           ? components_.size()
                           : other.components_.size();
  for (size_t i = 0; i < count; ++i) {
    // Missing components count as 0.
    const uint32_t mine = i < components_.size() ? components_[i] : 0;
    const uint32_t theirs = i < other.components_.size() ? other.components_[i] : 0;
    if (mine != theirs)
      return mine < theirs ? -1 : 1;
  }
  return 0;
}

std::string Version::GetString() const {
  std::string text;
  for (size_t i = 0; i < components_.size(); ++i) {
    if (i)
      text += '.';
    text += std::to_string(components_[i]);
  }
  return text;
}

bool operator==(const Version& a, const Version& b) {
  return a.CompareTo(b) == 0;
}
bool operator!=(const Version& a, const Version& b) {
  return a.CompareTo(b) != 0;
}
bool operator<(const Version& a, const Version& b) {
  return a.CompareTo(b) < 0;
}
bool operator<=(const Version& a, const Version& b) {
  return a.CompareTo(b) <= 0;
}
bool operator>(const Version& a, const Version& b) {
  return a.CompareTo(b) > 0;
}
bool operator>=(const Version& a, const Version& b) {
  return a.CompareTo(b) >= 0;
}

}  // namespace base
