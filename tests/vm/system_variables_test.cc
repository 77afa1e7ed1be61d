#include "vm/system_variables.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "image/dictionary.h"
#include "util/config.h"
#include "variables/variable_hash.h"
#include "vm/configuration_variables.h"
#include "vm/vm_test_util.h"

namespace orin::test {
namespace {

// Three registered names for every kind of library, and a TLS answer
// that counts how often it was asked.
class RegistryApplication : public TestApplication {
 public:
  class Names : public LibraryRegistry {
   public:
    uint32_t Count() const override { return 3; }
    std::string_view NameAt(uint32_t i) const override {
      static constexpr std::string_view kNames[] = {"Zeta", "alpha", "Mid"};
      return kNames[i];
    }
    bool IsRegistered(std::string_view name) const override {
      for (uint32_t i = 0; i < Count(); ++i) {
        if (EqualsNoCase(name, NameAt(i))) return true;
      }
      return false;
    }
  };
  const LibraryRegistry& RegisteredLibraries(LibraryRegistryKind) override { return names_; }
  bool EnsureSsl() override {
    ++ssl_asked;
    return true;
  }
  int ssl_asked = 0;

 private:
  Names names_;
};

Variable* Member(Variable* v, std::string_view name, bool create = false) {
  return v->Element(AggregateIndex::Member(name), create);
}

TEST(SettableSystemVariables, EachSettingHasItsOwnVariable) {
  TestApplication app;
  VarRef charset = VarRef::Adopt(new CharacterSetVariable(&app));
  VarRef fallback = VarRef::Adopt(new DefaultLanguageVariable(&app));
  VarRef database = VarRef::Adopt(new DefaultDatabaseVariable(&app));
  EXPECT_EQ(charset->Value().str(), "utf-8");
  EXPECT_EQ(database->Value().str(), "xbase3");
  charset->SetValue("ISO-8859-1", -1);
  EXPECT_FALSE(app.IsUtf8());
  charset->SetValue("UTF-8", -1);
  EXPECT_TRUE(app.IsUtf8());
  fallback->SetValue("it", -1);
  database->SetValue("odbc", -1);
  EXPECT_EQ(app.DefaultLanguage(), "it");
  EXPECT_EQ(app.DefaultDatabase(), "odbc");
  EXPECT_EQ(app.Language(), "en-US");
  EXPECT_EQ(charset->Name().str(), "zeto_charset");
  EXPECT_EQ(fallback->Name().str(), "zeto_defaultlanguage");
  EXPECT_EQ(database->Name().str(), "zeto_defaultdatabase");
}

TEST(SettableSystemVariables, FollowTheApplicationAndSaveLevels) {
  TestApplication app;
  Dictionary names;
  SystemVariableHash scope(&names, 4);
  AddDynamicSystemVariables(&scope, &app);
  Variable* language = nullptr;
  scope.Find(&language, "zeto_language", -1, false);
  ASSERT_NE(language, nullptr);
  EXPECT_EQ(language->Value().str(), "en-US");
  app.SetLanguage("nl");  // a library changes it
  EXPECT_EQ(language->Value().str(), "nl");

  // Inside a save level the slot is replaced; spop brings the settable
  // variable back, and it shows the setting as it is now.
  scope.PushSaveLevel();
  VarRef stand_in = VarRef::Adopt(new ImmutableVariable("zeto_language"));
  scope.ReplaceVariable(stand_in.get());
  app.SetLanguage("pt");
  ASSERT_TRUE(scope.PopSaveLevel());
  Variable* restored = nullptr;
  scope.Find(&restored, "zeto_language", -1, false);
  EXPECT_EQ(restored, language);
  EXPECT_EQ(restored->Value().str(), "pt");
}

TEST(ReadOnlySystemVariables, ComputedOnceOrEveryTime) {
  RegistryApplication app;
  VarRef ssl = VarRef::Adopt(new SSLAvailableVariable(&app));
  EXPECT_EQ(ssl->Value_Integer(), 1);
  EXPECT_EQ(ssl->Value().str(), "1");
  EXPECT_EQ(app.ssl_asked, 1);

  app.SetProcessName("worker");
  VarRef process = VarRef::Adopt(new ProcessNameVariable(&app));
  EXPECT_EQ(process->Value().str(), "worker");
  app.SetProcessName("later");
  EXPECT_EQ(process->Value().str(), "worker");

  VarRef remaining = VarRef::Adopt(new TimeRemainingVariable(&app));
  EXPECT_EQ(remaining->Value_Integer(), -1);  // no deadline yet
  app.StartGlobalTimer();
  EXPECT_GT(remaining->Value_Integer(), 0);
  EXPECT_LE(remaining->Value_Integer(), 90);
}

TEST(DynamicTimeVariables, NamesTypesAndPlausibleValues) {
  std::vector<VarRef> fields;
  for (int f = 0; f < DynamicTimeVariable::kFieldCount; ++f) {
    auto field = static_cast<DynamicTimeVariable::Field>(f);
    fields.push_back(VarRef::Adopt(new DynamicTimeVariable(field)));
    EXPECT_EQ(fields.back()->ScalarType(),
              DynamicTimeVariable::IsText(field) ? kTypeText : kTypeInteger)
        << f;
  }
  EXPECT_EQ(fields[0]->Name().str(), "dyn_time_t");
  EXPECT_EQ(fields[7]->Name().str(), "dyn_stm_mon");
  EXPECT_EQ(fields[13]->Name().str(), "dyn_stm_zone");

  time_t before = time(nullptr);
  int32_t now = fields[DynamicTimeVariable::kTimeT]->Value_Integer();
  time_t after = time(nullptr);
  EXPECT_GE(now, before);
  EXPECT_LE(now, after);
  struct tm local;
  localtime_r(&after, &local);
  EXPECT_EQ(fields[DynamicTimeVariable::kYear]->Value_Integer(), local.tm_year + 1900);
  int32_t month = fields[DynamicTimeVariable::kMonth]->Value_Integer();
  EXPECT_GE(month, 1);
  EXPECT_LE(month, 12);
  EXPECT_EQ(fields[DynamicTimeVariable::kMonthName]->Value().size(), 3u);
  int32_t weekday = fields[DynamicTimeVariable::kWeekday]->Value_Integer();
  EXPECT_GE(weekday, 1);
  EXPECT_LE(weekday, 7);
  EXPECT_LT(fields[DynamicTimeVariable::kMicroseconds]->Value_Integer(), 1000000);
  EXPECT_FALSE(fields[DynamicTimeVariable::kZone]->Value().empty());
}

TEST(DynamicTimeVariables, BreakDownIsLocalTime) {
  // 2021-03-04 05:06:07 UTC in UTC itself.
  const char* old = std::getenv("TZ");
  std::string saved = old ? old : "";
  setenv("TZ", "UTC", 1);
  tzset();
  TimeFields f = BreakDownTime(1614834367, 42);
  EXPECT_EQ(f.year, 2021);
  EXPECT_EQ(f.month, 3);
  EXPECT_STREQ(f.month_name, "Mar");
  EXPECT_EQ(f.day, 4);
  EXPECT_EQ(f.hour, 5);
  EXPECT_EQ(f.minute, 6);
  EXPECT_EQ(f.second, 7);
  EXPECT_EQ(f.weekday, 5);  // a Thursday, Sunday = 1
  EXPECT_STREQ(f.weekday_name, "Thu");
  EXPECT_EQ(f.yearday, 63);
  EXPECT_EQ(f.microseconds, 42);
  EXPECT_EQ(f.zone, "UTC");
  if (old) {
    setenv("TZ", saved.c_str(), 1);
  } else {
    unsetenv("TZ");
  }
  tzset();
}

TEST(ConfigurationVariables, IntegerSettingsCopyAsIntegersTextsAsTexts) {
  Config config;
  config.SetInt(config_key::kTimeoutGlobal, 45);
  config.SetText(config_key::kDirData, "123");
  VarRef timeout = VarRef::Adopt(
      new ConfigurationVariable("timeout_global", &config, config_key::kTimeoutGlobal));
  VarRef data = VarRef::Adopt(new ConfigurationVariable("dir_data", &config, config_key::kDirData));
  VarRef host =
      VarRef::Adopt(new ConfigurationVariable("socks_host", &config, config_key::kSocksHost));
  EXPECT_EQ(timeout->VariableClass(), kClassInteger);
  EXPECT_EQ(data->VariableClass(), kClassText);
  EXPECT_EQ(timeout->Value().str(), "45");
  EXPECT_EQ(timeout->Value_Integer(), 45);
  // A text setting has no number, even when it looks like one.
  EXPECT_EQ(data->Value().str(), "123");
  EXPECT_EQ(data->Value_Integer(), 0);
  EXPECT_TRUE(mpd_iszero(data->Value_Decimal()));
  EXPECT_TRUE(host->IsNULL());
  EXPECT_FALSE(data->IsNULL());

  VarRef copy = NewVariable();
  copy->SetValue_Variable(timeout.get());
  EXPECT_EQ(copy->ScalarType(), kTypeInteger);
  EXPECT_EQ(copy->Value_Integer(), 45);
  copy->SetValue_Variable(data.get());
  EXPECT_EQ(copy->ScalarType(), kTypeText);
  EXPECT_EQ(copy->Value().str(), "123");

  // Read live, and unchanged texts keep their storage.
  const char* first = data->Value().data();
  EXPECT_EQ(data->Value().data(), first);
  config.SetInt(config_key::kTimeoutGlobal, 7);
  config.SetText(config_key::kDirData, "/srv/data");
  EXPECT_EQ(timeout->Value_Integer(), 7);
  EXPECT_EQ(data->Value().str(), "/srv/data");
  timeout->SetValue_Integer(1);
  EXPECT_EQ(config.GetInt(config_key::kTimeoutGlobal), 7);
}

TEST(ConfigurationVariables, TheStructureHasEveryMember) {
  Config config;
  RegistryApplication app;
  VarRef all = VarRef::Adopt(new ConfigurationAggregateVariable(&config, &app));
  size_t settings = 0;
  for (const ConfigKeyName& n : ConfigKeyNames()) {
    if (n.member_name == nullptr) continue;
    ++settings;
    auto* member = dynamic_cast<ConfigurationVariable*>(Member(all.get(), n.member_name));
    ASSERT_NE(member, nullptr) << n.member_name;
    EXPECT_EQ(member->key(), n.key);
  }
  EXPECT_EQ(settings, 55u);
  EXPECT_EQ(all->ElementsUsed(), static_cast<int32_t>(settings + 6));
  EXPECT_NE(Member(all.get(), "TIMEOUT_GLOBAL"), nullptr);
  // Locked: nothing can be added or changed.
  Member(all.get(), "made_up", true);
  EXPECT_EQ(Member(all.get(), "made_up"), nullptr);
  EXPECT_EQ(all->ElementsUsed(), static_cast<int32_t>(settings + 6));
}

TEST(ConfigurationVariables, LibraryListsAndLookups) {
  Config config;
  RegistryApplication app;
  VarRef all = VarRef::Adopt(new ConfigurationAggregateVariable(&config, &app));
  Variable* list = Member(all.get(), "database_list");
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(list->AggregateKind(), kKindArray);
  EXPECT_EQ(list->ElementsUsed(), 3);
  EXPECT_EQ(list->Element(AggregateIndex(1), false)->Value().str(), "Zeta");
  EXPECT_EQ(list->Element(AggregateIndex(3), false)->Value().str(), "Mid");
  list->Element(AggregateIndex(1), false)->SetValue("changed", -1);
  EXPECT_EQ(list->Element(AggregateIndex(1), false)->Value().str(), "Zeta");

  Variable* lookup = Member(all.get(), "commerce_lookup");
  ASSERT_NE(lookup, nullptr);
  EXPECT_EQ(lookup->ElementsUsed(), 0);
  EXPECT_EQ(Member(lookup, "ALPHA")->Value_Integer(), 1);
  Variable* missing = Member(lookup, "nosuchtype");
  ASSERT_NE(missing, nullptr);
  EXPECT_EQ(missing->Value_Integer(), 0);
  EXPECT_EQ(lookup->ElementsUsed(), 2);
  EXPECT_EQ(Member(lookup, "NoSuchType"), missing);  // the member now exists
  missing->SetValue_Integer(1);
  EXPECT_EQ(Member(lookup, "nosuchtype")->Value_Integer(), 0);
}

}  // namespace
}  // namespace orin::test
