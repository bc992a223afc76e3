#ifndef DESKTOP_WINDOWS_CRASH_REPORTER_TEST_GUNZIP_H_
#define DESKTOP_WINDOWS_CRASH_REPORTER_TEST_GUNZIP_H_

#include <string>

namespace crash_reporter {
namespace test {

// Decodes |compressed| with zlib. False unless it is exactly one whole, valid gzip member.
bool Gunzip(const std::string& compressed, std::string* out);

}  // namespace test
}  // namespace crash_reporter

#endif  // DESKTOP_WINDOWS_CRASH_REPORTER_TEST_GUNZIP_H_
