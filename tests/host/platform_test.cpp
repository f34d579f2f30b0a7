// The plug-in's own platform calls on Linux: `open` started without a shell, the display name of
// the running process, the main thread, and the report of main-thread code running elsewhere.
#include "host/platform.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;

namespace {

// Puts the recording `open` first on PATH, writing to a file of this test.
class OpenUrl : public testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/orvik-open-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    if (const char* path = std::getenv("PATH")) savedPath_ = path;
    SetPath(std::string(ORVIK_SOURCE_DIR) + "/tools/fake-open:" + savedPath_);
    setenv("ORVIK_OPEN_LOG", (dir_ + "/opened").c_str(), 1);
  }
  void TearDown() override {
    SetPath(savedPath_);
    unsetenv("ORVIK_OPEN_LOG");
    fs::remove_all(dir_);
  }
  static void SetPath(const std::string& path) { setenv("PATH", path.c_str(), 1); }
  std::vector<std::string> Opened() const {
    std::vector<std::string> lines;
    std::ifstream in(dir_ + "/opened");
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }

  std::string dir_;
  std::string savedPath_;
};

TEST_F(OpenUrl, TheUrlReachesOpenAsOneArgumentUntouchedByAShell) {
  const std::string trap = dir_ + "/trap";
  const std::vector<std::string> urls = {
      "orvik-kelm://cad/open?clientId=1&clientName=My%20CAD&route=settings",
      "a b  c *",        // blanks do not split it, nor is it expanded as file names
      "it's \"quoted\"",  // quotes do not end it
      "$(touch " + trap + "); `touch " + trap + "` && x | y > " + trap,  // no substitution, separators or redirections
      "-n \xE5\x9B\xBE \\n %s",  // an option-like URL, bytes and escapes pass as they are
  };
  for (const std::string& url : urls) OrvikOpenUrl(url);
  std::vector<std::string> expected;
  for (const std::string& url : urls) expected.push_back("open URL " + url);
  EXPECT_EQ(Opened(), expected);  // each call has returned only after `open` ended
  EXPECT_FALSE(fs::exists(trap));
}

TEST_F(OpenUrl, WithoutAnOpenProgramNothingHappens) {
  // Other programs that could open a URL wait on the PATH, recording as `open` would: none may
  // be run instead. The failure is reported, once a call.
  const fs::path recorder = fs::path(ORVIK_SOURCE_DIR) / "tools" / "fake-open" / "open";
  for (const char* other : {"xdg-open", "gio", "sensible-browser", "x-www-browser", "sh"})
    fs::copy_file(recorder, fs::path(dir_) / other);
  SetPath(dir_);
  testing::internal::CaptureStderr();
  OrvikOpenUrl("orvik-kelm://cad/open");
  SetPath("");
  OrvikOpenUrl("orvik-kelm://cad/open");
  const std::string reported = testing::internal::GetCapturedStderr();
  EXPECT_TRUE(Opened().empty());
  size_t reports = 0;
  for (size_t at = reported.find("cannot run open for orvik-kelm://cad/open"); at != std::string::npos;
       at = reported.find("cannot run open for", at + 1))
    ++reports;
  EXPECT_EQ(reports, 2u) << reported;
}

TEST(Platform, TheDisplayNameIsTheProgramsName) {
  // ctest starts the program by its full path; the name is its last component.
  EXPECT_EQ(OrvikProcessDisplayName(), "test_host");
}

std::atomic<int> g_violations{0};
void CountViolation(const char*) { g_violations.fetch_add(1); }

void MainThreadOnly() { ORVIK_ASSERT_MAIN_THREAD(); }

TEST(Platform, MainThreadCodeRunOnAnotherThreadReachesTheHook) {
  g_violations = 0;
  OrvikThreadViolationHook previous = OrvikSetThreadViolationHook(CountViolation);
  ASSERT_NE(previous, nullptr) << "the test programs' own hook is installed";
  MainThreadOnly();  // the process's first thread is the main thread
  EXPECT_EQ(g_violations.load(), 0);
  std::thread(MainThreadOnly).join();  // no other thread is
  std::thread(MainThreadOnly).join();
  EXPECT_EQ(g_violations.load(), 2);
  EXPECT_EQ(OrvikSetThreadViolationHook(previous), CountViolation);
}

}  // namespace
