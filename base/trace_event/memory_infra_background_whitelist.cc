#include "base/trace_event/memory_infra_background_whitelist.h"

#include <string>

namespace base {
namespace trace_event {

namespace {

// Providers and dumps of components that other programs of the product host are listed
// too, so that all of them report alike.
const char* const kDumpProviderWhitelist[] = {
    "AudioBuffers",
    "DiskCache",
    "FontCaches",
    "GpuMemory",
    "HttpNetworkSession",
    "ImageDecodeCache",
    "IndexedStore",
    "KeyValueStore",
    "Malloc",
    "MediaBuffers",
    "ScriptHeap",
    "SharedMemoryTracker",
    "SocketPool",
    "Sql",
    "TileManager",
    "UiLayers",
    "WebCache",
    "WinHeap",
};

const char* const kAllocatorDumpNameWhitelist[] = {
    "audio/buffers",
    "audio/streams",
    "cache/disk",
    "cache/memory",
    "discardable",
    "discardable/child_0x?",
    "fonts/glyph_cache",
    "fonts/typeface_cache",
    "gpu/buffers",
    "gpu/command_buffer",
    "gpu/shader_cache",
    "gpu/textures",
    "images/decoded",
    "images/encoded",
    "indexed_store",
    "indexed_store/0x?",
    "kv_store/db_0x?",
    "kv_store/index_0x?",
    "malloc",
    "malloc/allocated_objects",
    "malloc/metadata_fragmentation_caches",
    "media/buffers",
    "media/players",
    "net/http_network_session_0x?",
    "net/socket_pool",
    "net/url_request_context",
    "pools/large_objects",
    "pools/small_objects",
    "pools/strings",
    "script_heap",
    "script_heap/allocated_objects",
    "script_heap/isolate_0x?",
    "shared_memory",
    "shared_memory/0x?",
    "sqlite",
    "storage/local",
    "storage/session",
    "sync/0x?",
    "tiles/0x?",
    "tiles/memory",
    "ui/layers",
    "ui/surfaces",
    "web_cache/css_resources",
    "web_cache/image_resources",
    "web_cache/script_resources",
    "winheap",
    "winheap/allocated_objects",
};

bool IsHexDigit(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// |name| with each "0x" and its hexadecimal digits written "0x?".
std::string StripAddresses(std::string_view name) {
  std::string stripped;
  stripped.reserve(name.size());
  size_t i = 0;
  while (i < name.size()) {
    if (name.compare(i, 2, "0x") == 0 && i + 2 < name.size() && IsHexDigit(name[i + 2])) {
      stripped += "0x?";
      i += 2;
      while (i < name.size() && IsHexDigit(name[i]))
        ++i;
      continue;
    }
    stripped += name[i++];
  }
  return stripped;
}

}  // namespace

bool IsMemoryDumpProviderWhitelisted(std::string_view name) {
  for (const char* entry : kDumpProviderWhitelist) {
    if (name == entry)
      return true;
  }
  return false;
}

bool IsMemoryAllocatorDumpNameWhitelisted(std::string_view name) {
  const std::string stripped = StripAddresses(name);
  for (const char* entry : kAllocatorDumpNameWhitelist) {
    if (stripped == entry)
      return true;
  }
  return false;
}

}  // namespace trace_event
}  // namespace base
