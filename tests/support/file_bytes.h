#pragma once
// Whole files in and out, for tests. A file that cannot be read reads as empty.

#include <cstdint>
#include <string>
#include <vector>

std::vector<uint8_t> ReadFileBytes(const std::string& path);
std::string ReadFileText(const std::string& path);
// Creates or replaces the file.
void WriteFileBytes(const std::string& path, const std::vector<uint8_t>& bytes);
