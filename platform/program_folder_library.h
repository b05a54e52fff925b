// Shared libraries, loaded from the running program's own folder and never from elsewhere, and
// why one could not be: missing, not a library, of the other bitness, or refused by the system.
#pragma once

#include <climits>
#include <string>
#include <utility>

#include "platform/failure.h"

namespace platform {

// The file name this system gives the shared library `baseName`: AXCLCOM.dll, libAXCLCOM.so.
std::string sharedLibraryFileName(const std::string& baseName);

// The running program's own file, its full path as the system writes it
// (C:\Brenik\L_BrenikReceiver.exe, /opt/brenik/L_BrenikReceiver).
Result<std::string> programFile();

// This program's bitness, which a library it loads must share.
constexpr int kProgramBits = static_cast<int>(sizeof(void*) * CHAR_BIT);

// Any function of a loaded library; the caller casts it to the function's real type.
using LibraryFunction = void (*)();

// Why a library could not be loaded, told apart as a person is told what to do about it.
struct LibraryFailure : Failure {
  enum class Kind {
    Missing,       // no such file in the folder
    NotALibrary,   // the file is not a shared library of this system
    OtherBitness,  // a library built for the other bitness (libraryBits)
    Unloadable,    // the system would not load it (reason)
  };
  Kind kind = Kind::Unloadable;
  std::string folder;   // the folder looked in, as the system writes it (C:\brenik, /opt/brenik)
  int libraryBits = 0;  // the bitness the file's header gives; 0: none
  std::string path;     // the file looked for, its full path; empty when the folder is unknown
};

// A shared library loaded from the folder of the program's own file, and kept loaded for the
// rest of the process: a controller library may keep threads of its own.
class ProgramFolderLibrary {
 public:
  static Result<ProgramFolderLibrary, LibraryFailure> load(const std::string& fileName);

  // The folder it was loaded from, as the system writes it.
  const std::string& folder() const { return folder_; }
  // Its file, the full path it was loaded from (C:\brenik\AXCLCOM.dll).
  const std::string& path() const { return path_; }
  // nullptr when the library exports no function of that name.
  LibraryFunction function(const std::string& name) const;

 private:
  ProgramFolderLibrary(void* handle, std::string folder, std::string path)
      : handle_(handle), folder_(std::move(folder)), path_(std::move(path)) {}

  void* handle_;
  std::string folder_;
  std::string path_;
};

// Why a library the system would not load was not loaded, from the bitness its header gives.
inline LibraryFailure::Kind unloadedKind(int libraryBits) {
  if (libraryBits == 0) return LibraryFailure::Kind::NotALibrary;
  return libraryBits != kProgramBits ? LibraryFailure::Kind::OtherBitness
                                     : LibraryFailure::Kind::Unloadable;
}

}  // namespace platform
