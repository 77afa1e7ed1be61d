#include "server/content_type.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "server/directory_script_area.h"
#include "server/server_test_support.h"

namespace orin {
namespace {

using testing_support::TempDir;

MimeTypes TableFrom(const TempDir& dir, const std::string& text) {
  dir.Write("mime.types", text);
  MimeTypes t;
  EXPECT_TRUE(t.LoadFile((dir.path() / "mime.types").string()));
  return t;
}

TEST(ContentType, ExtensionRules) {
  TempDir dir;
  MimeTypes t = TableFrom(dir,
                          "# comment line\n"
                          "image/png\t\tpng\n"
                          "text/html html htm # trailing comment\n"
                          "application/x-first\tdup\n"
                          "application/x-second dup\n"
                          "type/without-extensions\n");
  EXPECT_EQ(ContentTypeOf("/site/logo.png", t), "image/png");
  EXPECT_EQ(ContentTypeOf("/site/LOGO.PNG", t), "image/png");  // letter case ignored
  EXPECT_EQ(ContentTypeOf("/site/page.htm", t), "text/html");
  EXPECT_EQ(ContentTypeOf("/x.dup", t), "application/x-first");
  EXPECT_EQ(ContentTypeOf("/site/index.ZtC", t), kCompiledScriptType);
  // Trailing dots and separators are ignored.
  EXPECT_EQ(ContentTypeOf("/site/page.html./", t), "text/html");
  EXPECT_EQ(ContentTypeOf("C:\\site\\run.ztc\\", t), kCompiledScriptType);
  // No extension: a dot only in a directory name does not count.
  EXPECT_EQ(ContentTypeOf("/site.png/README", t), kDefaultContentType);
  EXPECT_EQ(ContentTypeOf("/dir.png\\README", t), kDefaultContentType);
  EXPECT_EQ(ContentTypeOf("README", t), kDefaultContentType);
  EXPECT_EQ(ContentTypeOf("", t), kDefaultContentType);
  EXPECT_EQ(ContentTypeOf("...", t), kDefaultContentType);
  EXPECT_EQ(ContentTypeOf("/a.unknownext", t), kDefaultContentType);
  // 127 bytes of extension with its dot are looked up; 128 are not.
  TempDir dir2;
  std::string ext126(126, 'e');
  MimeTypes long_ext = TableFrom(dir2, "application/x-long " + ext126 + " " + ext126 + "e\n");
  EXPECT_EQ(ContentTypeOf("/f." + ext126, long_ext), "application/x-long");
  EXPECT_EQ(ContentTypeOf("/f." + ext126 + "e", long_ext), kDefaultContentType);
}

TEST(ContentType, SystemTableKnowsCommonTypes) {
  // /etc/mime.types (package media-types) or the built-in table: either way.
  EXPECT_EQ(ContentTypeOf("/a/b.png"), "image/png");
  EXPECT_EQ(ContentTypeOf("/a/b.css"), "text/css");
  EXPECT_EQ(ContentTypeOf("/a/b.ztc"), kCompiledScriptType);
  MimeTypes built_in;
  built_in.LoadBuiltIn();
  EXPECT_EQ(built_in.Find("JPG"), "image/jpeg");
  EXPECT_FALSE(MimeTypes().LoadFile("/nonexistent/mime.types"));
}

class DirectoryScriptAreaTest : public ::testing::Test {
 protected:
  void SetUp() override {
    site_.Write("site/a/index.ztc", "x");
    site_.Write("site/top.txt", "12345");
    site_.Write("secret.txt", "outside");
    ASSERT_TRUE(area_.SetRoot((site_.path() / "site").string())) << area_.ErrorText();
  }
  bool Resolve(std::string_view path) { return area_.Resolve(path, &file_, &dir_); }

  TempDir site_;
  DirectoryScriptArea area_;
  std::string file_;
  bool dir_ = false;
};

TEST_F(DirectoryScriptAreaTest, ResolvesFilesAndDirectoriesWithEitherSeparator) {
  ASSERT_TRUE(Resolve("/a"));
  EXPECT_TRUE(dir_);
  ASSERT_TRUE(Resolve("\\a\\index.ztc"));
  EXPECT_FALSE(dir_);
  EXPECT_EQ(file_, area_.root() + "/a/index.ztc");
  ASSERT_TRUE(Resolve("//./a/./index.ztc"));
  ASSERT_TRUE(Resolve(""));
  EXPECT_TRUE(dir_);
  EXPECT_FALSE(Resolve("/missing"));
  EXPECT_EQ(area_.ErrorText(), "File not found");
}

TEST_F(DirectoryScriptAreaTest, RefusesEscapes) {
  EXPECT_FALSE(Resolve("/../secret.txt"));
  EXPECT_FALSE(Resolve("/a/..\\..\\secret.txt"));
  EXPECT_FALSE(Resolve("/a/.."));  // even when it would stay inside
  EXPECT_FALSE(Resolve(std::string_view("/top.txt\0x", 10)));
  std::filesystem::create_symlink(site_.path() / "secret.txt", site_.path() / "site" / "link.txt");
  EXPECT_FALSE(Resolve("/link.txt"));
  EXPECT_EQ(area_.ErrorText(), "The path is outside the script area");
}

TEST_F(DirectoryScriptAreaTest, OpensRegularFilesWithTheirSize) {
  ASSERT_TRUE(Resolve("/top.txt"));
  int64_t size = -1;
  auto stream = area_.OpenForReading(file_, &size);
  ASSERT_NE(stream, nullptr) << area_.ErrorText();
  EXPECT_EQ(size, 5);
  char buf[8];
  EXPECT_EQ(stream->Read(buf, sizeof buf), 5);
  ASSERT_TRUE(Resolve("/a"));
  EXPECT_EQ(area_.OpenForReading(file_, &size), nullptr);
}

TEST(DirectoryScriptArea, NothingResolvesWithoutAnAcceptedRoot) {
  DirectoryScriptArea area;
  std::string file;
  bool dir;
  EXPECT_FALSE(area.Resolve("/", &file, &dir));
  EXPECT_FALSE(area.SetRoot(""));
  EXPECT_FALSE(area.SetRoot("/nonexistent/orin/root"));
  EXPECT_FALSE(area.Resolve("/", &file, &dir));
}

}  // namespace
}  // namespace orin
