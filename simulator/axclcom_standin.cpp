// Stand-in for the closed AXCLCOM controller library: answers from the environment and
// writes one trace line per call, so tests and bench tools can see what a receiver commands. It
// drives no hardware; its version resource says so, and it exports brenik_stand_in, which the
// real library never has, so that a receiver can tell which of the two it loaded.
//   AXCLCOM_TRACE=<file>   append "<seconds> <operation> <arguments>[ -> <result>]" per call, each
//                          line in one append write: processes sharing the file interleave whole
//                          lines only
//   AXCLCOM_TRACE=<folder> (one that exists, or any path ending in a separator) the same into
//                          <program file name without extension>-trace.txt in it, a file for
//                          each program: L_BrenikReceiver-trace.txt, R_BrenikReceiver-trace.txt
//   AXCLCOM_INIT=<list>    results of successive init_axcl_config calls, the last repeating
//   AXCLCOM_STATE=<list>   the same for get_axcl_state
//   AXCLCOM_DELAY_MS=<ms>  every call takes this long, as a real controller's serial exchange does
//   AXCLCOM_OPEN_DELAY_MS=<ms>  init_axcl_config takes this long instead
//   AXCLCOM_LOCALE=<name>  init_axcl_config sets the process's locale, as a real library may
// A trace file or locale it cannot use is said once on standard error.
#define AXCLCOM_BUILDING
#include "controller/axclcom.h"
#include "controller/stand_in_marker.h"

#include <clocale>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/clock.h"
#include "platform/files.h"
#include "platform/program_folder_library.h"

namespace {

constexpr int kDefaultInitResult = 1;   // opened
constexpr int kDefaultStateResult = 4;  // ready for motion

// Successive results from a comma list; the last one repeats once the list is used up.
class ResultScript {
 public:
  ResultScript(const char* variable, int fallback) {
    if (const char* text = std::getenv(variable)) {
      const char* p = text;
      while (*p != '\0') {
        char* end = nullptr;
        const long value = std::strtol(p, &end, 10);
        if (end != p) values_.push_back(static_cast<int>(value));
        p = (*end == ',') ? end + 1 : (end == p ? p + 1 : end);
      }
    }
    if (values_.empty()) values_.push_back(fallback);
  }

  int next() {
    const int value = values_[next_ < values_.size() ? next_ : values_.size() - 1];
    if (next_ < values_.size()) ++next_;
    return value;
  }

