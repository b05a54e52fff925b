// The standard streams and the console on Windows.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <cstdio>
#include <io.h>

#include "platform/console.h"
#include "platform/stop.h"

namespace platform {

void ensureStandardStreams() {
  // Without a console (a service, a scheduled task) a standard handle may be missing: give its
  // stream the null device, so writes and the Enter wait meet an ordinary, empty device.
  const struct {
    DWORD id;
    std::FILE* stream;
    const char* mode;
  } streams[] = {{STD_INPUT_HANDLE, stdin, "r"}, {STD_OUTPUT_HANDLE, stdout, "w"},
                 {STD_ERROR_HANDLE, stderr, "w"}};
  for (const auto& standard : streams) {
    const HANDLE handle = GetStdHandle(standard.id);
    if (handle != nullptr && handle != INVALID_HANDLE_VALUE) continue;
    if (std::freopen("NUL", standard.mode, standard.stream) != nullptr) {
      SetStdHandle(standard.id,
                   reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(standard.stream))));
    }
  }
}

bool standardOutputIsTerminal() { return _isatty(_fileno(stdout)) != 0; }

bool writeStandardStream(StandardStream stream, const std::string& text) {
  // Lines end as the C library's text mode ends them, so the bytes match what it wrote.
  std::string bytes;
  bytes.reserve(text.size() + 8);
  for (const char c : text) {
    if (c == '\n') bytes += '\r';
    bytes += c;
  }
  const HANDLE handle =
      GetStdHandle(stream == StandardStream::Output ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE);
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return false;
  for (std::size_t written = 0; written < bytes.size();) {
    DWORD wrote = 0;
    if (!WriteFile(handle, bytes.data() + written, static_cast<DWORD>(bytes.size() - written),
                   &wrote, nullptr) ||
        wrote == 0) {
      return false;
    }
    written += wrote;
  }
  return true;
}

namespace {

// Reads one byte of standard input on its own thread, then signals: a blocking read there cannot
// be interrupted by Ctrl+C when standard input is a pipe. The raw handle, not the C runtime's
// stream, so that a read still pending when the process ends holds no runtime lock.
DWORD WINAPI readOneKey(LPVOID keyRead) {
  char key = 0;
  DWORD got = 0;
  ReadFile(GetStdHandle(STD_INPUT_HANDLE), &key, 1, &got, nullptr);
  SetEvent(static_cast<HANDLE>(keyRead));
  return 0;
}

// How often the wait looks at the stop flag.
constexpr DWORD kKeyPollMs = 50;

}  // namespace

void waitForKeyOrStop() {
  HANDLE keyRead = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  HANDLE reader = keyRead != nullptr ? CreateThread(nullptr, 0, readOneKey, keyRead, 0, nullptr)
                                     : nullptr;
  if (reader == nullptr) {
    if (!stopRequested()) std::getchar();  // no thread: wait the plain way
    return;
  }
  while (!stopRequested() && WaitForSingleObject(keyRead, kKeyPollMs) == WAIT_TIMEOUT) {
  }
  // Without a key the reader still waits on its event: both stay; the process ends right after.
  const bool keyCame = WaitForSingleObject(keyRead, 0) == WAIT_OBJECT_0;
  CloseHandle(reader);
  if (keyCame) CloseHandle(keyRead);
}

unsigned consoleProcessCount() {
  DWORD processes[2];  // more than one tells enough: the console is someone else's too
  return GetConsoleProcessList(processes, 2);
}

}  // namespace platform
