#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "app/orin_config.h"
#include "app/orin_config_loader.h"
#include "vm/error_settings.h"

namespace orin {
namespace {

namespace fs = std::filesystem;
using namespace config_key;

// A fresh directory per test holding a user and a machine-wide file.
class ConfigFileTest : public testing::Test {
 protected:
  void SetUp() override {
    std::string tmpl = (fs::temp_directory_path() / "orin-config-XXXXXX").string();
    ASSERT_NE(mkdtemp(tmpl.data()), nullptr);
    dir_ = tmpl;
    files_ = {dir_ + "/user/vm.toml", dir_ + "/etc/vm.toml"};
    saved_settings_ = CopyDefaultErrorSettings();
    const char* home = getenv("HOME");
    home_ = home ? home : "";
  }
  void TearDown() override {
    setenv("HOME", home_.c_str(), 1);
    RestoreDefaultErrorSettings(saved_settings_);
    fs::remove_all(dir_);
  }
  void Write(const std::string& path, const std::string& text) {
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream(path) << text;
  }
  std::string Read(const std::string& path) {
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }

  std::string dir_;
  std::string home_;
  ConfigFiles files_;
  ErrorSettings saved_settings_;
};

TEST_F(ConfigFileTest, WithoutFilesEverythingIsDefault) {
  setenv("HOME", dir_.c_str(), 1);
  OrinConfigLoader c(files_);
  EXPECT_TRUE(c.Load());
  EXPECT_EQ(c.GetInt(kTimeoutGlobal), 90);
  EXPECT_EQ(c.GetText(kDefaultFile), "index.ztc");
  EXPECT_EQ(c.GetText(kDirZeto), dir_ + "/ZetoOrin/html");
  EXPECT_EQ(c.GetText(kDirData), dir_ + "/ZetoOrin/data");
  EXPECT_EQ(c.port(), 80);
  EXPECT_EQ(*c.ShowDialogField(), 1);
  EXPECT_TRUE(c.Libraries().empty());
}

TEST_F(ConfigFileTest, ValuesOverrideDefaultsAndWrongTypesAreIgnored) {
  Write(files_.user,
        "globaltimeout = 12\n"
        "MailTimeout = 7\n"           // names ignore letter case
        "calltimeout = \"45\"\n"      // a text where a number belongs
        "defaultfile = 3\n"           // a number where a text belongs
        "datadir = \"\"\n"            // empty overrides the default
        "usesni = 4294967295\n"       // a DWORD's view of -1
        "filetimeout = 5000000000\n"  // does not fit 32 bits
        "logfile = \"a\\u0000b\"\n"
        "port = 8080\n"
        "showdialog = 0\n"
        "bufsz_output = 1\n");  // has no name in the file
  OrinConfigLoader c(files_);
  ASSERT_TRUE(c.Load()) << c.ErrorText();
  EXPECT_EQ(c.GetInt(kTimeoutGlobal), 12);
  EXPECT_EQ(c.GetInt(kTimeoutMail), 7);
  EXPECT_EQ(c.GetInt(kTimeoutCall), 30);
  EXPECT_EQ(c.GetText(kDefaultFile), "index.ztc");
  int32_t len = -1;
  ASSERT_NE(c.GetString(kDirData, &len), nullptr);
  EXPECT_EQ(len, 0);
  EXPECT_EQ(c.GetInt(kSslSni), -1);
  EXPECT_EQ(c.GetInt(kTimeoutFile), 30);
  EXPECT_EQ(c.GetText(kLogFile), std::string("a\0b", 3));
  EXPECT_EQ(c.port(), 8080);
  EXPECT_EQ(c.show_dialog(), 0);
  EXPECT_EQ(c.GetInt(kBufszOutput), 8192);
}

TEST_F(ConfigFileTest, MachineFileIsReadUnderTheUserFile) {
  Write(files_.system, "globaltimeout = 60\nmailtimeout = 10\nlibraries = [\"s,sys,/lib/a.so\"]\n");
  Write(files_.user, "globaltimeout = 70\n");
  OrinConfigLoader c(files_);
  ASSERT_TRUE(c.Load());
  EXPECT_EQ(c.GetInt(kTimeoutGlobal), 70);
  EXPECT_EQ(c.GetInt(kTimeoutMail), 10);
  ASSERT_EQ(c.Libraries().size(), 1u);
  // Saving writes the merged values into the user file only.
  ASSERT_TRUE(c.Save()) << c.ErrorText();
  EXPECT_NE(Read(files_.user).find("mailtimeout = 10"), std::string::npos);
  EXPECT_EQ(Read(files_.system).find("globaltimeout = 70"), std::string::npos);
}

TEST_F(ConfigFileTest, OversizedFileIsRefused) {
  Write(files_.user, "globaltimeout = 1\n" + std::string(17 << 20, '#') + "\n");
  OrinConfigLoader c(files_);
  EXPECT_FALSE(c.Load());
  EXPECT_EQ(c.ErrorText(), "Error reading '" + files_.user + "': The file is too large");
  EXPECT_EQ(c.GetInt(kTimeoutGlobal), 90);
}

TEST_F(ConfigFileTest, BrokenMachineFileStillReadsTheUserFile) {
  Write(files_.system, "[unclosed\n");
  Write(files_.user, "globaltimeout = 70\n");
  OrinConfigLoader c(files_);
  EXPECT_FALSE(c.Load());
  EXPECT_NE(c.ErrorText().find(files_.system), std::string::npos) << c.ErrorText();
  EXPECT_EQ(c.GetInt(kTimeoutGlobal), 70);
}

TEST_F(ConfigFileTest, HomeComesFromTheAccountWhenHomeIsUnusable) {
  unsetenv("ZETO_ORIN_CONFIG");
  unsetenv("XDG_CONFIG_HOME");
  setenv("HOME", "not-absolute", 1);
  struct passwd* pw = getpwuid(getuid());
  std::string expect = pw ? std::string(pw->pw_dir) + "/.config/zeto/orin/vm.toml" : "";
  EXPECT_EQ(DefaultConfigFiles().user, expect);
  // Without a user file there is nothing to read and nowhere to save.
  ConfigStore store(ConfigFiles{"", ""});
  EXPECT_TRUE(store.Load());
  store.SetInt("port", 1);
  EXPECT_FALSE(store.Save());
  EXPECT_EQ(store.ErrorText(), "No settings file is configured");
}

TEST_F(ConfigFileTest, ReloadRevertsRemovedValues) {
  Write(files_.user, "globaltimeout = 12\nport = 81\n");
  OrinConfigLoader c(files_);
  ASSERT_TRUE(c.Load());
  c.SetInt(kLockExpiration, 5);
  Write(files_.user, "mailtimeout = 1\n");
  ASSERT_TRUE(c.Load());
  EXPECT_EQ(c.GetInt(kTimeoutGlobal), 90);
  EXPECT_EQ(c.GetInt(kLockExpiration), 90);
  EXPECT_EQ(c.port(), 80);
}

TEST_F(ConfigFileTest, BrokenFileIsReportedAndNeverOverwritten) {
  Write(files_.user, "globaltimeout = \n");
  OrinConfigLoader c(files_);
  EXPECT_FALSE(c.Load());
  EXPECT_NE(c.ErrorText().find(files_.user), std::string::npos) << c.ErrorText();
  EXPECT_NE(c.ErrorText().find("line 1"), std::string::npos) << c.ErrorText();
  EXPECT_EQ(c.GetInt(kTimeoutGlobal), 90);
  EXPECT_FALSE(c.Save());
  EXPECT_EQ(Read(files_.user), "globaltimeout = \n");
}

TEST_F(ConfigFileTest, TextThatIsNotUtf8IsNotSaved) {
  Write(files_.user, "globaltimeout = 5\n");
  OrinConfigLoader c(files_);
  ASSERT_TRUE(c.Load());
  c.SetText(kLogFile, "bad\xff");
  EXPECT_FALSE(c.Save());
  EXPECT_NE(c.ErrorText().find("Error writing '" + files_.user + "'"), std::string::npos)
      << c.ErrorText();
  EXPECT_EQ(Read(files_.user), "globaltimeout = 5\n");
}

TEST_F(ConfigFileTest, SaveRoundTripKeepsUnsavedValues) {
  Write(files_.user, "maxdocache = 33\nlogfile = \"/old.log\"\nfiledelay = 1\n");
  OrinConfigLoader a(files_);
  ASSERT_TRUE(a.Load());
  a.SetInt(kTimeoutGlobal, 0);
  a.SetText(kSocksHost, "proxy.example");
  a.SetString(kLogFile, nullptr, 0, false);  // no value: removed from the file
  a.SetText(kDirUser, "mine");               // not a saved value
  a.SetInt(kMaxDoCache, 1);                  // not saved: the file's 33 stays
  *a.PortField() = 8123;
  ASSERT_TRUE(a.Save()) << a.ErrorText();

  std::string text = Read(files_.user);
  EXPECT_EQ(text.find("logfile"), std::string::npos);
  struct stat st;
  ASSERT_EQ(stat(files_.user.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);  // the file holds the SOCKS password
  size_t entries = 0;
  for (const auto& e : fs::directory_iterator(fs::path(files_.user).parent_path())) {
    (void)e;
    ++entries;
  }
  EXPECT_EQ(entries, 1u);  // no temporary file left behind

  OrinConfigLoader b(files_);
  ASSERT_TRUE(b.Load());
  EXPECT_EQ(b.GetInt(kTimeoutGlobal), 0);
  EXPECT_EQ(b.GetText(kSocksHost), "proxy.example");
  EXPECT_EQ(b.GetText(kLogFile), "");
  EXPECT_EQ(b.GetText(kDirUser), "public_pgs");
  EXPECT_EQ(b.GetInt(kMaxDoCache), 33);
  EXPECT_EQ(b.GetInt(kDelayFile), 1);
  EXPECT_EQ(b.port(), 8123);
  EXPECT_EQ(b.GetText(kSslOpenssl), "libssl.so");  // defaults are written too
  EXPECT_NE(text.find("openssl = 'libssl.so'"), std::string::npos) << text;
}

TEST_F(ConfigFileTest, LibraryEntries) {
  Write(files_.user,
        "libraries = [\n"
        "  \"c,pay,/lib/pay.so\",\n"
        "  \"Database,dbf,/lib/db,with,commas.so\",\n"
        "  \"b,ignored-name,/lib/builtin.so\",\n"
        "  \"S,sys,/lib/sys.so\",\n"
        "  \"x,bad,/lib/x.so\",\n"
        "  \"c,missing-comma\",\n"
        "  \"\",\n"
        "  7,\n"
        "]\n");
  OrinConfigLoader c(files_);
  ASSERT_TRUE(c.Load()) << c.ErrorText();
  const auto& libs = c.Libraries();
  ASSERT_EQ(libs.size(), 4u);
  EXPECT_EQ(libs[0].kind, kLibraryCommerce);
  EXPECT_EQ(libs[0].name, "pay");
  EXPECT_EQ(libs[1].kind, kLibraryDatabase);
  EXPECT_EQ(libs[1].path, "/lib/db,with,commas.so");
  EXPECT_EQ(libs[2].kind, kLibraryBuiltin);
  EXPECT_EQ(libs[2].name, "n/a");
  EXPECT_EQ(libs[3].kind, kLibrarySystem);

  ASSERT_TRUE(c.SaveLibraries()) << c.ErrorText();
  OrinConfigLoader again(files_);
  ASSERT_TRUE(again.Load());
  ASSERT_EQ(again.Libraries().size(), 4u);
  EXPECT_NE(Read(files_.user).find("'b,n/a,/lib/builtin.so'"), std::string::npos);
  EXPECT_NE(Read(files_.user).find("'d,dbf,/lib/db,with,commas.so'"), std::string::npos);
}

TEST_F(ConfigFileTest, ErrorSettingEntries) {
  Write(files_.user,
        "errorsettings = [\"ZtOPEN=fatal\", \"ztif=Display\", \"bogus=fatal\", \"noequals\","
        " \"ztasync=FATAL,display\"]\n");
  OrinConfigLoader loader(files_);
  ASSERT_TRUE(loader.Load());
  ASSERT_EQ(loader.ErrorSettings().size(), 3u);
  EXPECT_EQ(loader.ErrorSettings()[1].name, "ztif");
  EXPECT_EQ(loader.ErrorSettings()[1].value, "Display");
  // The loader only lists them; the process-wide table is unchanged.
  EXPECT_EQ(CopyDefaultErrorSettings()[28], kErrorDisplay);

  // A run's configuration applies them, starting from the table it found.
  RestoreDefaultErrorSettings(saved_settings_);
  SetDefaultErrorSetting(2, 0);  // say a configuration library set this
  OrinConfig run(nullptr, files_);
  ASSERT_TRUE(run.Load());
  ErrorSettings now = CopyDefaultErrorSettings();
  EXPECT_EQ(now[28], kErrorFatal);
  EXPECT_EQ(now[0], kErrorDisplay);
  EXPECT_EQ(now[75], kErrorFatal | kErrorDisplay);
  EXPECT_EQ(now[2], 0);
  run.ClearErrorSettings();
  EXPECT_EQ(CopyDefaultErrorSettings()[28], kErrorDisplay);
  EXPECT_EQ(CopyDefaultErrorSettings()[2], 0);

  loader.ClearErrorSettings();
  loader.SetErrorSetting("ZtCALL", "display");
  ASSERT_TRUE(loader.SaveErrorSettings());
  EXPECT_NE(Read(files_.user).find("errorsettings = [ 'ZtCALL=display' ]"), std::string::npos)
      << Read(files_.user);
}

// Records what a run's configuration registers.
class RecordingRegistrar : public LibraryRegistrar {
 public:
  void RegisterBuiltinLibrary(std::string_view path) override { Add("b", "", path); }
  void RegisterCommerceLibrary(std::string_view name, std::string_view path) override {
    Add("c", name, path);
  }
  void RegisterDatabaseLibrary(std::string_view name, std::string_view path) override {
    Add("d", name, path);
  }
  void RegisterSystemLibrary(std::string_view name, std::string_view path) override {
    Add("s", name, path);
  }
  std::vector<std::string> calls;

 private:
  void Add(const char* kind, std::string_view name, std::string_view path) {
    calls.push_back(std::string(kind) + ":" + std::string(name) + ":" + std::string(path));
  }
};

TEST_F(ConfigFileTest, RunConfigurationRegistersLibrariesDirectly) {
  Write(files_.user,
        "libraries = [\"b,x,/b.so\", \"d,dbf,/d.so\", \"s,sys,/s.so\", \"c,pay,/c.so\"]\n");
  RecordingRegistrar registrar;
  OrinConfig run(&registrar, files_);
  ASSERT_TRUE(run.Load());
  EXPECT_EQ(registrar.calls,
            (std::vector<std::string>{"b::/b.so", "d:dbf:/d.so", "s:sys:/s.so", "c:pay:/c.so"}));
}

TEST_F(ConfigFileTest, FileLocation) {
  setenv("HOME", dir_.c_str(), 1);
  unsetenv("ZETO_ORIN_CONFIG");
  setenv("XDG_CONFIG_HOME", (dir_ + "/xdg").c_str(), 1);
  EXPECT_EQ(DefaultConfigFiles().user, dir_ + "/xdg/zeto/orin/vm.toml");
  EXPECT_EQ(DefaultConfigFiles().system, "/etc/zeto/orin/vm.toml");
  setenv("XDG_CONFIG_HOME", "relative", 1);  // must be absolute to count
  EXPECT_EQ(DefaultConfigFiles().user, dir_ + "/.config/zeto/orin/vm.toml");
  setenv("ZETO_ORIN_CONFIG", (dir_ + "/env.toml").c_str(), 1);
  EXPECT_EQ(DefaultConfigFiles().user, dir_ + "/env.toml");
  EXPECT_EQ(DefaultConfigFiles().system, "");
  SetConfigFileOverride(dir_ + "/option.toml");
  EXPECT_EQ(DefaultConfigFiles().user, dir_ + "/option.toml");

  // A loader without explicit files follows the current choice, and saving
  // creates the directories it needs.
  SetConfigFileOverride(dir_ + "/new/deeper/vm.toml");
  OrinConfigLoader c;
  ASSERT_TRUE(c.Load());
  c.SetInt(kTimeoutGlobal, 3);
  ASSERT_TRUE(c.Save()) << c.ErrorText();
  EXPECT_NE(Read(dir_ + "/new/deeper/vm.toml").find("globaltimeout = 3"), std::string::npos);
  SetConfigFileOverride("");
  unsetenv("ZETO_ORIN_CONFIG");
  unsetenv("XDG_CONFIG_HOME");
}

}  // namespace
}  // namespace orin
