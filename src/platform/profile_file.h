#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace testbay {

// Private profile (INI) files with the rules of the files that Windows writes:
// section and key names match without regard to case, CRLF and LF line ends
// both read, structures stored as upper-case hexadecimal digits followed by a
// one-byte sum. A write keeps every other line of the file byte for byte,
// replaces the file atomically (temporary file and rename) and is locked
// against other processes, so that concurrent writers lose nothing.

// The value of a key as the profile reader returns it (surrounding blanks
// removed, one pair of enclosing quotes removed), or nothing when the file,
// the section or the key is missing.
std::optional<std::string> ReadProfileValue(const std::string& path, std::string_view section, std::string_view key);
// Sets a key, creating the file and the section when missing. With no value
// the key is removed. False when the file cannot be written.
bool WriteProfileValue(const std::string& path, std::string_view section, std::string_view key,
                       std::optional<std::string_view> value);
// Every key of a section in file order with its value.
std::vector<std::pair<std::string, std::string>> ReadProfileSection(const std::string& path, std::string_view section);
// Integer reading of a value: leading blanks, an optional sign, decimal
// digits (or a 0x prefix for hexadecimal); the default when the key is missing
// or empty.
int ReadProfileInt(const std::string& path, std::string_view section, std::string_view key, int defaultValue);
// Structures: true only for a value of exactly 2 * size + 2 hex digits whose
// sum byte matches.
bool ReadProfileStruct(const std::string& path, std::string_view section, std::string_view key, void* dest,
                       size_t size);
bool WriteProfileStruct(const std::string& path, std::string_view section, std::string_view key, const void* source,
                        size_t size);

}  // namespace testbay
