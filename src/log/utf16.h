// UTF-8, the program's text, to and from UTF-16, the text of the Windows
// wide calls (file names, the console, the command line). Only Windows code
// uses it (utf16_win32.cpp). Invalid sequences become U+FFFD: a name that
// cannot be converted is then simply not found, never a crash.
#pragma once

#include <string>
#include <string_view>

namespace tolvane {

std::wstring Utf16FromUtf8(std::string_view utf8);
std::string Utf8FromUtf16(std::wstring_view utf16);

}  // namespace tolvane
