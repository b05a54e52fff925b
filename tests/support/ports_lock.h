// The machine-wide lock that every test binding the receivers' fixed UDP ports takes.
#pragma once

#include <chrono>

#include "support/wait.h"

namespace testsupport {

// Holds a lock file that every test using the receivers' fixed UDP ports takes, so that test
// programs started by anyone on this machine never bind them at the same time.
class ReceiverPortsLock {
 public:
  explicit ReceiverPortsLock(std::chrono::seconds timeout = 300s);
  ~ReceiverPortsLock();
  ReceiverPortsLock(const ReceiverPortsLock&) = delete;
  ReceiverPortsLock& operator=(const ReceiverPortsLock&) = delete;

 private:
  int fd_ = -1;
};

}  // namespace testsupport
