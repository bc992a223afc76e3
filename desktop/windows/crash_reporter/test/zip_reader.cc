#include "desktop/windows/crash_reporter/test/zip_reader.h"

// zip.h first: it declares what the others build on.
#include "minizip/zip.h"
#include "minizip/iowin32.h"
#include "minizip/unzip.h"

namespace crash_reporter {
namespace test {

std::string UnzipSingleEntry(const base::FilePath& zip_path, std::string* name) {
  zlib_filefunc64_def functions;
  fill_win32_filefunc64W(&functions);
  unzFile zip = unzOpen2_64(zip_path.value().c_str(), &functions);
  if (!zip)
    return "<no zip>";
  std::string content;
  char entry_name[64] = {};
  unz_file_info64 entry = {};
  if (unzGoToFirstFile(zip) == UNZ_OK &&
      unzGetCurrentFileInfo64(zip, &entry, entry_name, sizeof(entry_name), nullptr, 0, nullptr,
                              0) == UNZ_OK &&
      unzOpenCurrentFile(zip) == UNZ_OK) {
    char buffer[65536];
    int read = 0;
    while ((read = unzReadCurrentFile(zip, buffer, sizeof(buffer))) > 0)
      content.append(buffer, read);
    if (read < 0 || unzCloseCurrentFile(zip) != UNZ_OK)
      content = "<bad entry>";
    if (unzGoToNextFile(zip) != UNZ_END_OF_LIST_OF_FILE)
      content = "<more than one entry>";
  }
  unzClose(zip);
  *name = entry_name;
  return content;
}

}  // namespace test
}  // namespace crash_reporter
