#ifndef DESKTOP_WINDOWS_CRASH_REPORTER_TEST_MULTIPART_FORM_H_
#define DESKTOP_WINDOWS_CRASH_REPORTER_TEST_MULTIPART_FORM_H_

#include <map>
#include <string>

namespace crash_reporter {
namespace test {

// One part of a multipart/form-data body.
struct FormPart {
  bool is_file = false;
  std::string filename;      // Files only.
  std::string content_type;  // Files only.
  std::string content;
};

// The boundary that a "multipart/form-data; boundary=..." content type names; empty for
// any other type.
std::string GetMultipartBoundary(const std::string& content_type);

// The parts of |body|, by name. False when |body| is not exactly a sequence of well-formed
// parts with |boundary| and its closing delimiter, or a name comes twice.
bool ParseMultipartForm(const std::string& body,
                        const std::string& boundary,
                        std::map<std::string, FormPart>* parts);

}  // namespace test
}  // namespace crash_reporter

#endif  // DESKTOP_WINDOWS_CRASH_REPORTER_TEST_MULTIPART_FORM_H_
