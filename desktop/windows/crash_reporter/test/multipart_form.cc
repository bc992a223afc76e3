#include "desktop/windows/crash_reporter/test/multipart_form.h"

namespace crash_reporter {
namespace test {

namespace {

// The quoted text after |key| in |header|; false when there is none.
bool FindQuoted(const std::string& header, const std::string& key, std::string* value) {
  const size_t start = header.find(key + "=\"");
  if (start == std::string::npos)
    return false;
  const size_t text = start + key.size() + 2;
  const size_t end = header.find('"', text);
  if (end == std::string::npos)
    return false;
  *value = header.substr(text, end - text);
  return true;
}

}  // namespace

std::string GetMultipartBoundary(const std::string& content_type) {
  const std::string prefix = "multipart/form-data; boundary=";
  return content_type.compare(0, prefix.size(), prefix) == 0 ? content_type.substr(prefix.size())
                                                             : std::string();
}

bool ParseMultipartForm(const std::string& body,
                        const std::string& boundary,
                        std::map<std::string, FormPart>* parts) {
  parts->clear();
  if (boundary.empty())
    return false;
  const std::string delimiter = "--" + boundary;
  const std::string separator = "\r\n" + delimiter;
  if (body.compare(0, delimiter.size(), delimiter) != 0)
    return false;
  size_t position = delimiter.size();
  for (;;) {
    if (body.compare(position, 4, "--\r\n") == 0)
      return position + 4 == body.size();
    if (body.compare(position, 2, "\r\n") != 0)
      return false;
    const size_t headers_start = position + 2;
    const size_t headers_end = body.find("\r\n\r\n", headers_start);
    if (headers_end == std::string::npos)
      return false;
    const std::string headers = body.substr(headers_start, headers_end - headers_start);
    const size_t content_start = headers_end + 4;
    const size_t content_end = body.find(separator, content_start);
    if (content_end == std::string::npos)
      return false;

    FormPart part;
    std::string name;
    if (headers.compare(0, 38, "Content-Disposition: form-data; name=\"") != 0 ||
        !FindQuoted(headers, "name", &name)) {
      return false;
    }
    part.is_file = FindQuoted(headers, "filename", &part.filename);
    const std::string type_header = "\r\nContent-Type: ";
    const size_t type = headers.find(type_header);
    if (type != std::string::npos)
      part.content_type = headers.substr(type + type_header.size());
    part.content = body.substr(content_start, content_end - content_start);
    if (!parts->emplace(name, part).second)
      return false;
    position = content_end + separator.size();
  }
}

}  // namespace test
}  // namespace crash_reporter
