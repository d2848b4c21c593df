// The testbed's harness (testbed/harness) under the names the tests use.
#pragma once
#include <gtest/gtest.h>

#include <vector>

#include "testbed/harness/answerer.h"
#include "testbed/harness/changes.h"
#include "testbed/harness/command_world.h"

namespace testing_support {

using harness::DialogDriver, harness::VisibleWindowOf, harness::Control, harness::Click,
    harness::Checked, harness::Enabled, harness::Visible, harness::Text, harness::Rows,
    harness::ColumnTitles, harness::SelectRow, harness::ClientRect, harness::ControlRect,
    harness::WindowSize, harness::ResizeWindow;
using harness::kRunProductKey, harness::kRunProductKey32, harness::kRunConfigKey,
    harness::ChildProcesses, harness::WaitForChildren, harness::ReadBytes, harness::WriteText,
    harness::QuotedParts;

// A test holding testbed objects of its own: released at its end, when no client object may
// be left alive.
class KeepingTest : public testing::Test {
 protected:
  void TearDown() override {
    for (IDispatch* object : m_kept) object->Release();
    EXPECT_EQ(0, tb::LiveObjects()) << "a client object was not released";
  }
  template <class T>
  T* Keep(T* object) {
    m_kept.push_back(object);
    return object;
  }

 private:
  std::vector<IDispatch*> m_kept;
};

}  // namespace testing_support
