// Files on Windows: CreateFile checked for a disk file, appends through a handle that may only
// append, the working folder in the ANSI code page, and Windows' own profile lookup.
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

namespace {

// A byte far beyond any end of file, locked by each writer while it appends. Windows itself puts
// each write of an append-only handle at the end in one step, but Wine finds the end first and
// writes there after, so two processes' lines could land on each other. Nobody reads that far, so
// the lock never holds up a reader.
constexpr DWORD kWriterLockOffsetHigh = 0x40000000;

}  // namespace

Result<AppendFile> AppendFile::open(const std::string& path) {
  // Append access alone, without FILE_WRITE_DATA: the system then puts every write at the end of
  // the file. Read access only so that the handle may take the writers' lock.
  HANDLE file = CreateFileW(widen(path).c_str(), FILE_APPEND_DATA | FILE_READ_DATA | SYNCHRONIZE,
                            FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return systemFailure(static_cast<int>(GetLastError()));
  return AppendFile(reinterpret_cast<std::intptr_t>(file));
}

AppendFile::~AppendFile() {
  if (handle_ != kNoFile) CloseHandle(reinterpret_cast<HANDLE>(handle_));
}

std::optional<Failure> AppendFile::append(const std::string& text) {
  const HANDLE file = reinterpret_cast<HANDLE>(handle_);
  OVERLAPPED lockAt{};
  lockAt.OffsetHigh = kWriterLockOffsetHigh;
  const bool locked = LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &lockAt) != 0;
  std::optional<Failure> failure;
  // One write places all of it at the end; only a write cut short (a disk filling up) takes more.
  for (std::size_t done = 0; done < text.size() && !failure;) {
    const std::size_t left = text.size() - done;
    const DWORD want = left > MAXDWORD ? MAXDWORD : static_cast<DWORD>(left);
    DWORD wrote = 0;
    if (!WriteFile(file, text.data() + done, want, &wrote, nullptr)) {
      failure = systemFailure(static_cast<int>(GetLastError()));
    } else if (wrote == 0) {
      failure = systemFailure(ERROR_DISK_FULL);
    }
    done += wrote;
  }
  if (locked) UnlockFileEx(file, 0, 1, 0, &lockAt);
  return failure;
}

// As the C library's text streams write them, which Notepad and every Windows reader expect.
const char* textLineEnd() { return "\r\n"; }

bool isPathSeparator(char c) { return c == '\\' || c == '/'; }

char pathSeparator() { return '\\'; }

bool isFolder(const std::string& path) {
  const DWORD attributes = GetFileAttributesW(widen(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
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
