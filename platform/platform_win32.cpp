// Windows side of the platform layer, all that the Windows build does differently: Windows
// Sockets 2, Sleep, Windows' own profile reader for the settings, a console control handler for
// Ctrl+C and the closing window, and LoadLibrary for the controller library.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
#include <mmsystem.h>

#include <algorithm>
#include <atomic>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <io.h>

#include "platform/foreign_call.h"
#include "platform/platform.h"

namespace platform {
namespace {

std::atomic<unsigned> gStopRequests{0};

// How long a closing console waits for the main thread to level the seat, close the controller
// and return, which ends the process sooner; Windows itself ends it after about 5 s.
constexpr DWORD kCloseGraceMs = 10000;

// Names for the socket errors a person at the rig may meet, where the system gives no text
// (Wine gives none for any Windows Sockets error).
const char* socketErrorName(int code) {
  switch (code) {
    case WSAEADDRINUSE: return "address already in use";
    case WSAEACCES: return "access denied";
    case WSAENETUNREACH: return "network unreachable";
    case WSAEHOSTUNREACH: return "host unreachable";
    case WSAEMSGSIZE: return "message too long";
    case WSAEADDRNOTAVAIL: return "address not available on this computer";
    case WSAENETDOWN: return "network is down";
    case WSAECONNRESET: return "connection reset by the other side";
    case WSAHOST_NOT_FOUND: return "host not found";
    case WSATRY_AGAIN: return "host name lookup failed for now; try again";
    case WSANOTINITIALISED: return "socket library not started";
    default: return nullptr;
  }
}

std::string errorText(int code) {
  char text[256] = {};
  const DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                      nullptr, static_cast<DWORD>(code), 0, text, sizeof text,
                                      nullptr);
  std::string message(text, length);
  while (!message.empty() && (message.back() == '\n' || message.back() == '\r' ||
                              message.back() == ' ' || message.back() == '.')) {
    message.pop_back();
  }
  if (!message.empty()) return message;
  const char* name = socketErrorName(code);
  return (name != nullptr ? std::string(name) + " (error " : "error ") + std::to_string(code) +
         (name != nullptr ? ")" : "");
}

BOOL WINAPI onConsoleEvent(DWORD event) {
  ++gStopRequests;
  if (event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT) {
    // Windows ends the process when this returns; give the main thread time to stop cleanly.
    Sleep(kCloseGraceMs);
  }
  return TRUE;
}

}  // namespace

bool startSockets(std::string& error) {
  WSADATA data;
  const int result = WSAStartup(MAKEWORD(2, 0), &data);
  if (result != 0) {
    error = errorText(result);
    return false;
  }
  return true;
}

void stopSockets() { WSACleanup(); }

namespace {
constexpr UINT kFineTimerMs = 1;
}  // namespace

TimerResolutionGuard::TimerResolutionGuard()
    : held_(timeBeginPeriod(kFineTimerMs) == TIMERR_NOERROR) {}

TimerResolutionGuard::~TimerResolutionGuard() {
  if (held_) timeEndPeriod(kFineTimerMs);
}

SingleInstanceLock::SingleInstanceLock(const std::string& name) {
  // A named object of the login session; Windows deletes it when its last holder ends.
  const std::string objectName = "Local\\" + name;
  HANDLE mutex = CreateMutexA(nullptr, FALSE, objectName.c_str());
  const DWORD error = GetLastError();
  if (mutex == nullptr) {
    // The name is taken all the same: by another user's copy (access denied) or by an object of
    // another kind (an event, a semaphore: invalid handle) that another program made.
    heldElsewhere_ = error == ERROR_ACCESS_DENIED || error == ERROR_INVALID_HANDLE;
    if (!heldElsewhere_) error_ = objectName + ": " + errorText(static_cast<int>(error));
    return;
  }
  if (error == ERROR_ALREADY_EXISTS) {
    heldElsewhere_ = true;
    CloseHandle(mutex);
    return;
  }
  handle_ = reinterpret_cast<std::intptr_t>(mutex);
}

SingleInstanceLock::~SingleInstanceLock() {
  if (held()) CloseHandle(reinterpret_cast<HANDLE>(handle_));
}

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