 private:
  std::vector<int> values_;
  std::size_t next_ = 0;
};

// Milliseconds from the environment, 0 when unset or not a number.
unsigned delayFrom(const char* variable) {
  const char* text = std::getenv(variable);
  const long value = text != nullptr ? std::strtol(text, nullptr, 10) : 0;
  return value > 0 ? static_cast<unsigned>(value) : 0;
}

// Every call lasts what the environment says, before it answers.
void takeTime(bool opening = false) {
  static const unsigned callMs = delayFrom("AXCLCOM_DELAY_MS");
  static const unsigned openMs = delayFrom("AXCLCOM_OPEN_DELAY_MS");
  const unsigned ms = opening && openMs > 0 ? openMs : callMs;
  if (ms > 0) platform::sleepMilliseconds(ms);
}

ResultScript& initResults() {
  static ResultScript script("AXCLCOM_INIT", kDefaultInitResult);
  return script;
}

ResultScript& stateResults() {
  static ResultScript script("AXCLCOM_STATE", kDefaultStateResult);
  return script;
}

// The running program's file name without its folder and extension: L_BrenikReceiver.
std::optional<std::string> programName() {
  const platform::Result<std::string> file = platform::programFile();
  if (!file) return std::nullopt;
  std::size_t start = file->size();
  while (start > 0 && !platform::isPathSeparator((*file)[start - 1])) --start;
  const std::string name = file->substr(start);
  const std::size_t dot = name.rfind('.');
  return dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
}

// The trace file, from AXCLCOM_TRACE once: the file it names, or in a folder it names a file for
// this program, so that two receivers given the same value keep a trace each. Empty: no trace.
const std::string& tracePath() {
  static const std::string path = [] {
    const char* value = std::getenv("AXCLCOM_TRACE");
    if (value == nullptr || *value == '\0') return std::string();
    const std::string named = value;
    const bool endsInSeparator = platform::isPathSeparator(named.back());
    if (!endsInSeparator && !platform::isFolder(named)) return named;
    const std::optional<std::string> program = programName();
    return named + (endsInSeparator ? "" : std::string(1, platform::pathSeparator())) +
           program.value_or("AXCLCOM") + "-trace.txt";
  }();
  return path;
}

// Said once; the trace stops there.
void cannotWriteTrace(const platform::Failure& failure) {
  std::fprintf(stderr, "AXCLCOM stand-in: cannot write the trace file %s: %s\n",
               tracePath().c_str(), failure.reason.c_str());
}

// Opened once on the first call.
std::optional<platform::AppendFile>& traceFile() {
  static std::optional<platform::AppendFile> file = [] {
    std::optional<platform::AppendFile> none;
    if (tracePath().empty()) return none;
    platform::Result<platform::AppendFile> opened = platform::AppendFile::open(tracePath());
    if (!opened) {
      cannotWriteTrace(opened.failure());
      return none;
    }
    return std::optional<platform::AppendFile>(std::move(*opened));
  }();
  return file;
}

// The text printf makes of `format`, in the process's locale as a real library's would be.
std::string formatted(const char* format, va_list arguments) {
  va_list measuring;
  va_copy(measuring, arguments);
  const int length = std::vsnprintf(nullptr, 0, format, measuring);
  va_end(measuring);
  if (length <= 0) return std::string();
  std::string text(static_cast<std::size_t>(length) + 1, '\0');
  std::vsnprintf(text.data(), text.size(), format, arguments);
  text.resize(static_cast<std::size_t>(length));
  return text;
}

// One line, made whole first and then appended in one write: a receiver on the other side
// tracing to the same file can only ever put its lines between ours.
void trace(const char* format, ...) {
  std::optional<platform::AppendFile>& file = traceFile();
  if (!file) return;
  char stamp[64];
  std::snprintf(stamp, sizeof stamp, "%.6f ", platform::monotonicSeconds());
  va_list arguments;
  va_start(arguments, format);
  const std::string call = formatted(format, arguments);
  va_end(arguments);
  if (const std::optional<platform::Failure> failed =
          file->append(stamp + call + platform::textLineEnd())) {
    cannotWriteTrace(*failed);
    file.reset();
  }
}

// Once, on the first open.
void setLocaleFromEnvironment() {
  static const bool done = [] {
    const char* name = std::getenv("AXCLCOM_LOCALE");
    if (name != nullptr && *name != '\0' && std::setlocale(LC_ALL, name) == nullptr) {
      std::fprintf(stderr, "AXCLCOM stand-in: cannot set the locale %s\n", name);
    }
    return true;
  }();
  static_cast<void>(done);
}

std::string hexBlock(const unsigned char* block) {
  if (block == nullptr) return "null";
  static const char digits[] = "0123456789abcdef";
  std::string hex;
  for (int i = 0; i < AXCLCOM_PARAMETER_BLOCK_SIZE; ++i) {
    hex += digits[block[i] >> 4];
    hex += digits[block[i] & 0x0F];
  }
  return hex;
}

}  // namespace

extern "C" {

AXCLCOM_API const char* brenik_stand_in(void) {
  return "AXCLCOM stand-in: drives no hardware, nothing moves";
}

AXCLCOM_API int AXCLCOM_CALL init_axcl_config(const char* portName, int setting1, int setting2,
                                              int setting3, int setting4,
                                              unsigned char* parameterBlock) {
  takeTime(/*opening=*/true);
  setLocaleFromEnvironment();
  const int result = initResults().next();
  trace("init_axcl_config %s %d %d %d %d %s -> %d", portName != nullptr ? portName : "(null)",
        setting1, setting2, setting3, setting4, hexBlock(parameterBlock).c_str(), result);
  return result;
}

AXCLCOM_API int AXCLCOM_CALL get_axcl_state(void) {
  takeTime();
  const int result = stateResults().next();
  trace("get_axcl_state -> %d", result);
  return result;
}

AXCLCOM_API void AXCLCOM_CALL move_org(int axis, int mode) {
  takeTime();
  trace("move_org %d %d", axis, mode);
}

AXCLCOM_API void AXCLCOM_CALL write_velocity(int axis, int speed, int acceleration) {
  takeTime();
  trace("write_velocity %d %d %d", axis, speed, acceleration);
}

AXCLCOM_API void AXCLCOM_CALL move_abs(int axis, int position) {
  takeTime();
  trace("move_abs %d %d", axis, position);
}

AXCLCOM_API void AXCLCOM_CALL close_axcl(void) {
  takeTime();
  trace("close_axcl");
}

}  // extern "C"
