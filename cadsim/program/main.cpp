// The simulated CAD application: opens the drawings named on its command line, loads the plug-in
// bundle, runs the host's main thread, types each line of standard input at the active drawing's
// command line and prints the command line to standard output. QUIT, end of input, SIGINT or
// SIGTERM unload the bundle and end the program with status 0.
#include <dlfcn.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cmath>
#include <chrono>
#include <cstdlib>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <deque>
#include <iostream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "cadsim/control.h"

namespace {

std::atomic<bool> g_stop{false};

void onSignal(int) { g_stop.store(true); }

struct InputQueue {
  std::mutex mutex;
  std::deque<std::string> lines;
  bool eof = false;
};

InputQueue& input() {
  static InputQueue* q = new InputQueue();  // the reader thread may outlive main
  return *q;
}

void readStandardInput() {
  std::string line;
  while (std::getline(std::cin, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    {
      std::lock_guard<std::mutex> lock(input().mutex);
      input().lines.push_back(line);
    }
    cadsim::wake();
  }
  {
    std::lock_guard<std::mutex> lock(input().mutex);
    input().eof = true;
  }
  cadsim::wake();
}

void flushOutput() {
  for (const std::string& line : cadsim::takeOutputLines()) {
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fputc('\n', stdout);
  }
  std::fflush(stdout);
}

void usage(const char* program) {
  std::printf(
      "usage: %s [--new] [--display-name NAME] [--bundle PATH|none] [--fonts DIR]\n"
      "          [--plot-catalogue FILE] [--runtime-port PORT] [DRAWING...]\n"
      "  Opens each DRAWING in order (the last one active): a DXF file is read, a name without a\n"
      "  file gives an empty drawing of that name; --new adds an unsaved Drawing1.dwg. Font files\n"
      "  are those in DIR (--fonts), else a built-in list (txt.shx, simplex.shx, gbcbig.shx, ...).\n"
      "  Then loads the plug-in bundle (default: OrvikCad.bundle beside this program) and types\n"
      "  each line of standard input at the active drawing's command line. --display-name runs the\n"
      "  program under NAME (its argv[0]), the process name the plug-in reports.\n"
      "  --plot-catalogue FILE replaces the built-in plot devices, media and style tables (format:\n"
      "  cadsim/control/plot.h).\n"
      "  --runtime-port PORT makes the plug-in probe PORT instead of the service's default port\n"
      "  before it reads the discovery file, so a service on the default port cannot capture it.\n"
      "  Host commands: NEW, OPEN <path>, CLOSE, ACTIVATE <title|path|number>, DOCS, REGENALL,\n"
      "  QUIT, and AutoLISP: (setvar \"CTAB\" \"Layout1\"), (getvar \"CTAB\"), (princ \"...\"),\n"
      "  (command \"_REGENALL\").\n"
      "  Test aids: OPENHOLD <path> (a drawing that stays in the middle of opening), OPENRELEASE,\n"
      "  PAUSE <ms> (a long command: nothing else runs meanwhile), HOLD <file> (a command that\n"
      "  lasts until the file exists, at most a minute), PLOTSTATE BUSY|IDLE (the host plotting on\n"
      "  its own, or not).\n"
      "  Lines that arrive together are typed one after another before the host turns to\n"
      "  other work, as type-ahead is in the host.\n"
      "  Host-side lines (handled by the host itself, never typed, no command events):\n"
      "    FAULT <name> <status> [once|always|nth N]  makes a host call fail (name or\n"
      "        name:argument, e.g. acdbOpenObject:AcDbLayout, getName:AcDbBlockTableRecord)\n"
      "    DELAY <name> <ms>         makes every call of that name that long (0 ends it)\n"
      "    GATE <name> <file>        holds the next call of that name: it creates FILE.reached\n"
      "        and waits until FILE exists (at most a minute)\n"
      "    CLEARFAULTS               drops every fault, delay and gate\n"
      "    READONLYOPEN honour|ignore  whether a read-only open is honoured\n"
      "    VIEW dx dy dz tx ty tz twist  the active drawing's current view: direction,\n"
      "        target, twist in radians\n"
      "    VIEWSHOW                  prints the active drawing's current view on one line\n"
      "    SSCOUNT                   prints the live selection sets and open objects\n",
      program);
}

std::string defaultBundle(const char* argv0) {
  char buf[4096];
  ssize_t n = readlink("/proc/self/exe", buf, sizeof(buf) - 1);
  std::string self = n > 0 ? std::string(buf, static_cast<size_t>(n)) : std::string(argv0);
  size_t slash = self.find_last_of('/');
  std::string dir = slash == std::string::npos ? "." : self.substr(0, slash);
  return dir + "/OrvikCad.bundle";
}

typedef AcRx::AppRetCode (*EntryPoint)(AcRx::AppMsgCode, void*);

void defineProgramCommands() {
  // Test aids: a drawing held in the middle of its opening, and a long-running command during
  // which the host runs nothing else.
  cadsim::defineBuiltinCommand("OPENHOLD", [](const std::string& path) { cadsim::beginOpen(path); });
  cadsim::defineBuiltinCommand("OPENRELEASE", [](const std::string&) {
    for (AcApDocument* doc : cadsim::documents()) cadsim::finishOpen(doc);
  });
  cadsim::defineBuiltinCommand("PAUSE", [](const std::string& ms) {
    int wait = ms.empty() ? 1000 : std::atoi(ms.c_str());
    std::this_thread::sleep_for(std::chrono::milliseconds(std::max(0, std::min(wait, 60000))));
  });
  // A command that lasts until a file exists (at most a minute): a test decides when the host may
  // go on, e.g. once every request it sent has been admitted, however slowly the machine runs.
  cadsim::defineBuiltinCommand("HOLD", [](const std::string& path) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (access(path.c_str(), F_OK) != 0 && std::chrono::steady_clock::now() < deadline)
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
  });
  cadsim::defineBuiltinCommand("PLOTSTATE", [](const std::string& state) {
    if (state != "BUSY" && state != "IDLE") throw std::runtime_error("PLOTSTATE wants BUSY or IDLE.");
    cadsim::setHostPlotInProgress(state == "BUSY");
  });
  cadsim::defineBuiltinCommand("ACTIVATE", [](const std::string& which) {
    std::vector<AcApDocument*> docs = cadsim::documents();
    AcApDocument* target = cadsim::findDocument(which);
    if (!target && !which.empty() && which.find_first_not_of("0123456789") == std::string::npos) {
      size_t index = std::stoul(which);
      if (index >= 1 && index <= docs.size()) target = docs[index - 1];
    }
    if (!target) throw std::runtime_error("No open drawing \"" + which + "\".");
    cadsim::activate(target);
  });
  cadsim::defineBuiltinCommand("DOCS", [](const std::string&) {
    std::vector<AcApDocument*> docs = cadsim::documents();
    AcApDocument* active = acDocManagerPtr() ? acDocManagerPtr()->mdiActiveDocument() : nullptr;
    std::string text;
    for (size_t i = 0; i < docs.size(); ++i) {
      text += (docs[i] == active ? "* " : "  ") + std::to_string(i + 1) + " " +
              cadsim::titleUtf8(docs[i]) + "  " + cadsim::fileNameUtf8(docs[i]) + "\n";
    }
    if (docs.empty()) text = "No drawings are open.\n";
    std::wstring w = cadsim::widen(text);
    acutPrintf(L"%s", w.c_str());
  });
}

std::vector<std::string> words(const std::string& line) {
  std::vector<std::string> out;
  size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
    size_t start = i;
    while (i < line.size() && line[i] != ' ' && line[i] != '\t') ++i;
    if (i > start) out.push_back(line.substr(start, i - start));
  }
  return out;
}