SocketHandle openBoundUdpSocket(std::uint16_t port, std::string& error, bool* taken) {
  if (taken != nullptr) *taken = false;
  const SOCKET s = ::socket(AF_INET, SOCK_DGRAM, 0);
  if (s == INVALID_SOCKET) {
    error = errorText(WSAGetLastError());
    return kInvalidSocket;
  }
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_ANY);
  if (::bind(s, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    const int code = WSAGetLastError();
    if (taken != nullptr) *taken = code == WSAEADDRINUSE;
    error = errorText(code);
    closesocket(s);
    return kInvalidSocket;
  }
  return static_cast<SocketHandle>(s);
}

void closeSocket(SocketHandle socket) {
  if (socket != kInvalidSocket) closesocket(static_cast<SOCKET>(socket));
}

std::size_t growReceiveBuffer(SocketHandle socket, std::size_t wanted) {
  const SOCKET s = static_cast<SOCKET>(socket);
  int bytes = static_cast<int>(std::min<std::size_t>(wanted, INT_MAX));
  setsockopt(s, SOL_SOCKET, SO_RCVBUF, reinterpret_cast<const char*>(&bytes), sizeof bytes);
  int length = sizeof bytes;
  if (getsockopt(s, SOL_SOCKET, SO_RCVBUF, reinterpret_cast<char*>(&bytes), &length) != 0) {
    return 0;
  }
  return bytes > 0 ? static_cast<std::size_t>(bytes) : 0;
}

namespace {

// The event an overlapped receive signals, one per thread and made once: making one per wait
// would cost another call into the system inside every text's cycle.
HANDLE receiveEvent() {
  thread_local const struct Event {
    HANDLE handle = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    ~Event() {
      if (handle != nullptr) CloseHandle(handle);
    }
  } event;
  return event.handle;
}

ReceiveStatus receiveFailure(int code, std::size_t capacity, std::size_t& received,
                             std::string& error) {
  // Windows reports a datagram longer than the buffer as an error after filling the buffer.
  if (code == WSAEMSGSIZE) {
    received = capacity;
    return ReceiveStatus::Datagram;
  }
  // A wait that timed out and was cancelled.
  if (code == WSA_OPERATION_ABORTED || code == WSAEWOULDBLOCK || code == WSAEINTR) {
    return ReceiveStatus::Timeout;
  }
  error = errorText(code);
  return ReceiveStatus::Error;
}

}  // namespace

// One overlapped receive waited for with a timeout, rather than select and then recv: a datagram
// already there is taken at once, and under Wine a waiting one costs fewer calls into the wine
// server, which is where most of a text's dead time went.
ReceiveStatus receiveDatagram(SocketHandle socket, char* buffer, std::size_t capacity,
                              int timeoutMs, std::size_t& received, std::string& error) {
  received = 0;
  const SOCKET s = static_cast<SOCKET>(socket);
  WSAOVERLAPPED overlapped{};
  overlapped.hEvent = receiveEvent();
  if (overlapped.hEvent == nullptr) {
    error = errorText(static_cast<int>(GetLastError()));
    return ReceiveStatus::Error;
  }
  WSABUF piece{static_cast<ULONG>(capacity), buffer};
  DWORD got = 0;
  DWORD flags = 0;
  if (WSARecv(s, &piece, 1, &got, &flags, &overlapped, nullptr) == 0) {
    received = static_cast<std::size_t>(got);
    return ReceiveStatus::Datagram;
  }
  const int code = WSAGetLastError();
  if (code != WSA_IO_PENDING) return receiveFailure(code, capacity, received, error);
  if (WaitForSingleObject(overlapped.hEvent, static_cast<DWORD>(timeoutMs)) != WAIT_OBJECT_0) {
    CancelIoEx(reinterpret_cast<HANDLE>(s), &overlapped);
  }
  // Waits until the receive has ended, taken or cancelled, so that the buffer is ours again; a
  // datagram that came just before the cancel is still taken.
  if (!WSAGetOverlappedResult(s, &overlapped, &got, TRUE, &flags)) {
    return receiveFailure(WSAGetLastError(), capacity, received, error);
  }
  received = static_cast<std::size_t>(got);
  return ReceiveStatus::Datagram;
}

