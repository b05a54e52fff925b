// The controller library, loaded from the program's own folder when a receiver starts, and its
// six operations looked up in it: building the receivers needs no import library.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "controller/axclcom.h"
#include "platform/calling_convention.h"
#include "platform/failure.h"
#include "platform/program_folder_library.h"

namespace controller {

// The six operations, typed as controller/axclcom.h (or the vendor's header) declares them. On
// 32-bit Windows they are called through platform::callForeign, which works whichever of the two
// conventions the library really uses.
struct Operations {
  decltype(&::init_axcl_config) init_axcl_config = nullptr;
  decltype(&::get_axcl_state) get_axcl_state = nullptr;
  decltype(&::move_org) move_org = nullptr;
  decltype(&::write_velocity) write_velocity = nullptr;
  decltype(&::move_abs) move_abs = nullptr;
  decltype(&::close_axcl) close_axcl = nullptr;
  // The library is the stand-in (simulator/), which answers every call and moves nothing.
  bool standIn = false;
};

// Loads AXCLCOM from the program's folder and looks up all six operations. A failure when the
// library is missing, cannot be loaded or lacks an operation: its reason then says in one
// sentence which file, which folder, what is wrong and what to do, and nothing has been called.
platform::Result<Operations> loadController();

// What a person checking a rig is told of the controller library a receiver would use.
struct LibraryDescription {
  std::string path;  // its full path, or where it was looked for; empty: the folder is unknown
  int bits = 0;      // 32 or 64 as its header says; 0 when that is unknown (missing, no library)
  bool standIn = false;                       // the stand-in, which moves nothing
  std::optional<platform::Failure> unusable;  // why it cannot be used, as loadController says
};

// The library loadController would take, found as it finds it; none of its operations is called,
// they are only looked up.
LibraryDescription describeController();

// How one operation is declared: on 32-bit Windows a __stdcall one is exported with its argument
// bytes in the name.
struct OperationDeclaration {
  const char* name;
  std::size_t argumentBytes;
  bool decoratedNames = platform::kDecoratedExportNames;  // names may carry the argument bytes
};

// The names a library may export the operation under, decorated ones first where there are any:
// MinGW's __stdcall (move_abs@8), Visual C++'s (_move_abs@8), then the plain one that a .def
// file or the C convention gives.
std::vector<std::string> exportNames(const OperationDeclaration& operation);

using FunctionLookup = std::function<platform::LibraryFunction(const std::string& name)>;

// The operation under the first of its export names that `lookup` finds; when there is none, a
// failure whose reason ends with `remedy`.
platform::Result<platform::LibraryFunction> findOperation(const FunctionLookup& lookup,
                                                          const OperationDeclaration& operation,
                                                          const std::string& remedy);

}  // namespace controller
