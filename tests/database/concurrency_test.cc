// Several threads and processes appending to one table at once, with
// readers scanning meanwhile: nothing lost, nothing torn.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <set>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "xbase_fixture.h"

namespace orin {
namespace {

constexpr int kWriters = 4;
constexpr int kPerWriter = 250;

// The payload and memo of one record are functions of (writer, sequence),
// so any mix of two records' bytes shows.
std::string Payload(int writer, int seq) {
  std::string s = std::to_string(writer) + ":" + std::to_string(seq) + ":";
  while (s.size() < 60)
    s += static_cast<char>('a' + (writer * 7 + seq + s.size()) % 26);
  return s;
}
std::string Memo(int writer, int seq) {
  // From a few bytes up to three blocks.
  return Payload(writer, seq) + std::string((seq * 37) % 1400, static_cast<char>('A' + writer));
}

std::vector<XBaseFieldDefinition> Fields() {
  return {{"WRITER", kXBaseNumber, 2, 0},
          {"SEQ", kXBaseNumber, 6, 0},
          {"PAYLOAD", kXBaseCharacter, 60, 0},
          {"NOTE", kXBaseMemo, 10, 0}};
}

// Appends kPerWriter records as `writer` through its own manager and table.
bool Write(const std::string& data, int writer) {
  SimpleFileEnvironment env;
  FileManager files(&env);
  XBaseTable table(&files);
  if (!files.SetDataDirectory(data) || !table.Open(kDataArea, "shared.dbf")) return false;
  for (int seq = 0; seq < kPerWriter; ++seq) {
    table.field(0)->SetValue(std::to_string(writer));
    table.field(1)->SetValue(std::to_string(seq));
    table.field(2)->SetValue(Payload(writer, seq));
    table.field(3)->SetValue(Memo(writer, seq));
    if (!table.AppendRecord()) {
      ADD_FAILURE() << table.error();
      return false;
    }
  }
  return true;
}

// Checks record n of an open table; returns (writer, seq) or (-1, -1) with
// a failure recorded.
std::pair<int, int> Check(XBaseTable& table, uint32_t n) {
  if (!table.ReadRecord(n)) {
    ADD_FAILURE() << "record " << n << ": " << table.error();
    return {-1, -1};
  }
  int writer = std::stoi(std::string(table.field(0)->Value()));
  int seq = std::stoi(std::string(table.field(1)->Value()));
  bool whole = table.field(2)->Value() == Payload(writer, seq) &&
               table.field(3)->Value() == Memo(writer, seq) && !table.deleted();
  if (!whole) {
    ADD_FAILURE() << "record " << n << " is torn: " << table.field(2)->Value();
    return {-1, -1};
  }
  return {writer, seq};
}

class Concurrency : public XBaseTest {
 protected:
  Concurrency() {
    XBaseTable table(&files_);
    EXPECT_TRUE(table.Create(kDataArea, "shared.dbf", "", Fields())) << table.error();
  }

  std::string data() const { return tmp_ / "data"; }

  // Scans every record the header counts, again and again, until `done`.
  void Scan(const std::atomic<bool>& done, std::atomic<int>* scans) {
    SimpleFileEnvironment env;
    FileManager files(&env);
    XBaseTable table(&files);
    ASSERT_TRUE(files.SetDataDirectory(data()));
    ASSERT_TRUE(table.Open(kDataArea, "shared.dbf")) << table.error();
    while (!done) {
      ASSERT_TRUE(table.RefreshHeader()) << table.error();
      for (uint32_t n = 1; n <= table.record_count(); ++n) {
        if (Check(table, n).first < 0) return;
      }
      // One past the count: either another writer's new record, or refused.
      uint32_t next = table.record_count() + 1;
      if (table.ReadRecord(next)) {
        if (Check(table, next).first < 0) return;
      } else if (table.error() != "Invalid record number") {
        ADD_FAILURE() << table.error();
        return;
      }
      ++*scans;
    }
  }

