#ifndef BASE_VERSION_H_
#define BASE_VERSION_H_

#include <stdint.h>

#include <string>
#include <string_view>
#include <vector>

namespace base {

// A dotted version number such as "1.2.3.4". Each component is an unsigned 32-bit decimal:
// digits only (no sign, no white space, no empty component), leading zeros allowed and
// without meaning ("1.02" is 1.2). Text that does not parse gives an invalid version.
class Version {
 public:
  // Invalid.
  Version();
  explicit Version(std::string_view text);
  explicit Version(std::vector<uint32_t> components);

  // At least one component.
  bool IsValid() const { return !components_.empty(); }

  // -1, 0 or 1. Components compare in order; where one version is longer, its extra
  // components make it greater only when one of them is non-zero ("1.0" == "1.0.0",
  // "1.0.1" > "1.0"). An invalid version is less than every valid one and equal to
  // another invalid one.
  int CompareTo(const Version& other) const;

  // The components joined by "."; empty for an invalid version.
  std::string GetString() const;
  const std::vector<uint32_t>& components() const { return components_; }

 private:
  std::vector<uint32_t> components_;
};

bool operator==(const Version& a, const Version& b);
bool operator!=(const Version& a, const Version& b);
bool operator<(const Version& a, const Version& b);
bool operator<=(const Version& a, const Version& b);
bool operator>(const Version& a, const Version& b);
bool operator>=(const Version& a, const Version& b);

}  // namespace base

#endif  // BASE_VERSION_H_
