// The one-copy lock: a name that one process of the whole system holds at a time.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/failure.h"

namespace platform {

// Held for as long as it lives by one process of the whole system (Linux: a Unix socket bound to
// the name in the abstract namespace, which has no file; other POSIX systems: a lock on a file in
// a folder of the user's own under /tmp; Windows: a named object of the login session), and let go
// by the system when the process ends, however it ends. Taking it never blocks.
class SingleInstanceLock {
 public:
  // The lock, or none when another process holds it (on Windows: any object of the session holds
  // the name): that is the lock doing its work, not a failure. A failure when it can be neither.
  static Result<std::optional<SingleInstanceLock>> take(const std::string& name);

  // Whether another process holds the lock `name` now, looked at without taking it, so that the
  // holder's own start is never refused for it (on Windows the look holds the name for a few
  // microseconds). A failure when it cannot be told.
  static Result<bool> heldElsewhere(const std::string& name);

  ~SingleInstanceLock();
  SingleInstanceLock(SingleInstanceLock&& other) noexcept : handle_(other.handle_) {
    other.handle_ = kNotHeld;
  }
  SingleInstanceLock& operator=(SingleInstanceLock&&) = delete;
  SingleInstanceLock(const SingleInstanceLock&) = delete;
  SingleInstanceLock& operator=(const SingleInstanceLock&) = delete;

 private:
  static constexpr std::intptr_t kNotHeld = -1;
  explicit SingleInstanceLock(std::intptr_t handle) : handle_(handle) {}

  std::intptr_t handle_ = kNotHeld;
};

}  // namespace platform
