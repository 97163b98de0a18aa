#pragma once
// A small file read whole into memory in one go, for the files read as a unit: the settings
// file and the ARP table.
#include <string>

namespace kestrom {

enum class WholeFileState { kMissing, kUnreadable, kRead };

// Replaces bytes with the file's content. kMissing when there is no such file, kUnreadable
// when it cannot be opened or read (a folder among others); bytes then holds what was read.
WholeFileState ReadWholeFile(const std::string& path, std::string& bytes);

}  // namespace kestrom
