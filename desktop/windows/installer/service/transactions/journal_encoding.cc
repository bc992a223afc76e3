#include "desktop/windows/installer/service/transactions/journal_encoding.h"

#include "base/strings/string_number_conversions.h"

namespace installer {

std::string EncodeJournalBytes(const void* bytes, size_t count) {
  return base::HexEncode(bytes, count);
}

bool DecodeJournalBytes(std::string_view text, std::vector<uint8_t>* bytes) {
  if (text.empty()) {
    bytes->clear();
    return true;
  }
  return base::HexStringToBytes(text, bytes);
}

}  // namespace installer
