// Roots, path resolution and every way a path could leave its area.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "files/file_manager.h"
#include "temp_dir.h"

namespace orin {
namespace {

const char kOutsideScript[] =
    "The specified path references a path outside the configured script directory";
const char kOutsideData[] =
    "The specified path references a path outside the configured data directory";

class Containment : public ::testing::Test {
 protected:
  Containment() : files_(&env_) {
    tmp_.MakeDir("site/sub");
    tmp_.Write("site/index.ztc", "script");
    tmp_.Write("site/sub/page.ztc", "page");
    tmp_.Write("other/secret", "secret");
    tmp_.MakeDir("data");
    site_ = tmp_ / "site";
    EXPECT_TRUE(files_.SetScriptDirectory(site_)) << files_.ErrorText();
    EXPECT_TRUE(files_.SetDataDirectory(tmp_ / "data")) << files_.ErrorText();
  }

  std::string Resolve(int32_t area, std::string_view path) {
    FilePath resolved;
    if (!files_.ResolvePath(area, path, &resolved)) return "error: " + files_.ErrorText();
    return resolved.Canonical();
  }

  TempDir tmp_;
  SimpleFileEnvironment env_;
  FileManager files_;
  std::string site_;
};

TEST_F(Containment, ConfiguredDirectoriesAreChecked) {
  FileManager m(&env_);
  EXPECT_FALSE(m.SetScriptDirectory("site"));
  EXPECT_EQ(m.ErrorText(), "The configured script directory is not an absolute path");
  EXPECT_FALSE(m.SetDataDirectory("c:\\ZetoOrin\\data"));
  EXPECT_EQ(m.ErrorText(), "The configured data directory is not an absolute path");
  EXPECT_FALSE(m.SetTemporaryDirectory(tmp_ / "nul"));
  EXPECT_EQ(m.ErrorText(),
            "The configured temporary directory references a reserved Windows device name");
  EXPECT_FALSE(m.SetScriptDirectory(tmp_ / "missing"));
  EXPECT_EQ(m.ErrorText(), "The configured script directory does not exist, or is not a directory");
  EXPECT_FALSE(m.SetDataDirectory(tmp_ / "site/index.ztc"));  // a file, not a directory
  EXPECT_EQ(m.ErrorText(), "The configured data directory does not exist, or is not a directory");
  EXPECT_FALSE(m.SetDataDirectory(std::string(tmp_.path()) + std::string("\0x", 2)));
  EXPECT_EQ(m.ErrorText(), "The configured data directory does not exist, or is not a directory");

  // A failed call leaves no root behind.
  ASSERT_TRUE(m.SetScriptDirectory(site_));
  EXPECT_TRUE(m.Exists(kScriptArea, "index.ztc"));
  EXPECT_FALSE(m.SetScriptDirectory(tmp_ / "missing"));
  EXPECT_FALSE(m.Exists(kScriptArea, "index.ztc"));
  EXPECT_EQ(m.ErrorText(), "There is no configured script directory");
  EXPECT_EQ(m.Open(kDataArea, "x", kOpenRead), nullptr);
  EXPECT_EQ(m.ErrorText(), "There is no configured data directory");
  EXPECT_EQ(m.Open(kTemporaryArea, "x", kOpenRead), nullptr);
  EXPECT_EQ(m.ErrorText(), "There is no configured data directory");
}

TEST_F(Containment, RelativePathsStayInTheirArea) {
  EXPECT_EQ(Resolve(kScriptArea, "/a/../b.txt"), site_ + "/b.txt");
  EXPECT_EQ(Resolve(kScriptArea, "\\\\sub\\page.ztc"), site_ + "/sub/page.ztc");
  EXPECT_EQ(Resolve(kScriptArea, "sub/.."), site_);
  std::string outside = std::string("error: ") + kOutsideScript;
  EXPECT_EQ(Resolve(kScriptArea, "/../secret.txt"), outside);
  EXPECT_EQ(Resolve(kScriptArea, "a.b\\..\\..\\x"), outside);
  EXPECT_EQ(Resolve(kScriptArea, "sub/../../other/secret"), outside);
  EXPECT_EQ(Resolve(kDataArea, "../site/index.ztc"), std::string("error: ") + kOutsideData);
  // Letter case is part of the name: site and SITE are different places.
  EXPECT_EQ(Resolve(kScriptArea, "../SITE/index.ztc"), outside);
  EXPECT_EQ(Resolve(kScriptArea, "../sitex/index.ztc"), outside);
}

TEST_F(Containment, NamesThatAreRefused) {
  EXPECT_EQ(Resolve(kScriptArea, "data.dbf:stream"),
            "error: The specified path references an NTFS alternate data stream");
  for (const char* name : {"aux.txt", "sub/lpt9", "CON", "x/nul.dat"}) {
    EXPECT_EQ(Resolve(kScriptArea, name),
              "error: The specified path references a Windows reserved device name")
        << name;
  }
  EXPECT_EQ(Resolve(kScriptArea, "aux1"), site_ + "/aux1");
  EXPECT_EQ(Resolve(kScriptArea, "con/x"), site_ + "/con/x");  // only the last name counts
  std::string nul("index.ztc\0../../other/secret", 28);
  EXPECT_EQ(Resolve(kScriptArea, nul), "error: The specified path contains a NUL byte");
  EXPECT_EQ(files_.Open(std::string(site_) + std::string("\0", 1), kOpenRead), nullptr);
  EXPECT_EQ(files_.ErrorText(), "The specified path contains a NUL byte");
  EXPECT_EQ(Resolve(kScriptArea, std::string(5000, 'a')), "error: File name too long");
}

TEST_F(Containment, TemporaryAreaFallsBackToData) {
  EXPECT_EQ(Resolve(kTemporaryArea, "t"), tmp_ / "data/t");
  EXPECT_EQ(Resolve(kTemporaryArea, "../x"), std::string("error: ") + kOutsideData);
  tmp_.MakeDir("temp");
  ASSERT_TRUE(files_.SetTemporaryDirectory(tmp_ / "temp"));
  EXPECT_EQ(Resolve(kTemporaryArea, "t"), tmp_ / "temp/t");
  EXPECT_EQ(Resolve(kTemporaryArea, "../x"),
            "error: The specified path references a path outside the configured temporary "
            "directory");
}

// Symbolic links: to a file outside, to a directory outside, a relative one
// that climbs out, and a dangling one whose target would be created outside.
class SymlinkContainment : public Containment {
 protected:
  SymlinkContainment() {
    tmp_.Link("site/file_out", tmp_ / "other/secret");
    tmp_.Link("site/dir_out", tmp_ / "other");
    tmp_.Link("site/sub/up", "../../other");
    tmp_.Link("site/dangling", tmp_ / "other/created");
    tmp_.Link("site/alias.ztc", "sub/page.ztc");  // stays inside: allowed
  }
};

TEST_F(SymlinkContainment, OpenIsRefused) {
  for (const char* path : {"file_out", "dir_out/secret", "sub/up/secret", "dangling"}) {
    EXPECT_EQ(files_.Open(kScriptArea, path, kOpenRead | kOpenWrite | kOpenCreate), nullptr)
        << path;
    EXPECT_EQ(files_.ErrorText(), kOutsideScript) << path;
  }
  EXPECT_FALSE(tmp_.Has("other/created"));
  EXPECT_EQ(tmp_.Read("other/secret"), "secret");
  auto inside = files_.Open(kScriptArea, "alias.ztc", kOpenRead);
  ASSERT_NE(inside, nullptr) << files_.ErrorText();
  char buffer[8];
  EXPECT_EQ(inside->Read(buffer, 8), 4);
  // The absolute form is held to the root the path lies in, too.
  EXPECT_EQ(files_.Open(site_ + "/dir_out/secret", kOpenRead), nullptr);
  EXPECT_EQ(files_.ErrorText(), kOutsideScript);
  // Outside every root the system's own absolute paths are not confined.
  EXPECT_NE(files_.Open(tmp_ / "other/secret", kOpenRead), nullptr);
}

TEST_F(SymlinkContainment, EveryOperationIsRefused) {
  tmp_.MakeDir("other/empty");
  std::filesystem::path secret = tmp_ / "other/secret";
  auto before = std::filesystem::last_write_time(secret);
  std::vector<std::string> names;
  std::string temp_path;
  bool directory = false;
  int64_t seconds = 0;
  FileManager& f = files_;
  const int32_t s = kScriptArea;
  std::vector<std::pair<const char*, std::function<bool()>>> attempts = {
      {"Delete", [&] { return f.Delete(s, "dir_out/secret"); }},
      {"Delete via parent", [&] { return f.Delete(s, "sub/up/secret"); }},
      {"Exists", [&] { return f.Exists(s, "file_out"); }},
      {"Size", [&] { return f.Size(s, "dir_out/secret") >= 0; }},
      {"Stat", [&] { return f.Stat(s, "sub/up", &directory); }},
      {"IsDirectory", [&] { return f.IsDirectory(s, "dir_out"); }},
      {"Touch", [&] { return f.Touch(s, "file_out"); }},
      {"SetTime", [&] { return f.SetTime(s, "dir_out/secret", 1000); }},
      {"GetTime", [&] { return f.GetTime(s, "file_out", &seconds); }},
      {"SetAttributes", [&] { return f.SetAttributes(s, "file_out", kAttributeReadOnly); }},
      {"MakeDirectory", [&] { return f.MakeDirectory(s, "dir_out/new"); }},
      {"RemoveDirectory", [&] { return f.RemoveDirectory(s, "sub/up/empty"); }},
      {"ListDirectory", [&] { return f.ListDirectory(s, "dir_out", &names); }},
      {"Copy out", [&] { return f.Copy(s, "index.ztc", "dir_out/copied"); }},
      {"Copy in", [&] { return f.Copy(s, "file_out", "stolen"); }},
      {"Rename out", [&] { return f.Rename(s, "sub/page.ztc", "dir_out/moved"); }},
      {"Rename in", [&] { return f.Rename(s, "dir_out/secret", "stolen"); }},
      {"CreateTempFile",
       [&] { return f.CreateTempFile(s, "dir_out", "t", &temp_path, kOpenWrite) != nullptr; }},
      {"AcquireLock", [&] { return f.AcquireLock(s, "dir_out/x.lck") == kLockAcquired; }},
      {"CheckLock", [&] { return f.CheckLock(s, "sub/up/secret") != kLockRetry; }},
      {"ReleaseLock", [&] { return f.ReleaseLock(s, "dir_out/secret"); }},
  };
  for (auto& [what, attempt] : attempts) {
    EXPECT_FALSE(attempt()) << what;
    EXPECT_EQ(f.ErrorText(), kOutsideScript) << what;
  }
  EXPECT_TRUE(names.empty());
  EXPECT_EQ(tmp_.Read("other/secret"), "secret");
  EXPECT_EQ(std::filesystem::last_write_time(secret), before);
  EXPECT_EQ(std::filesystem::status(secret).permissions() & std::filesystem::perms::owner_write,
            std::filesystem::perms::owner_write);
  std::set<std::string> left;
  for (auto& e : std::filesystem::directory_iterator(tmp_ / "other")) {
    left.insert(e.path().filename().string());
  }
  EXPECT_EQ(left, std::set<std::string>({"secret", "empty"}));
  EXPECT_TRUE(tmp_.Has("site/sub/page.ztc"));
  EXPECT_FALSE(tmp_.Has("site/stolen"));
  // Deleting the link itself is fine: the link lives inside.
  EXPECT_TRUE(files_.Delete(kScriptArea, "file_out")) << files_.ErrorText();
  EXPECT_TRUE(tmp_.Has("other/secret"));
}

TEST_F(Containment, SymbolicLinksCannotBeMade) {
  EXPECT_FALSE(files_.MakeSymbolicLink(kScriptArea, "index.ztc", "link"));
  EXPECT_EQ(files_.ErrorText(), "FileManager::MakeSymbolicLink is not implemented");
  EXPECT_FALSE(tmp_.Has("site/link"));
}

TEST_F(Containment, TaskManagerCopiesRoots) {
  FileManager child(&env_);
  ASSERT_TRUE(child.CopyRoots(files_)) << child.ErrorText();
  EXPECT_EQ(child.RootText(kScriptArea), site_);
  EXPECT_TRUE(child.Exists(kScriptArea, "sub/page.ztc"));
  EXPECT_EQ(child.RootText(kTemporaryArea), "");
}

}  // namespace
}  // namespace orin
