// The platform's side of WriteWholeFile (file_open_posix.cpp, file_open_win32.cpp).
#pragma once

#include <string>

namespace tolvane {

// Renames from over to, replacing it. False with an errno value.
bool RenameOver(const std::string& from, const std::string& to, int& error);

}  // namespace tolvane
