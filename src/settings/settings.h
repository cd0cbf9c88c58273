#pragma once

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

namespace testbay {

// The settings operations: each works on a bare file name in the
// configuration directory, with the results of the Windows profile calls.

// Copies the value (or the default, without its trailing blanks) and returns
// the number of characters copied; the destination is emptied first and the
// value is cut to fit.
size_t ReadIniString(const char* section, const char* key, const char* defaultValue, char* destination,
                     size_t destinationSize, const char* fileName);
// The default when the key is missing or empty.
int ReadIniInt(const char* section, const char* key, int defaultValue, const char* fileName);
// Non-zero on success. A null value removes the key.
int WriteIniString(const char* section, const char* key, const char* value, const char* fileName);
int WriteIniInt(const char* section, const char* key, int value, const char* fileName);
// Non-zero only when a structure of exactly `size` bytes with a good sum was read.
int ReadIniStruct(const char* section, const char* key, void* destination, size_t size, const char* fileName);
int WriteIniStruct(const char* section, const char* key, const void* source, size_t size, const char* fileName);
// Every key of a section with its value, in file order.
std::vector<std::pair<std::string, std::string>> ReadIniSection(const char* section, const char* fileName);

// The same reads and writes on a file of the Windows-directory counterpart.
size_t ReadWindowsIniString(const char* section, const char* key, const char* defaultValue, char* destination,
                            size_t destinationSize, const char* fileName);
int WriteWindowsIniString(const char* section, const char* key, const char* value, const char* fileName);

}  // namespace testbay