bool parseInt(const std::string& text, long* out) {
  char* end = nullptr;
  errno = 0;
  long v = std::strtol(text.c_str(), &end, 10);
  if (errno != 0 || end == text.c_str() || *end != '\0') return false;
  *out = v;
  return true;
}

bool parseReal(const std::string& text, double* out) {
  char* end = nullptr;
  double v = std::strtod(text.c_str(), &end);
  if (end == text.c_str() || *end != '\0' || !std::isfinite(v)) return false;
  *out = v;
  return true;
}

std::string real(double v) {
  char text[64];
  std::snprintf(text, sizeof(text), "%.6g", v);
  return text;
}

// Lines for the host itself, not the command line: they plant faults, set the view and report
// host state without raising command events the plug-in would hear. False for any other line.
bool hostSideLine(const std::string& line) {
  const std::vector<std::string> w = words(line);
  if (w.empty()) return false;
  const std::string& verb = w[0];
  auto reply = [](const std::string& text) { std::printf("%s\n", text.c_str()); };
  if (verb == "FAULT") {
    long status = 0, nth = 1;
    const std::string mode = w.size() > 3 ? w[3] : "once";
    bool ok = w.size() >= 3 && parseInt(w[2], &status);
    if (ok && mode == "nth") ok = w.size() == 5 && parseInt(w[4], &nth) && nth >= 1;
    else if (ok) ok = w.size() <= 4 && (mode == "once" || mode == "always");
    if (!ok) {
      reply("FAULT needs: FAULT name status [once|always|nth N]");
      return true;
    }
    if (mode == "nth") cadsim::failNthCall(w[1], static_cast<size_t>(nth), static_cast<int>(status));
    else cadsim::failCall(w[1], static_cast<int>(status), mode == "always");
    reply("Fault planted: " + w[1] + " " + std::to_string(status) + " " + mode +
          (mode == "nth" ? " " + std::to_string(nth) : ""));
    return true;
  }
  if (verb == "DELAY") {
    long ms = 0;
    if (w.size() != 3 || !parseInt(w[2], &ms) || ms < 0 || ms > 600000) {
      reply("DELAY needs: DELAY name milliseconds");
      return true;
    }
    cadsim::delayCall(w[1], static_cast<int>(ms));
    reply("Delay set: " + w[1] + " " + std::to_string(ms) + " ms");
    return true;
  }
  if (verb == "GATE") {
    if (w.size() != 3) {
      reply("GATE needs: GATE name release-file");
      return true;
    }
    cadsim::gateCall(w[1], w[2]);
    reply("Gate set: " + w[1]);
    return true;
  }
  if (verb == "CLEARFAULTS") {
    cadsim::clearFaults();
    reply("Faults cleared.");
    return true;
  }
  if (verb == "READONLYOPEN") {
    if (w.size() != 2 || (w[1] != "honour" && w[1] != "ignore")) {
      reply("READONLYOPEN needs: READONLYOPEN honour|ignore");
      return true;
    }
    cadsim::setReadOnlyOpenHonoured(w[1] == "honour");
    reply("Read-only opens " + std::string(w[1] == "honour" ? "honoured." : "ignored."));
    return true;
  }
  AcApDocManager* manager = acDocManagerPtr();
  AcApDocument* active = manager ? manager->mdiActiveDocument() : nullptr;
  if (verb == "VIEW") {
    double v[7] = {};
    bool ok = w.size() == 8;
    for (size_t i = 0; ok && i < 7; ++i) ok = parseReal(w[i + 1], &v[i]);
    if (!ok || (v[0] == 0 && v[1] == 0 && v[2] == 0)) {
      reply("VIEW needs: VIEW dx dy dz tx ty tz twist (a direction that is not zero)");
      return true;
    }
    if (!active) {
      reply("No drawing is active.");
      return true;
    }
    cadsim::ViewState view = cadsim::currentView(active);
    view.direction = AcGeVector3d(v[0], v[1], v[2]);
    view.target = AcGePoint3d(v[3], v[4], v[5]);
    view.twist = v[6];
    cadsim::setView(active, view);
    reply("View set.");
    return true;
  }
  if (verb == "VIEWSHOW") {
    if (!active) {
      reply("No drawing is active.");
      return true;
    }
    const cadsim::ViewState v = cadsim::currentView(active);
    reply("View: direction " + real(v.direction.x) + "," + real(v.direction.y) + "," + real(v.direction.z) +
          " target " + real(v.target.x) + "," + real(v.target.y) + "," + real(v.target.z) + " twist " +
          real(v.twist) + " center " + real(v.center.x) + "," + real(v.center.y) + " size " +
          real(v.width) + "x" + real(v.height) + (v.paperSpaceView ? " paper" : " model"));
    return true;
  }
  if (verb == "SSCOUNT") {
    reply("Selection sets: " + std::to_string(cadsim::liveSelectionSets()) +
          ", open objects: " + std::to_string(cadsim::openObjectCount()));
    return true;
  }
  return false;
}

