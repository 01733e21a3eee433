// The process's working folder, which relative paths in the configuration are resolved against.
// It is shared by every thread: change it only at start-up.
#pragma once

#include <string>

namespace corvel {

// Makes `path` the working folder; false when it cannot be entered.
bool EnterFolder(const std::string& path);

// The absolute working folder; empty when it cannot be read.
std::string CurrentFolder();

}  // namespace corvel
