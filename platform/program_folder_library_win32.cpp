// Shared libraries on Windows: LoadLibraryEx from the program's folder, in wide characters so
// that any folder name works, and the PE header's bitness.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <cstring>

#include "platform/program_folder_library.h"
#include "platform/system_reason.h"
#include "platform/wide_text.h"

namespace platform {
namespace {

// The running program's file, in wide characters.
Result<std::wstring> programFileWide() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) return systemFailure(static_cast<int>(GetLastError()));
    if (length < path.size()) {
      path.resize(length);
      break;
    }
    path.resize(path.size() * 2);  // cut short: try a longer buffer
  }
  return path;
}

// The bitness a PE file is built for (PE32 or PE32+); 0 for a file that is not PE.
int peBits(const std::wstring& path) {
  constexpr DWORD kPeOffsetAt = 0x3C;     // where the MZ header keeps the PE header's offset
  constexpr DWORD kMagicFromPe = 24;      // the optional header's magic, after the file header
  constexpr unsigned kPe32 = 0x10B, kPe32Plus = 0x20B;
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 0;
  unsigned char header[4096] = {};
  DWORD got = 0;
  const BOOL read = ReadFile(file, header, sizeof header, &got, nullptr);
  CloseHandle(file);
  if (!read || got < kPeOffsetAt + 4 || header[0] != 'M' || header[1] != 'Z') return 0;
  const DWORD at = header[kPeOffsetAt] | header[kPeOffsetAt + 1] << 8 |
                   header[kPeOffsetAt + 2] << 16 |
                   static_cast<DWORD>(header[kPeOffsetAt + 3]) << 24;
  if (at > got - kMagicFromPe - 2 || std::memcmp(header + at, "PE\0\0", 4) != 0) return 0;
  const unsigned magic = header[at + kMagicFromPe] | header[at + kMagicFromPe + 1] << 8;
  return magic == kPe32 ? 32 : magic == kPe32Plus ? 64 : 0;
}

}  // namespace

Result<std::string> programFile() {
  const Result<std::wstring> path = programFileWide();
  if (!path) return path.failure();
  return narrow(*path);
}

std::string sharedLibraryFileName(const std::string& baseName) { return baseName + ".dll"; }

Result<ProgramFolderLibrary, LibraryFailure> ProgramFolderLibrary::load(
    const std::string& fileName) {
  const Result<std::wstring> program = programFileWide();
  if (!program) {
    return LibraryFailure{{"that folder cannot be found (" + program.failure().reason + ")"},
                          LibraryFailure::Kind::Unloadable, "this program's folder", 0, ""};
  }
  const std::wstring folder = program->substr(0, program->find_last_of(L"\\/"));
  const std::string shownFolder = narrow(folder);
  const std::wstring path = folder + L"\\" + widen(fileName);
  const std::string shownPath = narrow(path);
  const DWORD attributes = GetFileAttributesW(path.c_str());
  const DWORD attributesError = GetLastError();
  if (attributes == INVALID_FILE_ATTRIBUTES &&
      (attributesError == ERROR_FILE_NOT_FOUND || attributesError == ERROR_PATH_NOT_FOUND)) {
    return LibraryFailure{{}, LibraryFailure::Kind::Missing, shownFolder, 0, shownPath};
  }
  // No system dialog when the file or a library it needs cannot be loaded: we say it ourselves.
  const UINT errorMode = SetErrorMode(SEM_FAILCRITICALERRORS);
  // Libraries it needs in turn are looked for in its folder first.
  HMODULE module = LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
  const DWORD loadError = GetLastError();
  SetErrorMode(errorMode);
  if (module != nullptr) return ProgramFolderLibrary(module, shownFolder, shownPath);

  std::string reason = systemReason(static_cast<int>(loadError));
  const std::size_t insert = reason.find("%1");
  if (insert != std::string::npos) reason.replace(insert, 2, fileName);
  if (loadError == ERROR_MOD_NOT_FOUND) reason = "a library it needs is missing (" + reason + ")";
  const int bits = peBits(path);
  return LibraryFailure{{reason}, unloadedKind(bits), shownFolder, bits, shownPath};
}

LibraryFunction ProgramFolderLibrary::function(const std::string& name) const {
  return reinterpret_cast<LibraryFunction>(
      GetProcAddress(static_cast<HMODULE>(handle_), name.c_str()));
}

}  // namespace platform
