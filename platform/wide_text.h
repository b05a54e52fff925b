// Windows only: text between the ANSI code page, in which the programs write their messages, and
// the wide characters of the system's own calls, so that any folder name works.
#pragma once

#include <string>

namespace platform {

std::string narrow(const std::wstring& text);
std::wstring widen(const std::string& text);

}  // namespace platform
