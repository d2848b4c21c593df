// The outer level of Execute: every kind of failure is logged once, by its kind,
// and the client still gets S_OK.
#include <gtest/gtest.h>

#include <stdexcept>

#include "commands/execute_guard.h"
#include "tests/testing/trace_log.h"

namespace {

constexpr vpdf::LogSource kLog("PDFConverter\\VPDFIManageAddon\\CreatePDF");

template <class Thrown>
std::string RecordFor(Thrown thrown) {
  testing_support::TraceLog log;
  EXPECT_EQ(S_OK, vpdf::RunGuarded(kLog, [&] { throw thrown; }));
  std::vector<testing_support::TraceRecord> records = log.Records();
  EXPECT_EQ(1u, records.size());
  if (records.empty()) return {};
  EXPECT_EQ(2, records[0].level);
  EXPECT_EQ("PDFConverter\\VPDFIManageAddon\\CreatePDF", records[0].source);
  return records[0].text;
}

TEST(ExecuteGuard, LogsEachKindOfFailureOnce) {
  // The text is the system's message for the code.
  std::wstring message = vpdf::ComError(E_ACCESSDENIED).Message();
  ASSERT_FALSE(message.empty());
  EXPECT_EQ("Exception in Execute, com error is: " + std::string(message.begin(), message.end()),
            RecordFor(vpdf::ComError(E_ACCESSDENIED)));
  EXPECT_EQ("Exception in Execute, exception is: disk full",
            RecordFor(std::runtime_error("disk full")));
  EXPECT_EQ("Exception in Execute, string is: no session", RecordFor(std::wstring(L"no session")));
  EXPECT_EQ("Exception in Execute, string is: no session", RecordFor(L"no session"));
  EXPECT_EQ("Exception in Execute, code is: 42", RecordFor(42));
  std::string last = RecordFor(3.5);
  EXPECT_NE(std::string::npos, last.find("execute_guard_tests.cpp(")) << last;
  EXPECT_NE(std::string::npos, last.find("): Exception in Execute")) << last;
}

TEST(ExecuteGuard, QuietWhenNothingFails) {
  testing_support::TraceLog log;
  int ran = 0;
  EXPECT_EQ(S_OK, vpdf::RunGuarded(kLog, [&] { ++ran; }));
  EXPECT_EQ(1, ran);
  EXPECT_TRUE(log.Records().empty());
}

}  // namespace
