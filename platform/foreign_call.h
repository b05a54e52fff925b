// Calls into a function of a loaded library whose calling convention this program cannot know.
#pragma once

namespace platform {

// Calls `function` with `arguments` and gives its result.
template <typename Function, typename... Arguments>
auto callForeign(Function function, Arguments... arguments) {
  return function(arguments...);
}

}  // namespace platform
