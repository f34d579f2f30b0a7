// A new drawing in a fresh simulated host; every test must leave no object open and no host fault.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cadsim/control.h"

class NewDrawingTest : public ::testing::Test {
 protected:
  void SetUp() override {
    cadsim::reset();
    doc = cadsim::newDrawing();
    db = cadsim::databaseOf(doc);
  }
  void TearDown() override {
    EXPECT_EQ(cadsim::openObjects(), std::vector<std::string>());
    EXPECT_EQ(cadsim::faultLog(), std::vector<std::string>());
  }
  AcApDocument* doc = nullptr;
  AcDbDatabase* db = nullptr;
};
