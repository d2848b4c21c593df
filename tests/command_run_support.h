// Set-up for the tests that run a command's Update and Execute on the testbed's DMS objects
// and helper programs (a harness::CommandWorld), no DMS profile file unless a test writes
// one, and the checks that every test ends with (the temporary folder as it was found, every
// client object released).
#pragma once
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "IManExt.h"
#include "convutils/comutil.h"
#include "tests/settings_support.h"
#include "tests/testing/harness.h"
#include "tests/testing/registry.h"

namespace testing_support {

// A test in a harness::CommandWorld of its own: its working folder made, and at the end gone
// with the helpers that nobody waits for, and the temporary folder as it was found.
class WorldTest : public CleanTempFolderTest {
 protected:
  void SetUp() override {
    CleanTempFolderTest::SetUp();
    ASSERT_TRUE(world.CreateWork());
  }
  void TearDown() override {
    EXPECT_EQ(L"", world.Settle());
    const std::error_code error = world.RemoveWork();
    EXPECT_FALSE(error) << error.message();
    CleanTempFolderTest::TearDown();
  }
  static std::wstring NextWorkName() {
    static int counter = 0;
    return L"cmdrun" + std::to_wstring(GetCurrentProcessId()) + L"_" + std::to_wstring(++counter);
  }

  harness::CommandWorld world{NextWorkName()};
};

// A test that runs a command of type `Command` (linked in, created with new) with a context
// collection of the testbed.
template <class Command>
class CommandRunTest : public WorldTest {
 protected:
  void SetUp() override {
    WorldTest::SetUp();
    journal.Clear();
    NewCommand();
  }

  void TearDown() override {
    // Helpers that nobody waits for must be gone before their journal and folders go.
    EXPECT_EQ(L"", world.Settle());
    m_command.Reset();
    m_context.Reset();
    world.Release();
    EXPECT_EQ(0, tb::LiveObjects()) << "a client object was not released";
    WorldTest::TearDown();
  }

  // A new command object (the old one gone first) with a new, empty context collection.
  void NewCommand() {
    m_command.Reset();
    m_command = vpdf::ComPtr<Command>(new Command);
    ASSERT_EQ(S_OK, tb::NewContextItems(m_context.Put()));
    ASSERT_EQ(S_OK, m_command->Initialize(m_context.Get()));
  }
  // A table's next row: a new command, and the world's journal, controls and client reset.
  void NewRow() {
    NewCommand();
    world.Reset();
  }

  void SetUILanguage(DWORD language) { world.SetUILanguage(language); }
  std::wstring Work(const std::wstring& name) const { return world.Work(name); }
  tb::Document* Doc(const std::wstring& name, const std::wstring& extension,
                    const std::string& content = "content\r\n", long number = 0) {
    return world.Doc(name, extension, content, number);
  }
  tb::AutoObject* Keep(tb::AutoObject* object) { return world.Keep(object); }
  void Select(const wchar_t* item, const std::vector<IDispatch*>& objects) {
    ASSERT_EQ(S_OK, harness::Select(m_context.Get(), item, objects));
  }
  void SelectUnreadable(const wchar_t* item) {
    ASSERT_EQ(S_OK, harness::SelectUnreadable(m_context.Get(), item));
  }
  bool Refreshed() const { return harness::Refreshed(m_context.Get()); }
  // What the run changed (harness::Changes) once the helpers are done, and "refresh" last
  // when the command asked the client to refresh its view.
  std::wstring Effects() const { return world.Effects() + (Refreshed() ? L"refresh\n" : L""); }

  ScopedProfileIni m_profileIni;  // no DMS profile file unless a test writes one
  // The world's parts under the names the tests use.
  testbed::AgentJournal& journal = world.journal;
  const std::wstring& m_work = world.work;
  vpdf::ComPtr<Command> m_command;
  vpdf::ComPtr<IContextItems> m_context;
};

}  // namespace testing_support
