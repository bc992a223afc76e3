#ifndef DESKTOP_WINDOWS_CRASH_REPORTER_TEST_ZIP_READER_H_
#define DESKTOP_WINDOWS_CRASH_REPORTER_TEST_ZIP_READER_H_

#include <string>

#include "base/files/file_path.h"

namespace crash_reporter {
namespace test {

// The contents of the only entry of the zip file at |zip_path|, its name in |name|; a text
// in angle brackets saying what is wrong when the file is not a zip of exactly one entry.
std::string UnzipSingleEntry(const base::FilePath& zip_path, std::string* name);

}  // namespace test
}  // namespace crash_reporter

#endif  // DESKTOP_WINDOWS_CRASH_REPORTER_TEST_ZIP_READER_H_
