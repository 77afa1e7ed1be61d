// Scripts calling into plug-ins: every exported function through the probe
// library, ZtCOMMERCE blocks, fatal errors raised by a library, and several
// request threads calling libraries at once.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <thread>

#include "libraries/site_runner.h"

namespace orin {
namespace {

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

const char kProbeScript[] = R"(
.func probe_run() external
.func twice(n)
        pushl n
        pushi 2
        mul
        ret
.end
.func supply(&s, name, data)
        pushl name
        pushc "="
        cat
        pushl data
        cat
        ret
.end
        pushc "G"
        popg g
        pushc "L2"
        pushg list
        pushi 2
        elem
        store
        call probe_run
        out
)";

TEST(PluginInterface, EveryExportedFunctionAnswersAsExpected) {
  TestSite site({"b,n/a," + PluginPath("zt_probe"), "s,sys," + PluginPath("zt_counted")});
  std::string got = site.Run(kProbeScript);
  // Loader messages name the plug-in's path.
  for (size_t at; (at = got.find(ORIN_TEST_PLUGIN_DIR)) != std::string::npos;)
    got.replace(at, std::string_view(ORIN_TEST_PLUGIN_DIR).size(), "@PLUGINS@");
  std::string expected =
      ReadFile(std::string(ORIN_SOURCE_DIR) + "/tests/libraries/probe_expected.txt");
  EXPECT_EQ(got, expected);
  // The header a library set reaches the response.
  std::string whole = site.Run(kProbeScript, true);
  EXPECT_NE(whole.find("\r\nX-Probe: yes\r\n"), std::string::npos);
}

TEST(PluginInterface, FatalErrorFromALibraryStopsTheScript) {
  TestSite site({"b,n/a," + PluginPath("zt_probe")});
  std::string got = site.Run(R"(
.func probe_fatal() external
        pushc "before "
        out
        call probe_fatal
        pushc "after"
        out
)");
  EXPECT_NE(got.find("before "), std::string::npos);
  EXPECT_NE(got.find("probe gave up"), std::string::npos) << got;
  EXPECT_EQ(got.find("after"), std::string::npos);
}

// Method "pay" comes from the given library; fields "item" and "calls".
std::string CommerceScript(const std::string& method, const std::string& action) {
  return R"(
        tagerror 19 0
        pushc ")" +
         method + R"("
        pushc ")" +
         action + R"("
        pushc "item, calls"
        op_commerce done
body:
        pushg item
        out
        pushc ";"
        out
        op_commerce_loop body
done:
        pushc "calls="
        out
        pushg calls
        out
        pushc " error="
        out
        pushg ZtCOMMERCE_Error
        out
)";
}

TEST(Commerce, TableAndNamedEntryPointsRunTheBlockPerResult) {
  TestSite site({"c,pay," + PluginPath("zt_commerce_table"),
                 "c,named," + PluginPath("zt_commerce_named"),
                 "c,three," + PluginPath("zt_commerce_three")});
  EXPECT_EQ(site.Run(CommerceScript("pay", "buy")), "buy-0;buy-1;buy-2;calls=4 error=");
  EXPECT_EQ(site.Run(CommerceScript("NAMED", "sell")), "sell-0;sell-1;sell-2;calls=4 error=");
  EXPECT_EQ(site.Run(CommerceScript("three", "buy")),
            "calls= error=Unable to load commerce library descriptor table/functions");
  EXPECT_EQ(site.Run(CommerceScript("card", "buy")),
            "calls= error=Commerce method 'card' is unsupported or not configured");
  // init failing skips the block; cleanup still runs.
  EXPECT_EQ(site.Run(CommerceScript("pay", "fail-init")), "calls=0 error=init refused pay");
  // loop failing ends the block with the library's text.
  EXPECT_EQ(site.Run(CommerceScript("pay", "fail-loop")),
            "fail-loop-0;calls=2 error=loop failed at 1");
}

TEST(Commerce, StopLeavesTheBlockAndCallsCleanup) {
  TestSite site({"c,pay," + PluginPath("zt_commerce_table")});
  EXPECT_EQ(site.Run(R"(
        pushc "pay"
        pushc "buy"
        pushc "item,calls"
        op_commerce done
body:
        pushg item
        out
        op_commerce_stop done
        op_commerce_loop body
done:
        pushc " calls="
        out
        pushg calls
        out
)"),
            "buy-0 calls=1");
}

TEST(ZetoConfig, ListsAndLookupsShowTheRegistries) {
  TestSite site({"c,Pay," + PluginPath("zt_commerce_table"), "c,card,/x/libcard.so",
                 "d,sqlite,/x/libsqlite.so", "s,sys," + PluginPath("zt_counted")});
  EXPECT_EQ(site.Run(R"(
        pushs zeto_config
        pushc "commerce_list"
        memb
        pushi 2
        elem
        out
        pushc " "
        out
        pushs zeto_config
        pushc "commerce_lookup"
        memb
        pushc "PAY"
        memb
        out
        pushs zeto_config
        pushc "database_lookup"
        memb
        pushc "xbase9"
        memb
        out
        pushs zeto_config
        pushc "systemlib_list"
        memb
        pushi 1
        elem
        out
)"),
            "card 10sys");
}

// Five request threads at once, each calling the same library many times:
// the library manager and the registries are shared, the rest is per run.
TEST(PluginInterface, FiveRequestThreadsCallLibrariesAtOnce) {
  TestSite site({"b,n/a," + PluginPath("zt_probe"), "c,pay," + PluginPath("zt_commerce_table")});
  std::string first = site.Run(R"(
.func probe_echo(&text) external
        pushi 0
        popg i
again:
        pushc "x"
        popg t
        pushg t
        call probe_echo
        pop
        pushg t
        pushc "seen"
        cmp
        jmp_ne bad
        incg i 1
        cmpgi i 200
        jmp_lt again
        pushc "pay"
        pushc "buy"
        pushc "item"
        op_commerce done
body:
        op_commerce_loop body
done:
        pushg item
        out
        jmp end
bad:
        pushc "wrong"
        out
end:
)",
                               false, "threads.ztc");
  ASSERT_EQ(first, "buy-2");
  std::vector<std::string> results(5);
  std::vector<std::thread> threads;
  for (int t = 0; t < 5; ++t) {
    threads.emplace_back([&site, &results, t] {
      for (int i = 0; i < 4; ++i)
        results[t] += site.RunAssembled("/threads.ztc");
    });
  }
  for (std::thread& t : threads)
    t.join();
  for (const std::string& r : results)
    EXPECT_EQ(r, "buy-2buy-2buy-2buy-2");
}

}  // namespace
}  // namespace orin
