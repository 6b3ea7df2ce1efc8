#pragma once
#include <gtest/gtest.h>

// Gives every test an empty per-user store of its own: a fresh config folder
// on Linux, an emptied registry key on Windows.
void IsolateStore();

class StoreTest : public ::testing::Test {
 protected:
  void SetUp() override { IsolateStore(); }
};
