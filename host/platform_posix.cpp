// The platform calls on POSIX systems. macOS is the product's platform; the Linux parts exist so that
// the same file is built and tested with the simulated host.
#include "host/platform.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#if defined(__APPLE__)
#include <crt_externs.h>
#include <objc/message.h>
#include <objc/runtime.h>
#include <pthread.h>
#elif defined(__linux__)
#include <sys/syscall.h>
#else
#error "no platform code for this system"
#endif

#if !defined(__APPLE__)
extern char** environ;
#endif

namespace {

std::atomic<OrvikThreadViolationHook> g_violationHook{nullptr};

char** Environment() {
#if defined(__APPLE__)
  // A bundle cannot refer to `environ`: only the main executable gets that symbol.
  return *_NSGetEnviron();
#else
  return environ;
#endif
}

#if !defined(__APPLE__)
// argv[0] as the process was started with it: the first NUL-terminated string of its command line.
std::string Argv0() {
  int fd = open("/proc/self/cmdline", O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::string();
  std::string text;
  char buf[512];
  while (text.size() < 4096 && text.find('\0') == std::string::npos) {
    ssize_t n = read(fd, buf, sizeof(buf));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    text.append(buf, static_cast<size_t>(n));
  }
  close(fd);
  return text.substr(0, text.find('\0'));
}
#endif

}  // namespace

const char* const kOrvikThreadViolationMarker = "main-thread code ran on another thread";

void OrvikOpenUrl(const std::string& url) {
  // The URL travels as one argument and no shell sees it, so nothing in it can become a command.
  std::string program = "open";
  std::string argument = url;
  char* argv[] = {&program[0], &argument[0], nullptr};

  // The child starts with default signal handling and no blocked signals, whatever the host set
  // for itself (hosts commonly ignore SIGPIPE).
  posix_spawnattr_t attributes;
  if (posix_spawnattr_init(&attributes) != 0) return;
  sigset_t none;
  sigset_t defaults;
  sigemptyset(&none);
  sigemptyset(&defaults);
  sigaddset(&defaults, SIGPIPE);
  posix_spawnattr_setsigmask(&attributes, &none);
  posix_spawnattr_setsigdefault(&attributes, &defaults);
  posix_spawnattr_setflags(&attributes, static_cast<short>(POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF));

  pid_t child = -1;
  const int error = posix_spawnp(&child, program.c_str(), nullptr, &attributes, argv, Environment());
  posix_spawnattr_destroy(&attributes);
  if (error != 0) {
    std::fprintf(stderr, "[Orvik] cannot run open for %s: %s\n", url.c_str(), std::strerror(error));
    return;
  }
  // A host that reaps its children itself takes the status first (ECHILD); that is fine.
  int status = 0;
  while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
}

std::string OrvikProcessDisplayName() {
#if defined(__APPLE__)
  // The application runtime is reached through the C interface of the object runtime, so that the
  // plug-in needs no Objective-C sources. objc_msgSend must be called through a pointer of the exact
  // type of each method.
  using ClassWithPid = id (*)(id, SEL, pid_t);
  using ObjectMethod = id (*)(id, SEL);
  using CStringMethod = const char* (*)(id, SEL);
  auto runningApplication = objc_getClass("NSRunningApplication");  // Class, or id in older SDKs
  if (runningApplication == nullptr) return std::string();
  id application = reinterpret_cast<ClassWithPid>(objc_msgSend)(
      reinterpret_cast<id>(runningApplication), sel_registerName("runningApplicationWithProcessIdentifier:"), getpid());
  if (application == nullptr) return std::string();
  id name = reinterpret_cast<ObjectMethod>(objc_msgSend)(application, sel_registerName("localizedName"));
  if (name == nullptr) return std::string();
  const char* utf8 = reinterpret_cast<CStringMethod>(objc_msgSend)(name, sel_registerName("UTF8String"));
  return utf8 != nullptr ? std::string(utf8) : std::string();
#else
  const std::string argv0 = Argv0();
  const size_t slash = argv0.find_last_of('/');
  return slash == std::string::npos ? argv0 : argv0.substr(slash + 1);
#endif
}

bool OrvikIsMainThread() {
#if defined(__APPLE__)
  return pthread_main_np() != 0;
#else
  // The first thread of a Linux process has the process's id as its thread id.
  return static_cast<pid_t>(syscall(SYS_gettid)) == getpid();
#endif
}

void OrvikReportThreadViolation(const char* function) {
  std::fprintf(stderr, "[Orvik] BUG: %s: %s\n", kOrvikThreadViolationMarker, function != nullptr ? function : "?");
  if (OrvikThreadViolationHook hook = g_violationHook.load()) hook(function);
}

OrvikThreadViolationHook OrvikSetThreadViolationHook(OrvikThreadViolationHook hook) {
  return g_violationHook.exchange(hook);
}
