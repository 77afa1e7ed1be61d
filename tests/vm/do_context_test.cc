#include "vm/do_context.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "image/segment.h"
#include "vm/vm_test_util.h"

namespace orin::test {
namespace {

namespace fs = std::filesystem;

// A script root in a temporary directory; the main program runs from
// /main/t.ztc below it and other files are assembled into it.
class DoFiles : public testing::Test {
 protected:
  void SetUp() override {
    std::string tmpl = (fs::temp_directory_path() / "orin-do-XXXXXX").string();
    ASSERT_NE(mkdtemp(tmpl.data()), nullptr);
    root_ = tmpl;
  }
  void TearDown() override { fs::remove_all(root_); }

  void Write(const std::string& path, std::string_view source) {
    std::string error;
    std::string bytes = AssembleOrEmpty(source, &error);
    ASSERT_FALSE(bytes.empty()) << error;
    fs::path file = fs::path(root_) / path.substr(1);
    fs::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << bytes;
  }

  std::unique_ptr<VmRun> Main(std::string_view source) {
    auto run = std::make_unique<VmRun>(source, "/main/t.ztc");
    EXPECT_TRUE(run->app.files().SetScriptDirectory(root_));
    return run;
  }

  std::string root_;
};

TEST_F(DoFiles, CachedByFullPathMostRecentFirst) {
  Write("/main/a.ztc", "pushc \"a\"\nout\n");
  Write("/b.ztc", "pushc \"b\"\nout\n");
  auto run = Main(R"(
        pushc "a.ztc"
        op_do_file
        pushc "/b.ztc"
        op_do_file
        pushc "../main/./a.ztc"
        op_do_file
  )");
  EXPECT_EQ(run->Run(), 1);
  EXPECT_EQ(run->out(), "aba");
  const auto& contexts = run->vm().DoContexts().contexts();
  ASSERT_EQ(contexts.size(), 2u);
  EXPECT_EQ(contexts.front()->path(), "/main/a.ztc");
  EXPECT_EQ(contexts.back()->path(), "/b.ztc");
  EXPECT_EQ(contexts.front()->full_path(), fs::canonical(root_).string() + "/main/a.ztc");
}

TEST_F(DoFiles, LimitEvictsTheLeastRecentlyUsed) {
  Write("/a.ztc", "noop\n");
  Write("/b.ztc", "noop\n");
  Write("/c.ztc", "noop\n");
  auto run = Main(R"(
        pushc "/a.ztc"
        op_do_file
        pushc "/b.ztc"
        op_do_file
        pushc "/a.ztc"
        op_do_file
        pushc "/c.ztc"
        op_do_file
  )");
  run->app.config().SetInt(config_key::kMaxDoCache, 2);
  EXPECT_EQ(run->Run(), 1);
  std::vector<std::string> cached;
  for (const auto& c : run->vm().DoContexts().contexts())
    cached.push_back(c->path());
  EXPECT_EQ(cached, (std::vector<std::string>{"/c.ztc", "/a.ztc"}));
}

TEST_F(DoFiles, CallExpressionsCompileOncePerFileAndAreRestricted) {
  Write("/lib.ztc", R"(
.func f(x)
        pushl x
        pushi 1
        add
        ret
.end
  )");
  auto run = Main(R"asm(
        storegi i, 0
again:  pushc "/lib.ztc"
        pushc "f(i)"
        op_do_function
        popg i
        cmpgi i, 3
        jmp_lt again
        pushg i
        out
        pushc "/lib.ztc"
        pushc "f(10)"
        op_do_function
        out
  )asm");
  EXPECT_EQ(run->Run(), 1);
  EXPECT_EQ(run->out(), "311");
  DoContext* lib = run->vm().DoContexts().contexts().front().get();
  EXPECT_EQ(lib->expression_count(), 2u);
  std::string error;
  Segment* code = lib->Expression("f(i)", run->vm(), &error);
  ASSERT_NE(code, nullptr);
  EXPECT_TRUE(code->restricted());
  EXPECT_EQ(lib->expression_count(), 2u);
}

// A function's local, changed through a by-reference parameter, reads the
// same by name and from a ZtDO call expression, in a first call and in
// later calls that reuse the frame and the locals of an earlier one.
TEST_F(DoFiles, ByReferenceByNameAndDoExpressionSeeTheSameLocal) {
  Write("/lib.ztc", R"(
.func id(x)
        pushl x
        ret
.end
  )");
  auto run = Main(R"asm(
.func bump(&r, step)
        pushl r
        pushl step
        add
        popl r
        retn
.end
.func probe(start)
.local loc
        pushl start
        popl loc
        pushl loc
        pushi 1
        call bump
        pop
        pushl loc
        pushi 10
        call bump
        pop
        pushnc "loc"
        out
        pushc ","
        out
        pushc "/lib.ztc"
        pushc "id(loc)"
        op_do_function
        out
        pushc ","
        out
        pushl loc
        out
        pushc ";"
        out
        retn
.end
        pushi 41
        call probe
        pop
        pushi -11
        call probe
        pop
        pushc "abc"
        call probe
        pop
  )asm");
  EXPECT_EQ(run->Run(), 1) << run->vm().ErrorText();
  EXPECT_EQ(run->out(), "52,52,52;0,0,0;11,11,11;");
}

TEST_F(DoFiles, ConstantsReachingTheCallerOutliveTheFile) {
  // The value of 'abc' is a constant of a.ztc, which b.ztc evicts before
  // the caller uses it.
  Write("/a.ztc", "noop\n");
  Write("/b.ztc", "noop\n");
  auto run = Main(R"(
        pushc "/a.ztc"
        pushc "'abc'"
        op_do_function
        pushc "/b.ztc"
        pushc "'def'"
        op_do_function
        cat
        out
  )");
  run->app.config().SetInt(config_key::kMaxDoCache, 1);
  EXPECT_EQ(run->Run(), 1);
  EXPECT_EQ(run->out(), "abcdef");
  EXPECT_EQ(run->vm().DoContexts().size(), 1u);
}

TEST_F(DoFiles, TraceEntriesNameTheFile) {
  Write("/sub/x.ztc", "pushc \"x\"\nout\n");
  auto run = Main(R"(
        lineno 4
        pushc "/sub/x.ztc"
        op_do_file
  )");
  run->app.config().SetInt(config_key::kLogLevel, kLogDoEnter | kLogDoExit);
  EXPECT_EQ(run->Run(), 1);
  ASSERT_EQ(run->app.log.size(), 2u);
  EXPECT_EQ(run->app.log[0].event, kLogDoEnter);
  EXPECT_EQ(run->app.log[1].event, kLogDoExit);
  EXPECT_EQ(run->app.log[0].fields,
            (std::vector<std::string>{"/main/t.ztc", "", "4", "/sub/x.ztc"}));
}

TEST_F(DoFiles, FailedLoadsAreNotCachedAndReportTagTwentyTwo) {
  auto run = Main(R"(
        tagerror 22, 0
        pushc "/later.ztc"
        op_do_file
        pushc "/later.ztc"
        op_do_file
  )");
  EXPECT_EQ(run->Run(), 1);
  ASSERT_EQ(run->app.runtime.size(), 2u);
  EXPECT_EQ(run->app.runtime[0].tag, 22);
  EXPECT_NE(run->app.runtime[0].text.find(": ZtDO: Unable to open '/later.ztc': "),
            std::string::npos)
      << run->app.runtime[0].text;
  EXPECT_EQ(run->vm().DoContexts().size(), 0u);
}

TEST_F(DoFiles, FileMachinesHaveTheRootAsParent) {
  Write("/a.ztc", "pushc \"/b.ztc\"\nop_do_file\n");
  Write("/b.ztc", "noop\n");
  auto run = Main("pushc \"/a.ztc\"\nop_do_file\n");
  EXPECT_EQ(run->Run(), 1);
  ZetoVM& root = run->vm();
  ASSERT_EQ(root.DoContexts().size(), 2u);
  for (const auto& c : root.DoContexts().contexts()) {
    EXPECT_EQ(c->machine()->parent(), &root);
    EXPECT_EQ(&c->machine()->DoContexts(), &root.DoContexts());
  }
}

TEST_F(DoFiles, DeepChainsOfFilesStop) {
  // f0 runs f1 runs f2 ... each a different file, so no single machine
  // nests: the chain as a whole is limited.
  constexpr int kFiles = DoContextCache::kMaxNesting + 6;
  for (int i = 0; i < kFiles; ++i) {
    Write("/f" + std::to_string(i) + ".ztc",
          "pushc \"/f" + std::to_string(i + 1) + ".ztc\"\nop_do_file\n");
  }
  Write("/f" + std::to_string(kFiles) + ".ztc", "pushc \"end\"\nout\n");
  auto run = Main("pushc \"/f0.ztc\"\nop_do_file\n");
  EXPECT_EQ(run->Run(), 0);
  EXPECT_EQ(run->out(), "");
  EXPECT_EQ(MessageOf(run->vm().ErrorText()), "Stack overflow");
  EXPECT_EQ(run->app.fatal.size(), 1u);
}

}  // namespace
}  // namespace orin::test