// The plug-in takes the process's display name from argv[0], as the platform reports it; the
// program gets a chosen name by starting itself again under it (same process id, same streams),
// without the option, so it happens once.
void restartAs(const std::string& name, int argc, char** argv, int optionIndex) {
  std::vector<char*> args;
  args.push_back(const_cast<char*>(name.c_str()));
  for (int i = 1; i < argc; ++i)
    if (i != optionIndex && i != optionIndex + 1) args.push_back(argv[i]);
  args.push_back(nullptr);
  execv("/proc/self/exe", args.data());
  std::fprintf(stderr, "cannot restart as \"%s\": %s\n", name.c_str(), std::strerror(errno));
}

// 1..65535, or 0 for anything else.
int parsePort(const char* text) {
  char* end = nullptr;
  errno = 0;
  const long port = std::strtol(text, &end, 10);
  if (errno != 0 || end == text || *end != '\0' || port < 1 || port > 65535) return 0;
  return static_cast<int>(port);
}

// The bundle's own test hook for the default port (link/runtime_discovery.h), looked up by its
// C++ name: the plug-in has no other interface the host could set it through, and it must be set
// before the entry point starts the connection.
bool moveRuntimePort(void* bundle, int port) {
  using SetPort = void (*)(int);
  const auto set = reinterpret_cast<SetPort>(dlsym(bundle, "_Z31SetDefaultRuntimePortForTestingi"));
  if (set == nullptr) return false;
  set(port);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
  bool makeNew = false;
  std::string bundle = defaultBundle(argv[0]);
  std::vector<std::string> drawings;
  std::string fonts;
  std::string plotCatalogue;
  int runtimePort = 0;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "--new") {
      makeNew = true;
    } else if (a == "--display-name" && i + 1 < argc) {
      restartAs(argv[i + 1], argc, argv, i);
      ++i;  // the restart failed: go on under the program's own name
    } else if (a == "--bundle" && i + 1 < argc) {
      bundle = argv[++i];
    } else if (a == "--fonts" && i + 1 < argc) {
      fonts = argv[++i];
    } else if (a == "--plot-catalogue" && i + 1 < argc) {
      plotCatalogue = argv[++i];
    } else if (a == "--runtime-port" && i + 1 < argc) {
      runtimePort = parsePort(argv[++i]);
      if (runtimePort == 0) {
        std::fprintf(stderr, "--runtime-port needs a port from 1 to 65535, not \"%s\"\n", argv[i]);
        return 2;
      }
    } else if (a == "--help" || a == "-h") {
      usage(argv[0]);
      return 0;
    } else if (a.rfind("--", 0) == 0) {
      std::fprintf(stderr, "unknown option %s\n", a.c_str());
      usage(argv[0]);
      return 2;
    } else {
      drawings.push_back(a);
    }
  }

  std::signal(SIGINT, onSignal);
  std::signal(SIGTERM, onSignal);
  std::signal(SIGPIPE, SIG_IGN);

  cadsim::reset();
  if (!fonts.empty()) cadsim::setFontFolder(fonts);
  if (!plotCatalogue.empty()) {
    std::string error;
    if (!cadsim::loadPlotCatalogueFile(plotCatalogue, &error)) {
      std::fprintf(stderr, "%s\n", error.c_str());
      return 2;
    }
  }
  defineProgramCommands();
  for (const std::string& d : drawings) {
    int status = 0;
    if (!cadsim::openDrawing(d, &status))
      std::printf("Cannot open %s (status %d).\n", d.c_str(), status);
  }
  if (makeNew) cadsim::newDrawing();
  cadsim::runUntilIdle();
  flushOutput();

  void* handle = nullptr;
  EntryPoint entry = nullptr;
  if (bundle != "none") {
    handle = dlopen(bundle.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
      std::printf("Cannot load %s: %s\n", bundle.c_str(), dlerror());
    } else {
      entry = reinterpret_cast<EntryPoint>(dlsym(handle, "acrxEntryPoint"));
      if (!entry) std::printf("%s has no acrxEntryPoint.\n", bundle.c_str());
      if (entry && runtimePort != 0 && !moveRuntimePort(handle, runtimePort)) {
        std::fprintf(stderr, "%s cannot move the runtime port\n", bundle.c_str());
        return 2;
      }
      if (entry) entry(AcRx::kInitAppMsg, handle);
    }
  }

  std::thread reader(readStandardInput);
  reader.detach();  // blocked in a read of standard input until the process ends

  while (!g_stop.load()) {
    // Type-ahead: every line that has arrived, including lines that arrive while an earlier one
    // runs, is typed before the host turns to other work.
    bool typed = false;
    bool eof = false;
    for (;;) {
      std::string line;
      {
        std::lock_guard<std::mutex> lock(input().mutex);
        eof = input().eof;
        if (input().lines.empty()) break;
        line = input().lines.front();
        input().lines.pop_front();
      }
      typed = true;
      std::string trimmed = line;
      while (!trimmed.empty() && (trimmed.back() == ' ' || trimmed.back() == '\t')) trimmed.pop_back();
      if (trimmed == "QUIT" || trimmed == "quit") {
        g_stop.store(true);
        break;
      }
      std::printf("Command: %s\n", line.c_str());
      if (hostSideLine(trimmed)) continue;
      cadsim::typeLine(line);
      flushOutput();
    }
    if (g_stop.load() || (eof && !typed)) break;
    cadsim::runUntilIdle();
    flushOutput();
    cadsim::waitForWork(50);
  }

  cadsim::runUntilIdle();
  if (entry) entry(AcRx::kUnloadAppMsg, handle);
  // Callbacks the plug-in posted before it unloaded run now, while its code is still mapped.
  cadsim::runUntilIdle();
  flushOutput();
  if (handle) dlclose(handle);
  for (const std::string& f : cadsim::faultLog())
    if (!f.empty()) std::fprintf(stderr, "[cadsim] host fault: %s\n", f.c_str());
  // The drawings go without events (the plug-in is gone) but with their lock files, as when the
  // host quits.
  cadsim::reset();
  std::fflush(stdout);
  std::_Exit(0);  // the detached reader may still be blocked in a read
}
