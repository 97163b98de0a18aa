#pragma once
// A small file read whole into memory in one go, for the files read as a unit: the settings
// file and the ARP table.
#include <string>

#include "base/Status.h"

namespace kestrom {

// The file's content; a failure with kFileNotFound when there is no such file, or another
// cause when it cannot be opened or read (a folder among others).
CResult<std::string> ReadWholeFile(const std::string& path);

}  // namespace kestrom
