#ifndef DESKTOP_WINDOWS_INSTALLER_SERVICE_BUILD_DATE_H_
#define DESKTOP_WINDOWS_INSTALLER_SERVICE_BUILD_DATE_H_

namespace installer {

// When the installer library was built, "YYYYMMDD_HHMMSS" in UTC. Defined in a source that
// the build writes each time the library's code was rebuilt (cmake/write_build_date.cmake),
// so that only that one small file is compiled again.
extern const char kBuildDate[];

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_SERVICE_BUILD_DATE_H_
