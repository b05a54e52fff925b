// Reads one value from the text of a profile (INI) file the way Windows' profile lookup does,
// so that a settings file edited on Windows means the same thing on every build.
#pragma once

#include <string>
#include <string_view>

namespace platform {

// The value of `key` in `section` (both matched without regard to case), or `fallback` when
// the section or key is missing or the key's first line has no '='; at most `capacity - 1`
// characters, like a Windows buffer.
std::string lookupProfileValue(std::string_view fileContents, std::string_view section,
                               std::string_view key, std::string_view fallback,
                               std::size_t capacity);

}  // namespace platform
