#pragma once

#include <cstddef>
#include <string>

namespace testbay {

// The settings operations: each works on a bare file name in the
// configuration directory.
int ReadIniInt(const char* section, const char* key, int defaultValue, const char* fileName);
int WriteIniInt(const char* section, const char* key, int value, const char* fileName);
int WriteIniString(const char* section, const char* key, const char* value, const char* fileName);
size_t ReadIniString(const char* section, const char* key, const char* defaultValue, char* destination,
                     size_t destinationSize, const char* fileName);
int ReadIniStruct(const char* section, const char* key, void* destination, size_t size, const char* fileName);
int WriteIniStruct(const char* section, const char* key, const void* source, size_t size, const char* fileName);

}  // namespace testbay
