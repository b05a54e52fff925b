// What Linux tells of a running process: its memory and the CPU time it used.
#pragma once

#include <sys/types.h>

#include <optional>
#include <string>

namespace testsupport {

// A field of /proc/<pid>/status in kB ("VmRSS", "VmHWM"), and the CPU ticks the process used.
std::optional<long> statusKb(pid_t pid, const std::string& field);
unsigned long long cpuTicks(pid_t pid);

}  // namespace testsupport
