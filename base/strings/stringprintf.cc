#include "base/strings/stringprintf.h"

#include <stdio.h>

#include <vector>

namespace base {

namespace {

// Both return the full length of the formatted text even when |size| is too small, or a
// negative value for a bad format or argument.
int FormatV(char* buffer, size_t size, const char* format, va_list args) {
  return vsnprintf(buffer, size, format, args);
}

int FormatV(wchar_t* buffer, size_t size, const wchar_t* format, va_list args) {
  // _vsnwprintf returns -1 (or |size|, without a terminator) when the text does not fit;
  // _vscwprintf measures it.
  va_list copy;
  va_copy(copy, args);
  int result = _vsnwprintf(buffer, size, format, args);
  if (result < 0 || static_cast<size_t>(result) >= size)
    result = _vscwprintf(format, copy);
  va_end(copy);
  return result;
}

// Formats into a stack buffer, or a heap buffer of the measured size when that is too small,
// then appends. Nothing is appended on failure.
template <typename Char>
void AppendFormatted(std::basic_string<Char>* dst, const Char* format, va_list args) {
  Char stack_buffer[1024];
  const size_t stack_size = sizeof(stack_buffer) / sizeof(Char);
  va_list copy;
  va_copy(copy, args);
  const int length = FormatV(stack_buffer, stack_size, format, copy);
  va_end(copy);
  if (length < 0)
    return;
  if (static_cast<size_t>(length) < stack_size) {
    dst->append(stack_buffer, static_cast<size_t>(length));
    return;
  }

  std::vector<Char> heap_buffer(static_cast<size_t>(length) + 1);
  va_copy(copy, args);
  const int written = FormatV(heap_buffer.data(), heap_buffer.size(), format, copy);
  va_end(copy);
  if (written == length)
    dst->append(heap_buffer.data(), static_cast<size_t>(written));
}

template <typename Char>
void AssignFormatted(std::basic_string<Char>* dst, const Char* format, va_list args) {
  // Formatted aside first: the arguments may point into |*dst|.
  std::basic_string<Char> result;
  AppendFormatted(&result, format, args);
  dst->swap(result);
}

}  // namespace

void StringAppendV(std::string* dst, const char* format, va_list args) {
  AppendFormatted(dst, format, args);
}

void StringAppendV(std::wstring* dst, const wchar_t* format, va_list args) {
  AppendFormatted(dst, format, args);
}

std::string StringPrintf(const char* format, ...) {
  std::string result;
  va_list args;
  va_start(args, format);
  StringAppendV(&result, format, args);
  va_end(args);
  return result;
}

std::wstring WideStringPrintf(const wchar_t* format, ...) {
  std::wstring result;
  va_list args;
  va_start(args, format);
  StringAppendV(&result, format, args);
  va_end(args);
  return result;
}

const std::string& StringAssignF(std::string* dst, const char* format, ...) {
  va_list args;
  va_start(args, format);
  AssignFormatted(dst, format, args);
  va_end(args);
  return *dst;
}

const std::wstring& StringAssignF(std::wstring* dst, const wchar_t* format, ...) {
  va_list args;
  va_start(args, format);
  AssignFormatted(dst, format, args);
  va_end(args);
  return *dst;
}

void StringAppendF(std::string* dst, const char* format, ...) {
  va_list args;
  va_start(args, format);
  StringAppendV(dst, format, args);
  va_end(args);
}

void StringAppendF(std::wstring* dst, const wchar_t* format, ...) {
  va_list args;
  va_start(args, format);
  StringAppendV(dst, format, args);
  va_end(args);
}

}  // namespace base
