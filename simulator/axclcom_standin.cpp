// Stand-in for the closed AXCLCOM controller library: answers from the environment and
// writes one trace line per call, so tests and bench tools can see what a receiver commands.
//   AXCLCOM_TRACE=<file>   append "<seconds> <operation> <arguments>[ -> <result>]" per call
//   AXCLCOM_INIT=<list>    results of successive init_axcl_config calls, the last repeating
//   AXCLCOM_STATE=<list>   the same for get_axcl_state
//   AXCLCOM_DELAY_MS=<ms>  every call takes this long, as a real controller's serial exchange does
//   AXCLCOM_OPEN_DELAY_MS=<ms>  init_axcl_config takes this long instead
//   AXCLCOM_LOCALE=<name>  init_axcl_config sets the process's locale, as a real library may
// A trace file or locale it cannot use is said once on standard error.
#define AXCLCOM_BUILDING
#include "controller/axclcom.h"

#include <cerrno>
#include <clocale>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/clock.h"

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

const char* tracePath() {
  const char* path = std::getenv("AXCLCOM_TRACE");
  return (path != nullptr && *path != '\0') ? path : nullptr;
}

// Said once; the trace stops there.
void cannotWriteTrace(int error) {
  std::fprintf(stderr, "AXCLCOM stand-in: cannot write the trace file %s: %s\n", tracePath(),
               std::strerror(error));
}

// Opened once on the first call.
std::FILE*& traceFile() {
  static std::FILE* file = [] {
    if (tracePath() == nullptr) return static_cast<std::FILE*>(nullptr);
    std::FILE* opened = std::fopen(tracePath(), "a");
    if (opened == nullptr) cannotWriteTrace(errno);
    return opened;
  }();
  return file;
}

void trace(const char* format, ...) {
  std::FILE*& file = traceFile();
  if (file == nullptr) return;
  errno = 0;
  std::fprintf(file, "%.6f ", platform::monotonicSeconds());
  va_list arguments;
  va_start(arguments, format);
  std::vfprintf(file, format, arguments);
  va_end(arguments);
  std::fputc('\n', file);
  if (std::fflush(file) != 0 || std::ferror(file) != 0) {
    cannotWriteTrace(errno != 0 ? errno : EIO);
    std::fclose(file);
    file = nullptr;
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
