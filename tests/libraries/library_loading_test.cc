// Opening, caching and binding plug-in libraries, and every error text of
// the registries.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>

#include "app/library_setup.h"
#include "libraries/external_config.h"
#include "libraries/external_library.h"
#include "libraries/library_registries.h"
#include "libraries/site_runner.h"
#include "util/config.h"
#include "vm/error_settings.h"
#include "vm/external_call.h"

namespace orin {
namespace {

std::string Upper(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  return text;
}

using CountFunction = int (*)();

TEST(ExternalLibraryManager, SamePathInAnyCaseIsOneLibraryLoadedOnce) {
  ExternalLibraryManager manager;
  std::string path = PluginPath("zt_counted");
  ExternalLibrary* first = manager.Open(path, kSystemLibrary);
  ASSERT_NE(first, nullptr) << manager.ErrorText();
  // The cache answers an upper-cased path without touching the file system.
  ExternalLibrary* second = manager.Open(Upper(path), kBuiltinLibrary);
  EXPECT_EQ(first, second);
  EXPECT_EQ(manager.size(), 1u);
  std::string error;
  auto count = reinterpret_cast<CountFunction>(first->Symbol("counted_registrations", &error));
  ASSERT_NE(count, nullptr) << error;
  // Registered once, with the host handle.
  EXPECT_EQ(count(), 1);
  EXPECT_EQ(first->path(), path);
  EXPECT_EQ(first->type(), kSystemLibrary);
}

TEST(ExternalLibraryManager, BadPathGivesTheLoadersTextAndIsNotCached) {
  ExternalLibraryManager manager;
  std::string path = std::string(ORIN_TEST_PLUGIN_DIR) + "/libnothing.so";
  std::string error;
  EXPECT_EQ(manager.Open(path, kBuiltinLibrary, &error), nullptr);
  EXPECT_EQ(error, path + ": cannot open shared object file: No such file or directory");
  EXPECT_EQ(manager.ErrorText(), error);
  EXPECT_EQ(manager.size(), 0u);
}

TEST(ExternalLibrary, UnknownSymbolNamesItAndTheLoadersText) {
  ExternalLibraryManager manager;
  std::string path = PluginPath("zt_counted");
  ExternalLibrary* library = manager.Open(path, kSystemLibrary);
  ASSERT_NE(library, nullptr);
  std::string error;
  EXPECT_EQ(library->Symbol("not_there", &error), nullptr);
  EXPECT_EQ(error, "Unknown symbol 'not_there': " + path + ": undefined symbol: not_there");
}

TEST(BuiltinLibraries, DescriptorErrorsAndTablesInOrder) {
  ExternalLibraryManager manager;
  ExternalCallManager calls;
  std::string error;
  std::string missing = PluginPath("zt_no_descriptor");
  EXPECT_FALSE(AddBuiltinLibrary(&manager, missing, &calls, &error));
  EXPECT_EQ(error, "Unknown symbol 'zeto_function_table': " + missing +
                       ": undefined symbol: zeto_function_table");
  EXPECT_FALSE(AddBuiltinLibrary(&manager, PluginPath("zt_null_descriptor"), &calls, &error));
  EXPECT_EQ(error, "Unable to retrieve function descriptor table");
  EXPECT_EQ(calls.TableCount(), 0u);

  // The same library twice: loaded once, its table listed twice, the first
  // one answering.
  ASSERT_TRUE(AddBuiltinLibrary(&manager, PluginPath("zt_probe"), &calls, &error)) << error;
  ASSERT_TRUE(AddBuiltinLibrary(&manager, PluginPath("zt_probe"), &calls, &error)) << error;
  EXPECT_EQ(calls.TableCount(), 2u);
  EXPECT_EQ(manager.size(), 3u);
  const ZetoFunctionEntry* entry = calls.FindEntry("PROBE_ECHO");
  ASSERT_NE(entry, nullptr);
  EXPECT_EQ(entry->parameter_count, 1u);
  EXPECT_EQ(entry->parameters[0].flags, 1u);
  EXPECT_EQ(calls.FindEntry("probe_ech"), nullptr);
}

TEST(CommerceLibraries, TableNamedEntriesAndIncompleteExports) {
  ExternalLibraryManager manager;
  CommerceLibraryManager commerce(&manager);
  EXPECT_EQ(commerce.Get("card"), nullptr);
  EXPECT_EQ(commerce.ErrorText(), "Commerce method 'card' is unsupported or not configured");

  commerce.Register("Table", PluginPath("zt_commerce_table"));
  commerce.Register("named", PluginPath("zt_commerce_named"));
  commerce.Register("three", PluginPath("zt_commerce_three"));
  commerce.Register("null", PluginPath("zt_null_descriptor"));
  commerce.Register("absent", "/nonexistent/libpay.so");
  CommerceLibrary* table = commerce.Get("TABLE");
  ASSERT_NE(table, nullptr) << commerce.ErrorText();
  EXPECT_TRUE(table->loaded);
  EXPECT_EQ(commerce.Get("table"), table);
  CommerceLibrary* named = commerce.Get("named");
  ASSERT_NE(named, nullptr) << commerce.ErrorText();
  EXPECT_NE(named->error, nullptr);
  EXPECT_EQ(commerce.Get("three"), nullptr);
  EXPECT_EQ(commerce.ErrorText(), "Unable to load commerce library descriptor table/functions");
  EXPECT_EQ(commerce.Get("null"), nullptr);
  EXPECT_EQ(commerce.ErrorText(), "Unable to load commerce library descriptor table/functions");
  EXPECT_EQ(commerce.Get("absent"), nullptr);
  EXPECT_EQ(commerce.ErrorText(),
            "/nonexistent/libpay.so: cannot open shared object file: No such file or directory");

  // Names in registration order; a second registration replaces the path
  // and binds again.
  ASSERT_EQ(commerce.Count(), 5u);
  EXPECT_EQ(commerce.NameAt(0), "Table");
  EXPECT_EQ(commerce.NameAt(4), "absent");
  EXPECT_TRUE(commerce.IsRegistered("THREE"));
  commerce.Register("three", PluginPath("zt_commerce_table"));
  EXPECT_EQ(commerce.Count(), 5u);
  EXPECT_NE(commerce.Get("three"), nullptr);
}

TEST(DatabaseAndSystemLibraries, ErrorTexts) {
  ExternalLibraryManager manager;
  ExternalDatabaseLibraryManager databases(&manager);
  EXPECT_EQ(databases.Get("oracle"), nullptr);
  EXPECT_EQ(databases.ErrorText(), "Database type 'oracle' is unsupported or not configured");
  databases.Register("null", PluginPath("zt_null_descriptor"));
  EXPECT_EQ(databases.Get("NULL"), nullptr);
  EXPECT_EQ(databases.ErrorText(), "Unable to retrieve database descriptor table");
  databases.Register("nosymbol", PluginPath("zt_no_descriptor"));
  EXPECT_EQ(databases.Get("nosymbol"), nullptr);
  EXPECT_EQ(databases.ErrorText(),
            "Unknown symbol 'zeto_database_library': " + PluginPath("zt_no_descriptor") +
                ": undefined symbol: zeto_database_library");

  SystemLibraryManager systems(&manager);
  EXPECT_EQ(systems.Get("crypto"), nullptr);
  EXPECT_EQ(systems.ErrorText(), "System library 'crypto' is not configured");
  systems.Register("sys", "/nonexistent/libsys.so");
  systems.Register("SYS", PluginPath("zt_counted"));  // replaces
  SystemLibrary* sys = systems.Get("sys");
  ASSERT_NE(sys, nullptr) << systems.ErrorText();
  EXPECT_EQ(systems.Count(), 1u);
  auto answer =
      reinterpret_cast<CountFunction>(SystemLibraryManager::GetFunction(sys, "system_answer"));
  ASSERT_NE(answer, nullptr);
  EXPECT_EQ(answer(), 42);
  EXPECT_EQ(SystemLibraryManager::GetFunction(sys, "missing"), nullptr);
  EXPECT_EQ(sys->error, "Unknown symbol 'missing': " + PluginPath("zt_counted") +
                            ": undefined symbol: missing");
}

class ConfigurationLibrary : public ::testing::Test {
 protected:
  ConfigurationLibrary() : saved_(CopyDefaultErrorSettings()) {}
  ~ConfigurationLibrary() override { RestoreDefaultErrorSettings(saved_); }
  ErrorSettings saved_;
  ExternalLibraryManager manager_;
  RunLibraries libraries_{&manager_};
  Config settings_;
};

TEST_F(ConfigurationLibrary, InitRegistersStoresAndQueues) {
  ExternalConfig config(&settings_, &libraries_);
  ASSERT_TRUE(config.Open(PluginPath("zt_config"), "/etc/vm.toml", "")) << config.ErrorText();
  EXPECT_EQ(libraries_.builtin_paths(), std::vector<std::string>{"/lib/builtin.so"});
  EXPECT_TRUE(libraries_.commerce().IsRegistered("PAY"));
  EXPECT_TRUE(libraries_.databases().IsRegistered("sql"));
  EXPECT_TRUE(libraries_.systems().IsRegistered("sys"));
  EXPECT_EQ(settings_.GetText(config_key::kDirZeto), "/srv/site");
  EXPECT_EQ(config.GetInt(config_key::kLogLevel), 77);         // stored in the settings
  EXPECT_EQ(config.GetInt(config_key::kTimeoutGlobal), 4242);  // answered by the library
  EXPECT_EQ(config.GetText(config_key::kDirZeto), "/srv/site");
  EXPECT_EQ(CopyDefaultErrorSettings()[TagLookup("ZtASSIGN")], 0);
  EXPECT_TRUE(config.LoadScript("/a/page.ztc"));
  EXPECT_FALSE(config.LoadScript("/refuse.ztc"));
  EXPECT_EQ(config.ErrorText(), "script refused");
}

TEST_F(ConfigurationLibrary, FailuresGiveTheirTexts) {
  {
    ExternalConfig config(&settings_, &libraries_);
    EXPECT_FALSE(config.Open(PluginPath("zt_config"), "", "fail"));
    EXPECT_EQ(config.ErrorText(), "the options say fail");
  }
  {
    ExternalConfig config(&settings_, &libraries_);
    EXPECT_FALSE(config.Open(PluginPath("zt_null_descriptor"), "", ""));
    EXPECT_EQ(config.ErrorText(), "Unable to retrieve configuration descriptor table");
  }
  {
    ExternalConfig config(&settings_, &libraries_);
    EXPECT_FALSE(config.Open(PluginPath("zt_no_descriptor"), "", ""));
    EXPECT_EQ(config.ErrorText(),
              "Unknown symbol 'zeto_config_library': " + PluginPath("zt_no_descriptor") +
                  ": undefined symbol: zeto_config_library");
  }
}

TEST(ConfiguredLibraries, StartUpCheckNamesEveryBrokenEntry) {
  TestSite site({"b,n/a," + PluginPath("zt_null_descriptor"), "b,n/a," + PluginPath("zt_probe"),
                 "c,pay," + PluginPath("zt_commerce_three"), "s,gone,/nonexistent/libgone.so",
                 "d,sql," + PluginPath("zt_null_descriptor")});
  std::vector<std::string> errors = CheckConfiguredLibraries(site.files());
  ASSERT_EQ(errors.size(), 4u);
  EXPECT_EQ(errors[0],
            PluginPath("zt_null_descriptor") + ": Unable to retrieve function descriptor table");
  EXPECT_EQ(errors[1], "pay: Unable to load commerce library descriptor table/functions");
  EXPECT_EQ(errors[2], "sql: Unable to retrieve database descriptor table");
  EXPECT_EQ(errors[3],
            "gone: /nonexistent/libgone.so: cannot open shared object file: No such file or "
            "directory");
}

}  // namespace
}  // namespace orin
