#include "util/config.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <map>
#include <string>

namespace orin {
namespace {

using namespace config_key;

// The built-in defaults, written out independently of the code's switch.
const std::map<uint32_t, int32_t> kIntDefaults = {
    {kLogLevel, 0},
    {kTimeoutGlobal, 90},
    {kTimeoutMail, 30},
    {kTimeoutCall, 30},
    {kTimeoutFile, 30},
    {kDelayFile, 100},
    {kCookies, 0},
    {kBufszImport, 8192},
    {kBufszTemplate, 8192},
    {kBufszCall, 8192},
    {kBufszSmtp, 8192},
    {kBufszContent, 8192},
    {kBufszOutput, 8192},
    {kMaxFiles, 0},
    {kLockExpiration, 90},
    {kFlagsSecurity, 0},
    {kBufszOutputFlush, 1048576},
    {kMaxDoCache, 0},
    {kTimeoutPost, 30},
    {kMaxPostVars, 2000},
    {kMaxUnknownContentLength, 1048576},
    {kSslSni, -1},
    {kMaxAsyncTasks, 0},
    {kTimeoutAsync, 3600},
    {kTimeoutAsyncSleep, 86400},
    {kSocksVersion, 4},
    {kSocksPort, 1080},
    {kSlowRequestSyslog, 0},
    {kTimeoutHeader, 30},
};

const std::map<uint32_t, std::string> kTextDefaults = {
    {kDefaultFile, "index.ztc"},  {kDirUser, "public_pgs"},    {kSslOpenssl, "libssl.so"},
    {kSslCrypto, "libcrypto.so"}, {kErrorSyslogIdent, "Zeto"}, {kSlowRequestSyslogIdent, "Zeto"},
};

TEST(Config, EveryKeyReadsItsDefault) {
  Config c;
  int ints = 0, texts = 0;
  for (const ConfigKeyName& n : ConfigKeyNames()) {
    SCOPED_TRACE(testing::Message() << std::hex << n.key);
    if (IsIntConfigKey(n.key)) {
      ++ints;
      ASSERT_TRUE(kIntDefaults.count(n.key));
      EXPECT_EQ(c.GetInt(n.key), kIntDefaults.at(n.key));
      continue;
    }
    ++texts;
    int32_t len = 99;
    const char* p = c.GetString(n.key, &len);
    if (n.key == kInfoServerAdmin) {
      EXPECT_EQ(std::string(p, len), "webmaster@localhost");
    } else if (kTextDefaults.count(n.key)) {
      ASSERT_NE(p, nullptr);
      EXPECT_EQ(std::string(p, len), kTextDefaults.at(n.key));
    } else {
      // The directories are the application's; everything else has none.
      EXPECT_EQ(p, nullptr);
      EXPECT_EQ(len, 0);
    }
  }
  EXPECT_EQ(ints, static_cast<int>(kIntDefaults.size()));
  EXPECT_EQ(ints + texts, 57);
}

TEST(Config, KindMismatchesAndUnknownKeys) {
  Config c;
  EXPECT_EQ(c.GetInt(kDefaultFile), -1);
  EXPECT_EQ(c.SetInt(kDefaultFile, 5), 0);
  EXPECT_EQ(c.GetText(kDefaultFile), "index.ztc");
  EXPECT_EQ(c.SetString(kTimeoutGlobal, "x", 1, false), 0);
  // An owned buffer refused is still freed (checked by LeakSanitizer).
  EXPECT_EQ(c.SetString(kTimeoutGlobal, strdup("owned"), -1, true), 0);
  EXPECT_EQ(c.GetInt(kTimeoutGlobal), 90);
  int32_t len = 7;
  EXPECT_EQ(c.GetString(kTimeoutGlobal, &len), nullptr);
  EXPECT_EQ(len, 0);
  EXPECT_EQ(c.GetInt(0x01000077), -1);
  EXPECT_EQ(c.GetString(0x02000077, &len), nullptr);
  // bufsz_output_flush and sslconfig share index 0x1D but are distinct.
  EXPECT_EQ(c.SetText(kSslConfig, "/etc/ssl/orin.cnf"), true);
  EXPECT_EQ(c.GetInt(kBufszOutputFlush), 1048576);
  EXPECT_EQ(c.GetText(kSslConfig), "/etc/ssl/orin.cnf");
}

TEST(Config, TextsKeepLengthNulBytesAndOwnership) {
  Config c;
  std::string source("a\0b", 3);
  c.SetString(kLogFile, source.data(), 3, false);
  source[0] = 'X';  // not owned: the config copied it
  int32_t len = 0;
  const char* p = c.GetString(kLogFile, &len);
  EXPECT_EQ(std::string(p, len), std::string("a\0b", 3));

  char* owned = strdup("/var/log/orin.log");
  c.SetString(kLogFile, owned, -1, true);
  EXPECT_EQ(c.GetString(kLogFile, &len), owned);  // adopted, not copied
  EXPECT_EQ(len, 17);

  // An empty text overrides a default; a null text hides it.
  c.SetString(kDefaultFile, "", 0, false);
  p = c.GetString(kDefaultFile, &len);
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(len, 0);
  c.SetString(kDefaultFile, nullptr, 0, false);
  EXPECT_EQ(c.GetString(kDefaultFile, &len), nullptr);
  c.Reset(kDefaultFile);
  EXPECT_EQ(c.GetText(kDefaultFile), "index.ztc");
}

TEST(Config, CopyIsIndependentOfTheOriginal) {
  Config a;
  a.SetInt(kTimeoutGlobal, 5);
  a.SetText(kDirTemp, "/tmp/orin");
  a.SetString(kDefaultFile, nullptr, 0, false);
  Config b(a);
  a.SetText(kDirTemp, "/elsewhere");
  a.SetInt(kTimeoutGlobal, 6);
  EXPECT_EQ(b.GetInt(kTimeoutGlobal), 5);
  EXPECT_EQ(b.GetText(kDirTemp), "/tmp/orin");
  int32_t len;
  EXPECT_EQ(b.GetString(kDefaultFile, &len), nullptr);
  EXPECT_EQ(b.GetInt(kSocksPort), 1080);
}

// A subclass default is asked for once and then kept.
class CountingConfig : public Config {
 public:
  ConfigValue* CreateDefault(uint32_t key) override {
    ++asked;
    if (key == kDirTemp) return CopiedText(key, "/var/tmp/orin");
    return Config::CreateDefault(key);
  }
  int asked = 0;
};

TEST(Config, SubclassDefaultIsCreatedOnce) {
  CountingConfig c;
  EXPECT_EQ(c.GetText(kDirTemp), "/var/tmp/orin");
  EXPECT_EQ(c.GetText(kDirTemp), "/var/tmp/orin");
  EXPECT_EQ(c.GetInt(kTimeoutMail), 30);
  EXPECT_EQ(c.GetInt(kTimeoutMail), 30);
  EXPECT_EQ(c.asked, 2);
  // Keys without a default are asked again each time; they store nothing.
  int32_t len;
  c.GetString(kDirCommerce, &len);
  c.GetString(kDirCommerce, &len);
  EXPECT_EQ(c.asked, 4);
}

TEST(ConfigKeyNames, ValueAndMemberNamesFindTheirKeys) {
  EXPECT_EQ(ConfigKeyByValueName("zetoroot"), kDirZeto);
  EXPECT_EQ(ConfigKeyByValueName("GlobalTimeout"), kTimeoutGlobal);
  EXPECT_EQ(ConfigKeyByValueName("maxunknowncontentlength"), kMaxUnknownContentLength);
  EXPECT_EQ(ConfigKeyByValueName("logcookie"), kLogCookie);
  EXPECT_EQ(ConfigKeyByValueName("sockspassword"), kSocksPassword);
  EXPECT_EQ(ConfigKeyByValueName("port"), 0u);  // a field, not a key
  EXPECT_EQ(ConfigKeyByValueName("bufsz_output"), 0u);
  EXPECT_EQ(ConfigKeyByMemberName("bufsz_output_flush"), kBufszOutputFlush);
  EXPECT_EQ(ConfigKeyByMemberName("ssl_config"), kSslConfig);
  EXPECT_EQ(ConfigKeyByMemberName("Timeout_Global"), kTimeoutGlobal);
  EXPECT_EQ(ConfigKeyByMemberName("sockspassword"), 0u);
  // Every key but the SOCKS password is a member; names are unique.
  int members = 0, values = 0, saved = 0;
  for (const ConfigKeyName& n : ConfigKeyNames()) {
    if (n.member_name) {
      ++members;
      EXPECT_EQ(ConfigKeyByMemberName(n.member_name), n.key) << n.member_name;
    }
    if (n.value_name) {
      ++values;
      EXPECT_EQ(ConfigKeyByValueName(n.value_name), n.key) << n.value_name;
    }
    if (n.saved) {
      ++saved;
      EXPECT_NE(n.value_name, nullptr);
    }
  }
  EXPECT_EQ(members, 55);
  EXPECT_EQ(values, 41);
  EXPECT_EQ(saved, 29);
}

}  // namespace
}  // namespace orin
