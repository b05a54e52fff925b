// Loading the controller library and finding its operations under the names its builder may
// have exported them as.
#include "controller/controller_library.h"

#include <optional>

#include "controller/stand_in_marker.h"

namespace controller {
namespace {

constexpr const char* kLibraryName = "AXCLCOM";

// Finds `name` and gives it the type it is declared with.
template <typename Function>
std::optional<platform::Failure> resolve(const FunctionLookup& lookup, const char* name,
                                         Function& operation, const std::string& remedy) {
  const platform::Result<platform::LibraryFunction> found =
      findOperation(lookup, {name, platform::FunctionType<Function>::kArgumentBytes}, remedy);
  if (!found) return found.failure();
  operation = reinterpret_cast<Function>(*found);
  return std::nullopt;
}

std::string joined(const std::vector<std::string>& names) {
  std::string text;
  for (const std::string& name : names) text += (text.empty() ? "" : ", ") + name;
  return text;
}

}  // namespace

std::vector<std::string> exportNames(const OperationDeclaration& operation) {
  const std::string plain = operation.name;
  if (!operation.decoratedNames) return {plain};
  const std::string decorated = plain + "@" + std::to_string(operation.argumentBytes);
  return {decorated, "_" + decorated, plain};
}

platform::Result<platform::LibraryFunction> findOperation(const FunctionLookup& lookup,
                                                          const OperationDeclaration& operation,
                                                          const std::string& remedy) {
  const std::vector<std::string> names = exportNames(operation);
  for (const std::string& name : names) {
    if (const platform::LibraryFunction found = lookup(name)) return found;
  }
  std::string reason = "it has no operation " + std::string(operation.name);
  if (names.size() > 1) reason += " (looked for " + joined(names) + ")";
  return platform::Failure{reason + "; " + remedy};
}

namespace {

// The stand-in exports kStandInMarker, which the real library never has; it is not called.
bool isStandIn(const FunctionLookup& lookup) { return lookup(kStandInMarker) != nullptr; }

// Loads the library and looks its operations up, as loadController says; what was found of the
// library goes into `description`.
platform::Result<Operations> load(LibraryDescription& description) {
  const std::string file = platform::sharedLibraryFileName(kLibraryName);
  const auto library = platform::ProgramFolderLibrary::load(file);
  description.path = library ? library->path() : library.failure().path;
  description.bits = library ? platform::kProgramBits : library.failure().libraryBits;
  const std::string& folder = library ? library->folder() : library.failure().folder;
  const std::string bits = std::to_string(platform::kProgramBits) + "-bit";
  const std::string remedy = "put the controller's " + bits + " " + file + " there";
  const std::string where = "cannot use the controller library " + file + " in " + folder;

  if (!library) {
    using Kind = platform::LibraryFailure::Kind;
    const platform::LibraryFailure& failure = library.failure();
    switch (failure.kind) {
      case Kind::Missing:
        return platform::Failure{"no controller library " + file + " in " + folder + "; " +
                                 remedy + ", beside this program"};
      case Kind::NotALibrary:
        return platform::Failure{where + ": it is not a library; " + remedy};
      case Kind::OtherBitness: {
        const std::string other = std::to_string(failure.libraryBits) + "-bit";
        return platform::Failure{where + ": it is a " + other + " library and this program is " +
                                 bits + "; use " + other + " receivers with it, or " + remedy};
      }
      case Kind::Unloadable:
        break;
    }
    return platform::Failure{where + ": " + failure.reason + "; " + remedy};
  }

  // All six are looked up before any is called.
  const FunctionLookup lookup = [&library](const std::string& name) { return library->function(name); };
  Operations operations;
  operations.standIn = description.standIn = isStandIn(lookup);
  std::optional<platform::Failure> missing =
      resolve(lookup, "init_axcl_config", operations.init_axcl_config, remedy);
  if (!missing) missing = resolve(lookup, "get_axcl_state", operations.get_axcl_state, remedy);
  if (!missing) missing = resolve(lookup, "move_org", operations.move_org, remedy);
  if (!missing) missing = resolve(lookup, "write_velocity", operations.write_velocity, remedy);
  if (!missing) missing = resolve(lookup, "move_abs", operations.move_abs, remedy);
  if (!missing) missing = resolve(lookup, "close_axcl", operations.close_axcl, remedy);
  if (missing) return platform::Failure{where + ": " + missing->reason};
  return operations;
}

}  // namespace

platform::Result<Operations> loadController() {
  LibraryDescription unused;
  return load(unused);
}

LibraryDescription describeController() {
  LibraryDescription description;
  const platform::Result<Operations> operations = load(description);
  if (!operations) description.unusable = operations.failure();
  return description;
}

}  // namespace controller
