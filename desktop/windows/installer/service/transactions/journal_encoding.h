#ifndef DESKTOP_WINDOWS_INSTALLER_SERVICE_TRANSACTIONS_JOURNAL_ENCODING_H_
#define DESKTOP_WINDOWS_INSTALLER_SERVICE_TRANSACTIONS_JOURNAL_ENCODING_H_

#include <stdint.h>

#include <string>
#include <string_view>
#include <vector>

namespace installer {

// Bytes as the undo journal writes them into its JSON records: upper-case hexadecimal, two
// digits a byte; no bytes give an empty text.
std::string EncodeJournalBytes(const void* bytes, size_t count);
// False for a text that is not such an encoding.
bool DecodeJournalBytes(std::string_view text, std::vector<uint8_t>* bytes);

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_SERVICE_TRANSACTIONS_JOURNAL_ENCODING_H_
