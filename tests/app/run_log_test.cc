#include "app/run_log.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <ctime>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "util/config.h"
#include "variables/decimal.h"
#include "variables/variable.h"

namespace orin {
namespace {

namespace fs = std::filesystem;
using namespace config_key;

class LogFileTest : public testing::Test {
 protected:
  void SetUp() override {
    std::string tmpl = (fs::temp_directory_path() / "orin-log-XXXXXX").string();
    ASSERT_NE(mkdtemp(tmpl.data()), nullptr);
    dir_ = tmpl;
    path_ = dir_ + "/events.log";
    config_.SetText(kLogFile, path_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  std::vector<std::string> Lines() const {
    std::ifstream in(path_, std::ios::binary);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);)
      lines.push_back(line);
    return lines;
  }
  std::string Contents() const {
    std::ifstream in(path_, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
  }

  std::string dir_;
  std::string path_;
  Config config_;
};

// The prefix: "Mar 5  2025 07:08:09.000042<TAB>pid.tid<TAB>".
const std::regex kPrefix(
    R"(^(Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec) ([1-9] |[12][0-9]|3[01]) (\d{4}) )"
    R"((\d\d):(\d\d):(\d\d)\.(\d{6})\t(\d+)\.(\d+)\t(.*)$)");

TEST_F(LogFileTest, RequestStartAndEndAreOneLineEach) {
  config_.SetInt(kLogLevel, 0x6000000);
  RunLog log(&config_, 4321, 8765);
  std::time_t before = std::time(nullptr);
  log.LogEvent(kLogTaskStart, "/shop/index.ztc?a=1");
  log.LogEvent(kLogFunctionCall, "/shop/index.ztc?a=1");  // not in loglevel
  log.LogEvent(kLogTaskEnd, "/shop/index.ztc?a=1");
  std::time_t after = std::time(nullptr);
  std::vector<std::string> lines = Lines();
  ASSERT_EQ(lines.size(), 2u);
  const char* names[] = {"Request Start", "Request End"};
  for (size_t i = 0; i < lines.size(); ++i) {
    std::smatch m;
    ASSERT_TRUE(std::regex_match(lines[i], m, kPrefix)) << lines[i];
    EXPECT_EQ(m[8], "4321");
    EXPECT_EQ(m[9], "8765");
    EXPECT_EQ(m[10], std::string(names[i]) + "\t/shop/index.ztc?a=1");
    // The time is the local time of writing.
    std::tm tm{};
    std::istringstream when(m[1].str() + " " + m[2].str() + " " + m[3].str() + " " + m[4].str() +
                            ":" + m[5].str() + ":" + m[6].str());
    when >> std::get_time(&tm, "%b %d %Y %H:%M:%S");
    ASSERT_FALSE(when.fail()) << lines[i];
    tm.tm_isdst = -1;
    std::time_t t = std::mktime(&tm);
    EXPECT_GE(t, before);
    EXPECT_LE(t, after);
  }
  EXPECT_EQ(Contents().back(), '\n');
}

TEST(LogLineTest, PrefixPaddingAndFieldFormats) {
  LocalTime t;
  t.year = 2025;
  t.month = 3;
  t.day = 5;
  t.hour = 7;
  t.minute = 8;
  t.second = 9;
  t.microsecond = 42;
  int32_t number = -17;
  bool not_number = false;
  mpd_t* decimal = DecimalFromText(nullptr, "2.50", -1, &not_number);
  const char text[] = "a\nb\tc\x01\x7f\xff";
  LogField fields[] = {
      {LogField::kText, text, static_cast<int32_t>(sizeof text - 1)},
      {LogField::kText, "x\0y", 3},
      {LogField::kInteger, &number, 4},
      {LogField::kNumber, decimal, 0},
      {LogField::kText, "measured", -1},
      {LogField::kEnd, nullptr, 0},
      {LogField::kText, "after the end", -1},
  };
  EXPECT_EQ(FormatLogLine(t, 1, 2, kLogTrace, fields),
            "Mar 5  2025 07:08:09.000042\t1.2\tTrace\ta\\x0ab\\x09c\\x01\x7f\xff\tx\\x00y\t-17\t"
            "2.5\tmeasured\n");
  mpd_del(decimal);
  t.day = 15;
  t.month = 12;
  t.year = 999;
  EXPECT_EQ(FormatLogLine(t, 0, 0, 0x3, nullptr), "Dec 15 999  07:08:09.000042\t0.0\tUnknown\n");
}

TEST(VariableDumpTest, StructuresAndArraysNest) {
  VarRef s = NewVariable("s");
  s->Element(AggregateIndex::Member("name"), true)->SetValue("Ann", 3);
  s->Element(AggregateIndex::Member("Zero"), true);
  Variable* list = s->Element(AggregateIndex::Member("list"), true);
  list->Element(AggregateIndex(1), true)->SetValue_Integer(1);
  list->Element(AggregateIndex(2), true)->SetValue("x\ny", 3);
  list->Element(AggregateIndex(3), true)
      ->Element(AggregateIndex::Member("k\r"), true)
      ->SetValue("v", 1);
  list->Element(AggregateIndex(4), true)->ConvertToAggregate(kKindArray);
  std::string out;
  AppendVariableDump(s.get(), &out);
  EXPECT_EQ(out, "{ list: [4] = [ 1, x\\x0ay, { k\\x0d: v }, [0] = [  ] ], name: Ann, Zero:  }");
  out.clear();
  AppendVariableDump(NewTextVariable("t", "plain\ttext").get(), &out);
  EXPECT_EQ(out, "plain\\x09text");
}

TEST(VariableDumpTest, DeepNestingNeedsNoDeepStack) {
  VarRef root = NewVariable();
  Variable* v = root.get();
  for (int i = 0; i < 100000; ++i)
    v = v->Element(AggregateIndex(1), true);
  v->SetValue("end", 3);
  std::string out;
  AppendVariableDump(root.get(), &out);
  EXPECT_EQ(out.rfind("[1] = [ [1] = [ ", 0), 0u);
  EXPECT_NE(out.find("[ end ]"), std::string::npos);
}

TEST_F(LogFileTest, VariablesGoIntoTheLineAsDumps) {
  VarRef v = NewVariable("v");
  v->Element(AggregateIndex(1), true)->SetValue("line\nfeed", 9);
  LogField fields[] = {{LogField::kVariable, v.get(), 0}, {LogField::kEnd, nullptr, 0}};
  RunLog log(&config_, 1, 1);
  log.WriteLogLine(kLogFunctionParameter, fields);
  std::vector<std::string> lines = Lines();
  ASSERT_EQ(lines.size(), 1u);
  std::smatch m;
  ASSERT_TRUE(std::regex_match(lines[0], m, kPrefix));
  EXPECT_EQ(m[10], "Function Parameter\t[1] = [ line\\x0afeed ]");
}

TEST_F(LogFileTest, ALogFileThatCannotBeOpenedLosesTheLine) {
  RunLog log(&config_, 1, 1);
  config_.SetText(kLogFile, dir_);  // a directory
  log.LogEvent(kLogTaskStart, "/a.ztc?");
  config_.SetInt(kLogLevel, -1);
  log.LogEvent(kLogTaskStart, "/a.ztc?");
  config_.SetText(kLogFile, dir_ + "/missing/dir/x.log");
  log.LogEvent(kLogTaskStart, "/a.ztc?");
  config_.SetText(kLogFile, "");
  log.LogEvent(kLogTaskStart, "/a.ztc?");
  EXPECT_TRUE(fs::is_empty(dir_));
}

TEST_F(LogFileTest, ConcurrentWritersNeverMixTheirLines) {
  constexpr int kThreads = 6, kLines = 300;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([this, t] {
      Config config;  // a Config belongs to one thread
      config.SetText(kLogFile, path_);
      RunLog log(&config, 7, static_cast<uint32_t>(t));
      std::string payload(4000, static_cast<char>('a' + t));
      LogField fields[] = {
          {LogField::kText, payload.data(), static_cast<int32_t>(payload.size())},
          {LogField::kEnd, nullptr, 0},
      };
      for (int i = 0; i < kLines; ++i)
        log.WriteLogLine(kLogTrace, fields);
    });
  }
  for (auto& th : threads)
    th.join();
  std::vector<std::string> lines = Lines();
  ASSERT_EQ(lines.size(), static_cast<size_t>(kThreads * kLines));
  for (const std::string& line : lines) {
    std::smatch m;
    ASSERT_TRUE(std::regex_match(line, m, kPrefix)) << line.substr(0, 80);
    int t = std::stoi(m[9]);
    ASSERT_EQ(m[10], "Trace\t" + std::string(4000, static_cast<char>('a' + t)));
  }
}

TEST(LogFilterTest, ExcludeAndIncludeEntries) {
  Config config;
  RunLog log(&config, 1, 1);
  log.ParseLogFilter("!lib.ztc:10-20, main.ztc");
  ASSERT_EQ(log.excludes().size(), 1u);
  EXPECT_EQ(log.excludes()[0].name, "lib.ztc");
  EXPECT_EQ(log.excludes()[0].first, 10);
  EXPECT_EQ(log.excludes()[0].last, 20);
  ASSERT_EQ(log.includes().size(), 1u);
  EXPECT_EQ(log.includes()[0].name, "main.ztc");
  EXPECT_EQ(log.includes()[0].first, 0);
  EXPECT_EQ(log.includes()[0].last, 0);
  EXPECT_TRUE(log.ShouldTrace("main.ztc", 1));
  EXPECT_TRUE(log.ShouldTrace("main.ztc", 99999));
  EXPECT_FALSE(log.ShouldTrace("MAIN.ZTC", 1));  // letter case counts
  EXPECT_FALSE(log.ShouldTrace("lib.ztc", 10));
  EXPECT_FALSE(log.ShouldTrace("lib.ztc", 20));
  // Outside the excluded range, but not included either.
  EXPECT_FALSE(log.ShouldTrace("lib.ztc", 21));
  EXPECT_FALSE(log.ShouldTrace("other.ztc", 1));
}

TEST(LogFilterTest, RangesAndSpacing) {
  Config config;
  RunLog log(&config, 1, 1);
  log.ParseLogFilter("  a.ztc : 7 - 9 ,b.ztc:5,, c.ztc:5-  !d.ztc  ! e.ztc:3");
  ASSERT_EQ(log.includes().size(), 3u);
  EXPECT_EQ(log.includes()[0].first, 7);
  EXPECT_EQ(log.includes()[0].last, 9);
  EXPECT_EQ(log.includes()[1].first, 5);
  EXPECT_EQ(log.includes()[1].last, 5);
  EXPECT_EQ(log.includes()[2].first, 5);
  EXPECT_EQ(log.includes()[2].last, 0);  // "-" without a number: to the end
  ASSERT_EQ(log.excludes().size(), 2u);
  EXPECT_EQ(log.excludes()[1].name, "e.ztc");
  EXPECT_FALSE(log.ShouldTrace("a.ztc", 6));
  EXPECT_TRUE(log.ShouldTrace("a.ztc", 9));
  EXPECT_FALSE(log.ShouldTrace("b.ztc", 6));
  EXPECT_TRUE(log.ShouldTrace("c.ztc", 123456));
  // Only exclusions: everything else is traced. A new filter replaces the old.
  log.ParseLogFilter("!d.ztc");
  EXPECT_TRUE(log.includes().empty());
  EXPECT_TRUE(log.ShouldTrace("a.ztc", 6));
  EXPECT_FALSE(log.ShouldTrace("d.ztc", 6));
  log.ParseLogFilter("");
  EXPECT_TRUE(log.ShouldTrace("d.ztc", 6));
}

TEST(LogFilterTest, TheLogCookieGatesTracing) {
  Config config;
  RunLog log(&config, 1, 1);
  ByteString wrong("zetologcookie=s3cret2");
  log.CheckLogCookie(&wrong);  // no cookie configured: nothing changes
  EXPECT_FALSE(log.log_cookie_mismatch());
  config.SetText(kLogCookie, "s3cret");
  struct Case {
    const char* header;
    bool mismatch;
  };
  for (Case c : {Case{"a=1; zetologcookie=s3cret; b=2", false}, Case{"zetologcookie=s3cret", false},
                 Case{"zetologcookie=s3cret2", true}, Case{"zetologcookie=s3c; x=s3cret", true},
                 Case{"ZetoLogCookie=s3cret", true}, Case{"", true}}) {
    ByteString header(c.header);
    log.CheckLogCookie(&header);
    EXPECT_EQ(log.log_cookie_mismatch(), c.mismatch) << c.header;
    EXPECT_EQ(log.ShouldTrace("any.ztc", 1), !c.mismatch) << c.header;
  }
  log.CheckLogCookie(nullptr);
  EXPECT_TRUE(log.log_cookie_mismatch());
}

}  // namespace
}  // namespace orin