  // Afterwards: exactly every (writer, seq) once, each whole, the count
  // right, the file ending just after the last record.
  void Verify() {
    XBaseTable table(&files_);
    ASSERT_TRUE(table.Open(kDataArea, "shared.dbf")) << table.error();
    ASSERT_EQ(table.record_count(), static_cast<uint32_t>(kWriters * kPerWriter));
    std::set<std::pair<int, int>> seen;
    std::vector<int> last(kWriters, -1);
    for (uint32_t n = 1; n <= table.record_count(); ++n) {
      auto [writer, seq] = Check(table, n);
      ASSERT_GE(writer, 0);
      EXPECT_TRUE(seen.insert({writer, seq}).second) << writer << ":" << seq;
      EXPECT_GT(seq, last[writer]) << "a writer's records out of order";
      last[writer] = seq;
    }
    EXPECT_EQ(seen.size(), static_cast<size_t>(kWriters * kPerWriter));
    std::string file = DataFile("shared.dbf");
    EXPECT_EQ(file.size(),
              table.header_length() + size_t{table.record_length()} * table.record_count() + 1);
    EXPECT_EQ(file.back(), '\x1a');
    std::string memo = DataFile("shared.dbt");
    EXPECT_GE(memo.size(), (table.next_memo_block() - 1) * 512u);
  }
};

TEST_F(Concurrency, ThreadsAppendingWithAReaderLoseAndTearNothing) {
  std::atomic<bool> done{false};
  std::atomic<int> scans{0};
  std::thread reader([&] { Scan(done, &scans); });
  std::vector<std::thread> writers;
  std::atomic<int> failed{0};
  for (int w = 0; w < kWriters; ++w) {
    writers.emplace_back([&, w] {
      if (!Write(data(), w)) ++failed;
    });
  }
  for (auto& t : writers)
    t.join();
  done = true;
  reader.join();
  EXPECT_EQ(failed, 0);
  EXPECT_GT(scans, 0);
  Verify();
}

TEST_F(Concurrency, ProcessesAppendingWithReadersLoseAndTearNothing) {
  std::vector<pid_t> children;
  for (int w = 0; w < kWriters; ++w) {
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) _exit(Write(data(), w) ? 0 : 1);
    children.push_back(pid);
  }
  // Readers start only after the forks, so no child inherits a busy thread.
  std::atomic<bool> done{false};
  std::atomic<int> scans{0};
  std::thread r1([&] { Scan(done, &scans); });
  std::thread r2([&] { Scan(done, &scans); });
  for (pid_t pid : children) {
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  done = true;
  r1.join();
  r2.join();
  EXPECT_GT(scans, 0);
  Verify();
}

TEST_F(Concurrency, RecordRewritesWaitForTheRecordLock) {
  // A record lock held elsewhere holds the rewrite back until released.
  XBaseTable table(&files_);
  ASSERT_TRUE(table.Open(kDataArea, "shared.dbf"));
  Append(table, {"1", "1", "first", "m"});
  const int64_t offset = table.header_length(), length = table.record_length();
  SimpleFileEnvironment env;
  FileManager other(&env);
  ASSERT_TRUE(other.SetDataDirectory(data()));
  auto holder = other.Open(kDataArea, "shared.dbf", kOpenRead | kOpenWrite);
  ASSERT_NE(holder, nullptr);
  ASSERT_TRUE(holder->LockRegion(offset, length, true, true));
  std::atomic<bool> updated{false};
  std::thread writer([&] {
    table.field(2)->SetValue("second");
    EXPECT_TRUE(table.UpdateRecord()) << table.error();
    updated = true;
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_FALSE(updated);
  EXPECT_NE(DataFile("shared.dbf").find("first"), std::string::npos);
  ASSERT_TRUE(holder->UnlockRegion(offset, length));
  writer.join();
  EXPECT_TRUE(updated);
  EXPECT_NE(DataFile("shared.dbf").find("second"), std::string::npos);
}

}  // namespace
}  // namespace orin
