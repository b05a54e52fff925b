// Loading the controller library and finding its operations under the names its builder may
// have exported them as.
#include "controller/controller_library.h"

namespace controller {
namespace {

constexpr const char* kLibraryName = "AXCLCOM";

// Finds `name` and gives it the type it is declared with; false with `problem` set.
template <typename Function>
bool resolve(const FunctionLookup& lookup, const char* name, Function& operation,
             const std::string& remedy, std::string& problem) {
  const platform::LibraryFunction found = findOperation(
      lookup, {name, platform::FunctionType<Function>::kArgumentBytes}, remedy, problem);
  operation = reinterpret_cast<Function>(found);
  return found != nullptr;
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

platform::LibraryFunction findOperation(const FunctionLookup& lookup,
                                        const OperationDeclaration& operation,
                                        const std::string& remedy, std::string& problem) {
  const std::vector<std::string> names = exportNames(operation);
  for (const std::string& name : names) {
    if (const platform::LibraryFunction found = lookup(name)) return found;
  }
  problem = "it has no operation " + std::string(operation.name);
  if (names.size() > 1) problem += " (looked for " + joined(names) + ")";
  problem += "; " + remedy;
  return nullptr;
}

bool loadController(Operations& operations, std::string& problem) {
  const std::string file = platform::sharedLibraryFileName(kLibraryName);
  const auto library = platform::ProgramFolderLibrary::load(file);
  const std::string& folder = library ? library->folder() : library.failure().folder;
  const std::string bits = std::to_string(platform::kProgramBits) + "-bit";
  const std::string remedy = "put the controller's " + bits + " " + file + " there";
  const std::string where = "cannot use the controller library " + file + " in " + folder;

  if (!library) {
    using Kind = platform::LibraryFailure::Kind;
    const platform::LibraryFailure& failure = library.failure();
    switch (failure.kind) {
      case Kind::Missing:
        problem = "no controller library " + file + " in " + folder + "; " + remedy +
                  ", beside this program";
        break;
      case Kind::NotALibrary:
        problem = where + ": it is not a library; " + remedy;
        break;
      case Kind::OtherBitness: {
        const std::string other = std::to_string(failure.libraryBits) + "-bit";
        problem = where + ": it is a " + other + " library and this program is " + bits +
                  "; use " + other + " receivers with it, or " + remedy;
        break;
      }
      case Kind::Unloadable:
        problem = where + ": " + failure.reason + "; " + remedy;
        break;
    }
    return false;
  }

  // All six are looked up before any is called.
  const FunctionLookup lookup = [&library](const std::string& name) { return library->function(name); };
  std::string missing;
  const bool complete =
      resolve(lookup, "init_axcl_config", operations.init_axcl_config, remedy, missing) &&
      resolve(lookup, "get_axcl_state", operations.get_axcl_state, remedy, missing) &&
      resolve(lookup, "move_org", operations.move_org, remedy, missing) &&
      resolve(lookup, "write_velocity", operations.write_velocity, remedy, missing) &&
      resolve(lookup, "move_abs", operations.move_abs, remedy, missing) &&
      resolve(lookup, "close_axcl", operations.close_axcl, remedy, missing);
  if (!complete) problem = where + ": " + missing;
  return complete;
}

}  // namespace controller
