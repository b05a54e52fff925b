// Shared libraries on POSIX: dlopen from the folder of the file /proc/self/exe names, and the ELF
// class.
#include "platform/program_folder_library.h"

#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>

#include "platform/files.h"
#include "platform/system_reason.h"

namespace platform {
namespace {

// The bitness an ELF file is built for (its class); 0 for a file that is not ELF.
int elfBits(const std::string& path) {
  constexpr std::size_t kClassAt = 4;
  char ident[kClassAt + 1] = {};
  Result<InputFile> file = InputFile::open(path);
  if (!file) return 0;
  const Result<std::size_t> got = file->read(ident, sizeof ident);
  if (!got || *got != sizeof ident || std::memcmp(ident, "\x7f" "ELF", 4) != 0) return 0;
  return ident[kClassAt] == 1 ? 32 : ident[kClassAt] == 2 ? 64 : 0;
}

}  // namespace

// From the link the kernel keeps to it.
Result<std::string> programFile() {
  std::string path(PATH_MAX, '\0');
  const ssize_t length = ::readlink("/proc/self/exe", path.data(), path.size());
  if (length <= 0 || static_cast<std::size_t>(length) >= path.size()) {
    return length < 0 ? systemFailure(errno) : Failure{"its path is too long"};
  }
  path.resize(static_cast<std::size_t>(length));
  return path;
}

std::string sharedLibraryFileName(const std::string& baseName) { return "lib" + baseName + ".so"; }

Result<ProgramFolderLibrary, LibraryFailure> ProgramFolderLibrary::load(
    const std::string& fileName) {
  const Result<std::string> program = programFile();
  if (!program) {
    return LibraryFailure{{"that folder cannot be found (" + program.failure().reason + ")"},
                          LibraryFailure::Kind::Unloadable, "this program's folder", 0, ""};
  }
  const std::string folder = program->substr(0, program->rfind('/'));
  const std::string path = folder + "/" + fileName;
  struct stat status {};
  if (::stat(path.c_str(), &status) != 0 && errno == ENOENT) {
    return LibraryFailure{{}, LibraryFailure::Kind::Missing, folder, 0, path};
  }
  void* handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle != nullptr) return ProgramFolderLibrary(handle, folder, path);
  const std::string reason = ::dlerror();
  const int bits = elfBits(path);
  return LibraryFailure{{reason}, unloadedKind(bits), folder, bits, path};
}

LibraryFunction ProgramFolderLibrary::function(const std::string& name) const {
  return reinterpret_cast<LibraryFunction>(::dlsym(handle_, name.c_str()));
}

}  // namespace platform
