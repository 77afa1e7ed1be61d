#include "files/file_path.h"

#include <gtest/gtest.h>

#include "files/file_manager.h"

namespace orin {
namespace {

TEST(FilePath, NormalisesDotsAndMixedSeparators) {
  struct Case {
    const char* text;
    const char* canonical;
    bool absolute;
  } cases[] = {
      {"a/./b/../c", "a/c", false},
      {"a\\b//c/", "a/b/c", false},  // a trailing separator adds no component
      {"\\\\srv\\share", "/srv/share", true},
      {"/a/../b.txt", "/b.txt", true},
      {"/../secret.txt", "/secret.txt", true},  // nothing above the top
      {"/../../..", "/", true},
      {"../../x", "../../x", false},  // a relative path keeps leading ".."
      {"a/../../x", "../x", false},
      {"a/b/../../..", "..", false},
      {".", "", false},
      {"", "", false},
      {"/", "/", true},
  };
  for (const Case& c : cases) {
    FilePath p(c.text);
    EXPECT_EQ(p.Canonical(), c.canonical) << c.text;
    EXPECT_EQ(p.absolute(), c.absolute) << c.text;
  }
}

TEST(FilePath, LastComponentAndPrefixes) {
  EXPECT_EQ(FilePath("/srv/site/a.txt/").LastComponent(), "a.txt");
  EXPECT_EQ(FilePath("x/../..").LastComponent(), "");  // ".." is never a name
  EXPECT_EQ(FilePath("/").LastComponent(), "");
  FilePath root("/tmp/x/site");
  EXPECT_TRUE(FilePath("/tmp/x/site/a").StartsWith(root));
  EXPECT_TRUE(FilePath("/tmp/x/site").StartsWith(root));
  EXPECT_FALSE(FilePath("/tmp/x/sitex/a").StartsWith(root));  // components, not bytes
  EXPECT_FALSE(FilePath("/tmp/x/SITE/a").StartsWith(root));   // letter case counts
  EXPECT_FALSE(FilePath("/tmp/x").StartsWith(root));
  EXPECT_TRUE(FilePath("/anything").StartsWith(FilePath("/")));
  EXPECT_EQ(FilePath("/tmp/x/site/a/b").JoinFrom(root.NormalisedCount()), "a/b");
}

TEST(FilePath, ReservedDeviceNames) {
  for (const char* name :
       {"aux", "AUX", "con", "nul.txt", "Prn.x.y", "COM1", "com9", "lpt9", "LPT1.log"}) {
    EXPECT_TRUE(FileManager::IsReservedDeviceName(name)) << name;
  }
  for (const char* name :
       {"aux1", "console", "COM0", "com", "lpt", "nul_", "xcon", "", "COMA", "prn-list"}) {
    EXPECT_FALSE(FileManager::IsReservedDeviceName(name)) << name;
  }
}

}  // namespace
}  // namespace orin
