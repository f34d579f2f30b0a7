// The drawings make_frame_drawings.py writes with ezdxf, made once per version of the script and
// shared by every test process, and a fixture that opens one of them in a fresh simulated host.
#pragma once

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "cadsim/control.h"

inline std::string FrameDrawingsDir() {
  static const std::string dir = [] {
    const std::string script = std::string(ORVIK_SOURCE_DIR) + "/tests/frames/make_frame_drawings.py";
    struct stat info {};
    if (::stat(script.c_str(), &info) != 0) return std::string();
    const std::string finalDir = std::string(ORVIK_BINARY_DIR) + "/frame-drawings-" +
                                 std::to_string(static_cast<long long>(info.st_mtime));
    if (::access((finalDir + "/frames.dxf").c_str(), R_OK) == 0) return finalDir;
    std::string scratch = std::string(ORVIK_BINARY_DIR) + "/frame-drawings-XXXXXX";
    if (::mkdtemp(scratch.data()) == nullptr) return std::string();
    const std::string command = "/usr/bin/python3 '" + script + "' '" + scratch + "'";
    if (std::system(command.c_str()) != 0) return std::string();
    // Another test process may have won the race; either copy is good.
    if (std::rename(scratch.c_str(), finalDir.c_str()) != 0) std::system(("rm -rf '" + scratch + "'").c_str());
    return finalDir;
  }();
  return dir;
}

// Every test leaves no object open and no host fault.
class FrameDrawingTest : public ::testing::Test {
 protected:
  void SetUp() override { cadsim::reset(); }
  void TearDown() override {
    EXPECT_EQ(cadsim::openObjects(), std::vector<std::string>());
    EXPECT_EQ(cadsim::faultLog(), std::vector<std::string>());
  }
  // Opens one of the drawings (by file name) as the active drawing.
  AcDbDatabase* Open(const std::string& name) {
    const std::string dir = FrameDrawingsDir();
    EXPECT_FALSE(dir.empty()) << "make_frame_drawings.py failed";
    int status = 0;
    doc = cadsim::openDrawing(dir + "/" + name, &status);
    EXPECT_NE(doc, nullptr) << name << " status " << status;
    db = doc ? cadsim::databaseOf(doc) : nullptr;
    return db;
  }
  AcApDocument* doc = nullptr;
  AcDbDatabase* db = nullptr;
};
