// Reading /proc for a process's memory and CPU time.
#include "support/process_status.h"

#include <cstdlib>
#include <fstream>

namespace testsupport {

std::optional<long> statusKb(pid_t pid, const std::string& field) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  for (std::string line; std::getline(status, line);) {
    if (line.rfind(field + ":", 0) == 0) return std::strtol(line.c_str() + field.size() + 1, nullptr, 10);
  }
  return std::nullopt;
}

unsigned long long cpuTicks(pid_t pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string field;
  unsigned long long ticks = 0;
  for (int i = 1; i <= 15 && stat >> field; ++i) {
    if (i == 14 || i == 15) ticks += std::stoull(field);  // utime and stime
  }
  return ticks;
}

}  // namespace testsupport