// The overlapped receive above for the first datagram; then, only when FIONREAD says more is
// queued, plain receives on the socket made non-blocking until one finds nothing. Under Wine every
// receive is a request to the wine server: one after each text cost about a fifth of the
// datagrams at 1000 Hz on a loaded machine, where FIONREAD costs half a receive. Windows counts
// all that is queued in it, so 0 means no text is queued; Wine answers as Linux does, with the
// size of the next datagram alone, so there an empty datagram hides those queued behind it.
ReceiveStatus receiveDatagrams(SocketHandle socket, const DatagramSlots& slots, int timeoutMs,
                               std::size_t& taken, std::string& error) {
  taken = 0;
  if (slots.count == 0) return ReceiveStatus::Timeout;
  if (timeoutMs > 0) {
    const ReceiveStatus first =
        receiveDatagram(socket, slots.data, slots.capacity, timeoutMs, slots.lengths[0], error);
    if (first != ReceiveStatus::Datagram) return first;
    taken = 1;
  }
  const SOCKET s = static_cast<SOCKET>(socket);
  u_long queued = 0;
  u_long nonBlocking = 1;
  if (ioctlsocket(s, FIONREAD, &queued) != 0 || queued == 0 ||
      ioctlsocket(s, FIONBIO, &nonBlocking) != 0) {
    return taken > 0 ? ReceiveStatus::Datagram : ReceiveStatus::Timeout;
  }
  for (; taken < slots.count; ++taken) {
    char* slot = slots.data + taken * slots.capacity;
    const int got = recv(s, slot, static_cast<int>(slots.capacity), 0);
    if (got != SOCKET_ERROR) {
      slots.lengths[taken] = static_cast<std::size_t>(got);
      continue;
    }
    std::string fault;
    const ReceiveStatus status =
        receiveFailure(WSAGetLastError(), slots.capacity, slots.lengths[taken], fault);
    if (status == ReceiveStatus::Datagram) continue;  // cut to the slot
    // Nothing more queued; a fault after datagrams were taken shows on the next wait.
    if (status == ReceiveStatus::Error && taken == 0) {
      error = fault;
      return status;
    }
    break;
  }
  return taken > 0 ? ReceiveStatus::Datagram : ReceiveStatus::Timeout;
}

void sleepMilliseconds(unsigned milliseconds) { Sleep(milliseconds); }

double monotonicSeconds() {
  static const double ticksPerSecond = [] {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(frequency.QuadPart);
  }();
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  return static_cast<double>(now.QuadPart) / ticksPerSecond;
}

InputFile::InputFile(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    error_ = "is a folder";
    return;
  }
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                            nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    error_ = errorText(static_cast<int>(GetLastError()));
    return;
  }
  // Pipes, consoles and devices can block or never end.
  if (GetFileType(file) != FILE_TYPE_DISK) {
    error_ = "is not a regular file";
    CloseHandle(file);
    return;
  }
  handle_ = reinterpret_cast<std::intptr_t>(file);
}

InputFile::~InputFile() {
  if (good()) CloseHandle(reinterpret_cast<HANDLE>(handle_));
}

std::size_t InputFile::read(char* buffer, std::size_t capacity) {
  if (!good()) return 0;
  DWORD got = 0;
  const DWORD want = capacity > MAXDWORD ? MAXDWORD : static_cast<DWORD>(capacity);
  if (!ReadFile(reinterpret_cast<HANDLE>(handle_), buffer, want, &got, nullptr)) {
    readFailed_ = true;
    error_ = errorText(static_cast<int>(GetLastError()));
    return 0;
  }
  return got;
}

std::string readProfileString(const char* section, const char* key, const char* fallback,
                              const char* fileName) {
  char value[kProfileValueCapacity] = {};
  const DWORD length = GetPrivateProfileStringA(section, key, fallback, value,
                                                static_cast<DWORD>(sizeof value), fileName);
  return std::string(value, length);
}

void installStopHandler() { SetConsoleCtrlHandler(onConsoleEvent, TRUE); }

bool stopRequested() { return gStopRequests.load() > 0; }
unsigned stopRequests() { return gStopRequests.load(); }

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

bool resolveIpv4(const std::string& host, std::uint16_t port, UdpEndpoint& endpoint,
                 std::string& error) {
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_DGRAM;
  addrinfo* found = nullptr;
  const int result = getaddrinfo(host.c_str(), nullptr, &hints, &found);
  if (result != 0 || found == nullptr) {
    error = errorText(result);
    return false;
  }
  const auto* address = reinterpret_cast<const sockaddr_in*>(found->ai_addr);
  std::memcpy(endpoint.address, &address->sin_addr.s_addr, sizeof endpoint.address);
  endpoint.port = port;
  freeaddrinfo(found);
  return true;
}

