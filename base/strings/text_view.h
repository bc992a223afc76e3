#ifndef BASE_STRINGS_TEXT_VIEW_H_
#define BASE_STRINGS_TEXT_VIEW_H_

#include <string_view>

namespace base {

// Non-owning views of narrow (UTF-8 or ASCII) and wide (UTF-16) text.
using TextView = std::string_view;
using WideTextView = std::wstring_view;

}  // namespace base

#endif  // BASE_STRINGS_TEXT_VIEW_H_
