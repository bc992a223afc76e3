#ifndef DESKTOP_WINDOWS_INSTALLER_PACKAGE_FETCHER_IN_PAGE_ERROR_HANDLER_H_
#define DESKTOP_WINDOWS_INSTALLER_PACKAGE_FETCHER_IN_PAGE_ERROR_HANDLER_H_

#include <windows.h>

namespace installer {

class FileMappingAllocator;

// Stands in for a structured exception filter around code that touches the view of a
// FileMappingAllocator: while the object lives, a vectored exception handler watches the
// thread that created it.
//
// An in-page error (0xC0000006) whose data address lies in the allocator's view makes
// the allocator swap the view for zero-filled memory and record the NT status; the
// faulting code then runs on over zeros, and the caller, seeing view_failed(), stops.
// Wine reports such a fault (a view over a file cut short) as an access violation at the
// address, so an access violation inside the view is taken the same way; on Windows the
// view is read-write throughout and cannot raise one otherwise. Access violations in a
// replaced range commit its zero pages. Every other exception, and every exception of
// another thread, is passed on.
//
// |allocator| must outlive the object. Objects may nest on one thread; each must be
// destroyed on the thread that created it, innermost first.
class ScopedInPageErrorHandler {
 public:
  explicit ScopedInPageErrorHandler(FileMappingAllocator* allocator);
  ~ScopedInPageErrorHandler();

  ScopedInPageErrorHandler(const ScopedInPageErrorHandler&) = delete;
  ScopedInPageErrorHandler& operator=(const ScopedInPageErrorHandler&) = delete;

 private:
  static LONG CALLBACK Handle(EXCEPTION_POINTERS* pointers);

  FileMappingAllocator* const allocator_;
  ScopedInPageErrorHandler* const outer_;
  PVOID registration_ = nullptr;
};

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_PACKAGE_FETCHER_IN_PAGE_ERROR_HANDLER_H_
