// The one-copy lock on Windows: a named mutex of the login session.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include "platform/single_instance_lock.h"
#include "platform/system_reason.h"

namespace platform {

Result<std::optional<SingleInstanceLock>> SingleInstanceLock::take(const std::string& name) {
  // A named object of the login session; Windows deletes it when its last holder ends.
  const std::string objectName = "Local\\" + name;
  HANDLE mutex = CreateMutexA(nullptr, FALSE, objectName.c_str());
  const DWORD code = GetLastError();
  if (mutex == nullptr) {
    // The name is taken all the same: by another user's copy (access denied) or by an object of
    // another kind (an event, a semaphore: invalid handle) that another program made.
    if (code == ERROR_ACCESS_DENIED || code == ERROR_INVALID_HANDLE) {
      return std::optional<SingleInstanceLock>();
    }
    return Failure{objectName + ": " + systemReason(static_cast<int>(code))};
  }
  if (code == ERROR_ALREADY_EXISTS) {
    CloseHandle(mutex);
    return std::optional<SingleInstanceLock>();
  }
  return std::optional<SingleInstanceLock>(SingleInstanceLock(reinterpret_cast<std::intptr_t>(mutex)));
}

Result<bool> SingleInstanceLock::heldElsewhere(const std::string& name) {
  const std::string objectName = "Local\\" + name;
  HANDLE mutex = OpenMutexA(SYNCHRONIZE, FALSE, objectName.c_str());
  if (mutex != nullptr) {
    CloseHandle(mutex);
    return true;
  }
  const DWORD code = GetLastError();
  if (code == ERROR_FILE_NOT_FOUND) return false;
  // Held all the same, as take() sees it: by another user's copy or by an object of another kind.
  if (code == ERROR_ACCESS_DENIED || code == ERROR_INVALID_HANDLE) return true;
  return Failure{objectName + ": " + systemReason(static_cast<int>(code))};
}

SingleInstanceLock::~SingleInstanceLock() {
  if (handle_ != kNotHeld) CloseHandle(reinterpret_cast<HANDLE>(handle_));
}

}  // namespace platform