SocketHandle openUdpSocket(std::string& error) {
  const SOCKET s = ::socket(AF_INET, SOCK_DGRAM, 0);
  if (s == INVALID_SOCKET) {
    error = errorText(WSAGetLastError());
    return kInvalidSocket;
  }
  return static_cast<SocketHandle>(s);
}

bool sendDatagram(SocketHandle socket, const UdpEndpoint& to, const char* data, std::size_t size,
                  std::string& error) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(to.port);
  std::memcpy(&address.sin_addr.s_addr, to.address, sizeof to.address);
  if (sendto(static_cast<SOCKET>(socket), data, static_cast<int>(size), 0,
             reinterpret_cast<const sockaddr*>(&address), sizeof address) == SOCKET_ERROR) {
    error = errorText(WSAGetLastError());
    return false;
  }
  return true;
}

std::uint16_t boundPort(SocketHandle socket) {
  sockaddr_in address{};
  int length = sizeof address;
  if (getsockname(static_cast<SOCKET>(socket), reinterpret_cast<sockaddr*>(&address), &length) !=
      0) {
    return 0;
  }
  return ntohs(address.sin_port);
}

void sleepUntil(double deadline) {
  // Sleep works in whole milliseconds; short slices keep a stop request noticed.
  constexpr double kSliceSeconds = 0.1;
  for (double left = deadline - monotonicSeconds(); left > 0.0 && !stopRequested();
       left = deadline - monotonicSeconds()) {
    Sleep(static_cast<DWORD>(std::ceil(std::fmin(left, kSliceSeconds) * 1000.0)));
  }
}

bool standardErrorIsTerminal() { return _isatty(_fileno(stderr)) != 0; }
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

std::string sharedLibraryFileName(const std::string& baseName) { return baseName + ".dll"; }

namespace {

// Text in the ANSI code page, in which the programs write their messages.
std::string narrow(const std::wstring& text) {
  const int length = static_cast<int>(text.size());
  const int size = WideCharToMultiByte(CP_ACP, 0, text.c_str(), length, nullptr, 0, nullptr, nullptr);
  std::string result(static_cast<std::size_t>(size > 0 ? size : 0), '\0');
  WideCharToMultiByte(CP_ACP, 0, text.c_str(), length, result.data(), size, nullptr, nullptr);
  return result;
}

std::wstring widen(const std::string& text) {
  const int length = static_cast<int>(text.size());
  const int size = MultiByteToWideChar(CP_ACP, 0, text.c_str(), length, nullptr, 0);
  std::wstring result(static_cast<std::size_t>(size > 0 ? size : 0), L'\0');
  MultiByteToWideChar(CP_ACP, 0, text.c_str(), length, result.data(), size);
  return result;
}

// The folder of the running program's file, in wide characters so that any folder name works.
bool programFolder(std::wstring& folder, std::string& error) {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) {
      error = errorText(static_cast<int>(GetLastError()));
      return false;
    }
    if (length < path.size()) {
      path.resize(length);
      break;
    }
    path.resize(path.size() * 2);  // cut short: try a longer buffer
  }
  folder = path.substr(0, path.find_last_of(L"\\/"));
  return true;
}

// The bitness a PE file is built for (PE32 or PE32+); 0 for a file that is not PE.
int peBits(const std::wstring& path) {
  constexpr DWORD kPeOffsetAt = 0x3C;     // where the MZ header keeps the PE header's offset
  constexpr DWORD kMagicFromPe = 24;      // the optional header's magic, after the file header
  constexpr unsigned kPe32 = 0x10B, kPe32Plus = 0x20B;
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 0;
  unsigned char header[4096] = {};
  DWORD got = 0;
  const BOOL read = ReadFile(file, header, sizeof header, &got, nullptr);
  CloseHandle(file);
  if (!read || got < kPeOffsetAt + 4 || header[0] != 'M' || header[1] != 'Z') return 0;
  const DWORD at = header[kPeOffsetAt] | header[kPeOffsetAt + 1] << 8 |
                   header[kPeOffsetAt + 2] << 16 |
                   static_cast<DWORD>(header[kPeOffsetAt + 3]) << 24;
  if (at > got - kMagicFromPe - 2 || std::memcmp(header + at, "PE\0\0", 4) != 0) return 0;
  const unsigned magic = header[at + kMagicFromPe] | header[at + kMagicFromPe + 1] << 8;
  return magic == kPe32 ? 32 : magic == kPe32Plus ? 64 : 0;
}

}  // namespace

