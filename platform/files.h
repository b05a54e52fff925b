// Files: a file opened only when it is one a reader can read to its end, a file only ever added
// to at its end, how paths are written, the working folder, and the system's own profile (INI)
// lookup where it has one.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "platform/failure.h"

namespace platform {

// A file opened for reading only if it is a readable regular file, so that a folder, a FIFO or
// a device named like one never blocks or floods the reader. Closed when it goes.
class InputFile {
 public:
  // Fails with "is a folder", "is not a regular file" or the system's reason.
  static Result<InputFile> open(const std::string& path);

  ~InputFile();
  InputFile(InputFile&& other) noexcept : handle_(other.handle_) { other.handle_ = kNoFile; }
  InputFile& operator=(InputFile&&) = delete;
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;

  // Up to `capacity` bytes into `buffer`: how many, 0 at the end of the file.
  Result<std::size_t> read(char* buffer, std::size_t capacity);

 private:
  static constexpr std::intptr_t kNoFile = -1;
  explicit InputFile(std::intptr_t handle) : handle_(handle) {}

  std::intptr_t handle_ = kNoFile;
};

// A file that text is only ever added to at its end, each piece in one write that the system
// itself places at the end (O_APPEND, FILE_APPEND_DATA): processes sharing the file interleave
// whole pieces, never parts of them. Made when missing; closed when it goes.
class AppendFile {
 public:
  // Fails with the system's reason (a folder, a missing folder, no permission).
  static Result<AppendFile> open(const std::string& path);

  ~AppendFile();
  AppendFile(AppendFile&& other) noexcept : handle_(other.handle_) { other.handle_ = kNoFile; }
  AppendFile& operator=(AppendFile&&) = delete;
  AppendFile(const AppendFile&) = delete;
  AppendFile& operator=(const AppendFile&) = delete;

  // All of `text` at the end of the file; the system's reason when it could not (a full disk).
  std::optional<Failure> append(const std::string& text);

 private:
  static constexpr std::intptr_t kNoFile = -1;
  explicit AppendFile(std::intptr_t handle) : handle_(handle) {}

  std::intptr_t handle_ = kNoFile;
};

// What ends a line in a text file here: "\r\n" on Windows, "\n" elsewhere.
const char* textLineEnd();

// True when `c` ends a folder's name in a path: '/', and on Windows '\\' too.
bool isPathSeparator(char c);
// The separator the system writes between a folder and a name in it.
char pathSeparator();
// True when `path` names a folder that exists.
bool isFolder(const std::string& path);

// The working folder, as the system writes it (C:\Brenik, /home/rig).
Result<std::string> currentFolder();

// `name` in `folder`, joined as this system writes paths.
std::string inFolder(const std::string& folder, const std::string& name);

// The profile (INI) lookup Windows does, at most `capacity - 1` characters of the value.
constexpr std::size_t kProfileValueCapacity = 256;

// The value the system's own profile lookup gives, on a system that has one (Windows); none
// elsewhere, where the caller reads the file itself.
std::optional<std::string> systemProfileString(const char* section, const char* key,
                                               const char* fallback, const char* fileName);

}  // namespace platform
