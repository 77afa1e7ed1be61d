#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/vm_application.h"
#include "image/dictionary.h"
#include "output/null_output.h"
#include "util/config.h"
#include "variables/variable.h"
#include "variables/variable_hash.h"

namespace orin {
namespace {

class BareApplication : public VMApplication {
 public:
  FileManager* GetFileManager() override { return nullptr; }
  Config* GetConfig() override { return &config; }
  Output* GetOutput() override { return &output; }
  Output* SetOutput(Output* sink) override { return sink; }
  Config config;
  NullOutput output;
};

TEST(AddSystemVariables, FixedOrderAndValues) {
  BareApplication app;
  app.config.SetInt(config_key::kTimeoutGlobal, 33);
  Dictionary names;
  SystemVariableHash scope(&names, 6);
  app.AddSystemVariables(&scope);
  std::vector<std::string> order;
  for (uint32_t e = 0; e < scope.Entries(); ++e)
    order.emplace_back(scope.EntryName(e));
  EXPECT_EQ(order, (std::vector<std::string>{"process_name",
                                             "time_t",
                                             "tm_usec",
                                             "tm_sec",
                                             "tm_min",
                                             "tm_hour",
                                             "tm_mday",
                                             "tm_mon",
                                             "stm_mon",
                                             "tm_year",
                                             "tm_wday",
                                             "stm_wday",
                                             "tm_yday",
                                             "tm_isdst",
                                             "stm_zone",
                                             "globaltimeout",
                                             "zetoversion",
                                             "dyn_time_t",
                                             "dyn_tm_usec",
                                             "dyn_tm_sec",
                                             "dyn_tm_min",
                                             "dyn_tm_hour",
                                             "dyn_tm_mday",
                                             "dyn_tm_mon",
                                             "dyn_stm_mon",
                                             "dyn_tm_year",
                                             "dyn_tm_wday",
                                             "dyn_stm_wday",
                                             "dyn_tm_yday",
                                             "dyn_tm_isdst",
                                             "dyn_stm_zone",
                                             "dyn_time_remaining",
                                             "zeto_language",
                                             "zeto_defaultlanguage",
                                             "zeto_defaultdatabase",
                                             "zeto_charset",
                                             "zeto_sslavailable",
                                             "zeto_config"}));
  auto value = [&scope](const char* name) {
    Variable* v = nullptr;
    scope.Find(&v, name, -1, false);
    return v != nullptr ? v->Value().str() : std::string("<none>");
  };
  EXPECT_EQ(value("globaltimeout"), "33");
  EXPECT_EQ(value("zetoversion"), "5.52");
  EXPECT_EQ(value("time_t"), std::to_string(app.start_time()));
  EXPECT_EQ(value("process_name"), "");

  // Added again (a second run's variables), the entries are replaced.
  app.AddSystemVariables(&scope);
  EXPECT_EQ(scope.Entries(), order.size());
  Variable* config = nullptr;
  scope.Find(&config, "zeto_config", -1, false);
  ASSERT_NE(config, nullptr);
  Variable* timeout = config->Element(AggregateIndex::Member("timeout_global"), false);
  ASSERT_NE(timeout, nullptr);
  EXPECT_EQ(timeout->Value_Integer(), 33);
}

}  // namespace
}  // namespace orin
