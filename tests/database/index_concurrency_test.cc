// Several processes adding, rewriting and deleting records through one
// table and one index at once: afterwards the index and the table agree.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <random>
#include <set>
#include <string>
#include <vector>

#include "database/xbase_index.h"
#include "xbase_fixture.h"

namespace orin {
namespace {

constexpr int kProcesses = 4;
constexpr int kOperations = 300;

// One process: appends, rewrites the key of one of its own records, or
// deletes one (marking the record and removing its entry).
bool Work(const std::string& data, int worker) {
  SimpleFileEnvironment env;
  FileManager files(&env);
  XBaseTable table(&files);
  XBaseIndex index(&files);
  if (!files.SetDataDirectory(data) || !table.Open(kDataArea, "shared.dbf") ||
      !index.Open(kDataArea, "shared.idx")) {
    return false;
  }
  std::mt19937 random(static_cast<unsigned>(worker * 7919));
  std::vector<uint32_t> mine;
  auto fail = [](const std::string& text) {
    fprintf(stderr, "%s\n", text.c_str());
    return false;
  };
  for (int op = 0; op < kOperations; ++op) {
    uint32_t choice = random() % 10;
    std::string key = "w" + std::to_string(worker) + "-" + std::to_string(op);
    if (mine.empty() || choice < 5) {
      table.field(0)->SetValue(key);
      if (!table.AppendRecord()) return fail(table.error());
      if (!index.Insert(table.field(0)->Value(), table.current_record())) {
        return fail(index.error());
      }
      mine.push_back(table.current_record());
      continue;
    }
    size_t pick = random() % mine.size();
    uint32_t n = mine[pick];
    if (!table.ReadRecord(n)) return fail(table.error());
    std::string old_key(table.field(0)->Value());
    if (choice < 8) {
      table.field(0)->SetValue(key);
      if (!index.Insert(table.field(0)->Value(), n) || !index.Delete(old_key, n)) {
        return fail(index.error());
      }
      if (!table.UpdateRecord()) return fail(table.error());
    } else {
      if (!table.SetDeleted(true)) return fail(table.error());
      if (!index.Delete(old_key, n)) return fail(index.error());
      mine.erase(mine.begin() + static_cast<ptrdiff_t>(pick));
    }
  }
  return true;
}

class IndexConcurrency : public XBaseTest {};

TEST_F(IndexConcurrency, ProcessesChangingOneIndexLeaveItMatchingTheTable) {
  {
    XBaseTable table(&files_);
    ASSERT_TRUE(table.Create(kDataArea, "shared.dbf", "", {{"NAME", kXBaseCharacter, 20, 0}}));
    XBaseIndex index(&files_);
    ASSERT_TRUE(index.Create(kDataArea, "shared.idx", "name", kIndexUnique));
  }
  std::string data = tmp_ / "data";
  std::vector<pid_t> children;
  for (int w = 0; w < kProcesses; ++w) {
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) _exit(Work(data, w) ? 0 : 1);
    children.push_back(pid);
  }
  for (pid_t pid : children) {
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }

  XBaseTable table(&files_);
  XBaseIndex index(&files_);
  ASSERT_TRUE(table.Open(kDataArea, "shared.dbf"));
  ASSERT_TRUE(index.Open(kDataArea, "shared.idx"));
  // Every entry names a live record holding its key, in key order.
  std::set<uint32_t> indexed;
  std::string previous;
  uint32_t r = 0;
  ASSERT_TRUE(index.First(&r));
  while (r != 0) {
    ASSERT_TRUE(table.ReadRecord(r)) << table.error();
    EXPECT_FALSE(table.deleted()) << r;
    EXPECT_EQ(std::string(table.field(0)->Value()), index.current_key());
    EXPECT_LT(previous, index.current_key());
    previous = index.current_key();
    EXPECT_TRUE(indexed.insert(r).second) << "record " << r << " twice";
    ASSERT_TRUE(index.Next(&r)) << index.error();
  }
  // Every live record has its entry, and a find reaches it.
  size_t live = 0;
  ASSERT_GT(table.record_count(), static_cast<uint32_t>(kProcesses * kOperations / 3));
  for (uint32_t n = 1; n <= table.record_count(); ++n) {
    ASSERT_TRUE(table.ReadRecord(n));
    if (table.deleted()) continue;
    ++live;
    EXPECT_TRUE(indexed.count(n)) << "record " << n << " has no entry";
    bool matched = false;
    ASSERT_TRUE(index.Find(table.field(0)->Value(), true, &r, &matched));
    EXPECT_TRUE(matched);
    EXPECT_EQ(r, n);
  }
  EXPECT_EQ(live, indexed.size());
}

}  // namespace
}  // namespace orin
