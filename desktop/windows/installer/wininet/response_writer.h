#ifndef DESKTOP_WINDOWS_INSTALLER_WININET_RESPONSE_WRITER_H_
#define DESKTOP_WINDOWS_INSTALLER_WININET_RESPONSE_WRITER_H_

#include <stddef.h>

namespace installer {

// Where the downloader puts a response body. Called on the downloader's thread.
class ResponseWriter {
 public:
  virtual ~ResponseWriter() = default;

  // Appends the next |size| bytes of the body. False when they cannot be kept; the
  // download then fails.
  virtual bool Write(const char* data, size_t size) = 0;

  // Drops everything written so far: the server sent the body again from its start.
  virtual bool Reset() = 0;

  // The whole body was written. False when it could not be completed (e.g. flushed).
  virtual bool Finish() = 0;
};

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_WININET_RESPONSE_WRITER_H_
