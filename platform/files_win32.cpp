// Files on Windows: CreateFile checked for a disk file, the working folder in the ANSI code
// page, and Windows' own profile lookup.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include "platform/files.h"
#include "platform/system_reason.h"
#include "platform/wide_text.h"

namespace platform {

Result<InputFile> InputFile::open(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    return Failure{"is a folder"};
  }
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                            nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return systemFailure(static_cast<int>(GetLastError()));
  // Pipes, consoles and devices can block or never end.
  if (GetFileType(file) != FILE_TYPE_DISK) {
    CloseHandle(file);
    return Failure{"is not a regular file"};
  }
  return InputFile(reinterpret_cast<std::intptr_t>(file));
}

InputFile::~InputFile() {
  if (handle_ != kNoFile) CloseHandle(reinterpret_cast<HANDLE>(handle_));
}

Result<std::size_t> InputFile::read(char* buffer, std::size_t capacity) {
  DWORD got = 0;
  const DWORD want = capacity > MAXDWORD ? MAXDWORD : static_cast<DWORD>(capacity);
  if (!ReadFile(reinterpret_cast<HANDLE>(handle_), buffer, want, &got, nullptr)) {
    return systemFailure(static_cast<int>(GetLastError()));
  }
  return std::size_t{got};
}

Result<std::string> currentFolder() {
  const DWORD size = GetCurrentDirectoryW(0, nullptr);
  std::wstring folder(size, L'\0');
  const DWORD length = size > 0 ? GetCurrentDirectoryW(size, folder.data()) : 0;
  if (length == 0) return systemFailure(static_cast<int>(GetLastError()));
  if (length >= size) return Failure{"it changed while it was read"};
  folder.resize(length);
  return narrow(folder);
}

std::optional<std::string> systemProfileString(const char* section, const char* key,
                                               const char* fallback, const char* fileName) {
  char value[kProfileValueCapacity] = {};
  const DWORD length = GetPrivateProfileStringA(section, key, fallback, value,
                                                static_cast<DWORD>(sizeof value), fileName);
  return std::string(value, length);
}

std::string inFolder(const std::string& folder, const std::string& name) {
  return folder + "\\" + name;
}

}  // namespace platform
