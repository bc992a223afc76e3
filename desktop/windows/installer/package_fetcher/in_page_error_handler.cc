#include "desktop/windows/installer/package_fetcher/in_page_error_handler.h"

#include <stdint.h>

#include "base/logging.h"
#include "base/threading/thread_local_slot.h"
#include "desktop/windows/installer/package_fetcher/file_mapping_allocator.h"

namespace installer {

namespace {

// The innermost handler object of each thread. Reading it never allocates, which matters
// inside an exception handler.
base::LazyThreadLocalSlot g_innermost;

}  // namespace

ScopedInPageErrorHandler::ScopedInPageErrorHandler(FileMappingAllocator* allocator)
    : allocator_(allocator),
      outer_(static_cast<ScopedInPageErrorHandler*>(g_innermost.Get().Get())) {
  g_innermost.Get().Set(this);
  registration_ = ::AddVectoredExceptionHandler(1, &Handle);
  if (!registration_)
    PLOG(ERROR) << "AddVectoredExceptionHandler failed";
}

ScopedInPageErrorHandler::~ScopedInPageErrorHandler() {
  if (registration_)
    ::RemoveVectoredExceptionHandler(registration_);
  DCHECK(g_innermost.Get().Get() == this);
  g_innermost.Get().Set(outer_);
}

// static
LONG CALLBACK ScopedInPageErrorHandler::Handle(EXCEPTION_POINTERS* pointers) {
  const EXCEPTION_RECORD& record = *pointers->ExceptionRecord;
  uint32_t status;
  if (record.ExceptionCode == EXCEPTION_IN_PAGE_ERROR && record.NumberParameters >= 3)
    status = static_cast<uint32_t>(record.ExceptionInformation[2]);
  else if (record.ExceptionCode == EXCEPTION_ACCESS_VIOLATION && record.NumberParameters >= 2)
    status = EXCEPTION_ACCESS_VIOLATION;
  else
    return EXCEPTION_CONTINUE_SEARCH;
  const void* address = reinterpret_cast<const void*>(record.ExceptionInformation[1]);
  for (auto* handler = static_cast<ScopedInPageErrorHandler*>(g_innermost.Get().Get()); handler;
       handler = handler->outer_) {
    if (handler->allocator_->OnViewFault(address, status))
      return EXCEPTION_CONTINUE_EXECUTION;
  }
  return EXCEPTION_CONTINUE_SEARCH;
}

}  // namespace installer