std::string currentFolder() {
  const DWORD size = GetCurrentDirectoryW(0, nullptr);
  std::wstring folder(size, L'\0');
  const DWORD length = size > 0 ? GetCurrentDirectoryW(size, folder.data()) : 0;
  if (length == 0 || length >= size) return "the working folder";
  folder.resize(length);
  return narrow(folder);
}

ProgramFolderLibrary::ProgramFolderLibrary(const std::string& fileName) {
  std::wstring folder;
  std::string error;
  if (!programFolder(folder, error)) {
    folder_ = "this program's folder";
    problem_ = Problem::Unloadable;
    reason_ = "that folder cannot be found (" + error + ")";
    return;
  }
  folder_ = narrow(folder);
  const std::wstring path = folder + L"\\" + widen(fileName);
  const DWORD attributes = GetFileAttributesW(path.c_str());
  const DWORD attributesError = GetLastError();
  if (attributes == INVALID_FILE_ATTRIBUTES &&
      (attributesError == ERROR_FILE_NOT_FOUND || attributesError == ERROR_PATH_NOT_FOUND)) {
    problem_ = Problem::Missing;
    return;
  }
  // No system dialog when the file or a library it needs cannot be loaded: we say it ourselves.
  const UINT errorMode = SetErrorMode(SEM_FAILCRITICALERRORS);
  // Libraries it needs in turn are looked for in its folder first.
  HMODULE module = LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
  const DWORD loadError = GetLastError();
  SetErrorMode(errorMode);
  handle_ = module;
  if (module != nullptr) return;

  reason_ = errorText(static_cast<int>(loadError));
  const std::size_t insert = reason_.find("%1");
  if (insert != std::string::npos) reason_.replace(insert, 2, fileName);
  if (loadError == ERROR_MOD_NOT_FOUND) reason_ = "a library it needs is missing (" + reason_ + ")";
  libraryBits_ = peBits(path);
  problem_ = refusal(libraryBits_);
}

LibraryFunction ProgramFolderLibrary::function(const std::string& name) const {
  if (handle_ == nullptr) return nullptr;
  return reinterpret_cast<LibraryFunction>(GetProcAddress(static_cast<HMODULE>(handle_), name.c_str()));
}

#if BRENIK_CONVENTIONS_DIFFER
// The arguments are copied below the caller's stack pointer, 16-byte aligned as compiled code
// assumes, and the function is called; EBX keeps the stack pointer from before and ESI the one
// at the call (both are kept by either convention), so the stack is put back whoever popped the
// arguments, and ESP after the call minus ESI is what the function popped.
std::uint32_t callWithBalancedStack(const void* function, const std::uint32_t* words,
                                    std::size_t count, std::size_t& poppedBytes) {
  std::uint32_t result = 0;
  std::uint32_t popped = 0;
#if defined(__GNUC__)
  std::uint32_t counter = static_cast<std::uint32_t>(count);
  const void* target = function;
  const std::uint32_t* source = words;
  __asm__ volatile(
      "movl %%esp, %%ebx\n\t"
      "leal (,%%ecx,4), %%eax\n\t"
      "subl %%eax, %%esp\n\t"
      "andl $-16, %%esp\n\t"
      "movl %%esp, %%edi\n\t"
      "cld\n\t"
      "rep movsl\n\t"
      "movl %%esp, %%esi\n\t"
      "call *%%edx\n\t"
      "movl %%esp, %%ecx\n\t"
      "subl %%esi, %%ecx\n\t"
      "movl %%ebx, %%esp\n\t"
      : "=a"(result), "+c"(counter), "+d"(target), "+S"(source)
      :
      : "ebx", "edi", "memory", "cc");
  popped = counter;
#elif defined(_MSC_VER)
  __asm {
    mov ebx, esp
    mov ecx, count
    lea eax, [ecx * 4]
    sub esp, eax
    and esp, -16
    mov edi, esp
    mov esi, words
    cld
    rep movsd
    mov esi, esp
    call [function]
    mov ecx, esp
    sub ecx, esi
    mov esp, ebx
    mov result, eax
    mov popped, ecx
  }
#else
#error "no inline assembly for the balanced-stack call with this compiler"
#endif
  poppedBytes = popped;
  return result;
}
#endif

}  // namespace platform
