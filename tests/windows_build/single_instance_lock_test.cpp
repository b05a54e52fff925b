// The one-copy lock on Windows: its name taken by any object of the session, of whatever kind and
// by whichever program, keeps a receiver out as another copy does, rather than failing the lock.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <string>

#include <gtest/gtest.h>

#include "platform/platform.h"

namespace {

struct TakenName {
  const char* name;
  HANDLE (*take)(const char* objectName);
};

void PrintTo(const TakenName& c, std::ostream* out) { *out << c.name; }

// An empty access list: nobody, this process included, may open what it guards.
SECURITY_ATTRIBUTES* nobodyMayOpen() {
  static SECURITY_DESCRIPTOR descriptor;
  static SECURITY_ATTRIBUTES attributes{sizeof attributes, &descriptor, FALSE};
  static ACL acl;
  InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION);
  InitializeAcl(&acl, sizeof acl, ACL_REVISION);
  SetSecurityDescriptorDacl(&descriptor, TRUE, &acl, FALSE);
  return &attributes;
}

class NameTakenBy : public ::testing::TestWithParam<TakenName> {};

TEST_P(NameTakenBy, CountsAsAnotherCopyAndTheLockIsFreeOnceItGoes) {
  const std::string name = "BrenikLockTest-" + std::to_string(GetCurrentProcessId());
  const HANDLE object = GetParam().take(("Local\\" + name).c_str());
  ASSERT_NE(object, nullptr) << GetLastError();
  {
    const platform::SingleInstanceLock lock(name);
    EXPECT_FALSE(lock.held());
    EXPECT_TRUE(lock.heldElsewhere()) << lock.error();
  }
  CloseHandle(object);
  const platform::SingleInstanceLock lock(name);
  EXPECT_TRUE(lock.held()) << lock.error();
}

INSTANTIATE_TEST_SUITE_P(
    Objects, NameTakenBy,
    ::testing::Values(
        TakenName{"Mutex", [](const char* n) { return CreateMutexA(nullptr, FALSE, n); }},
        TakenName{"MutexNobodyMayOpen",
                  [](const char* n) { return CreateMutexA(nobodyMayOpen(), FALSE, n); }},
        TakenName{"Event", [](const char* n) { return CreateEventA(nullptr, TRUE, FALSE, n); }},
        TakenName{"Semaphore",
                  [](const char* n) { return CreateSemaphoreA(nullptr, 0, 1, n); }},
        TakenName{"FileMapping",
                  [](const char* n) {
                    return CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 1, n);
                  }}),
    [](const ::testing::TestParamInfo<TakenName>& c) { return c.param.name; });

}  // namespace
