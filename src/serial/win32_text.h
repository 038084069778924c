// Texts from the 8-bit Windows calls are in the ANSI code page; inside the
// program everything is UTF-8.
#pragma once

#include <string>

namespace tolvane {

std::string AnsiToUtf8(const std::string& text);

}  // namespace tolvane
