#include "platform/filesystem.h"

#include <gtest/gtest.h>
#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <set>

#include "base/codepage.h"
#include "base/error.h"
#include "tests/support/temp_dir.h"

namespace velmaris {
namespace {

using testing::TempDir;

int32_t ErrorOf(const std::function<void()>& act) {
  try {
    act();
  } catch (const VbError& e) {
    return e.Number();
  }
  return 0;
}

TEST(FileSystemTest, ClassicErrorNumbers) {
  TempDir dir;
  dir.Write("file.txt", "x");
  dir.Write("full/inner.txt", "y");
#ifndef _WIN32
  ASSERT_EQ(mkfifo((dir.Path() / "pipe").c_str(), 0600), 0);
#endif
  FileSystemObject fso;
  auto p = [&](const std::string& relative) { return dir.U16(relative); };
  const char16_t nul = u'\0';
  const struct {
    const char* what;
    std::function<void()> act;
    int32_t error;
  } cases[] = {
      {"GetFile missing", [&] { fso.GetFile(p("none.txt")); }, err::kFileNotFound},
      {"GetFile of a folder", [&] { fso.GetFile(p("full")); }, err::kFileNotFound},
      {"GetFolder missing", [&] { fso.GetFolder(p("none")); }, err::kPathNotFound},
      {"CreateFolder existing", [&] { fso.CreateFolder(p("full")); }, err::kFileExists},
      {"CreateFolder over a file", [&] { fso.CreateFolder(p("file.txt")); }, err::kFileExists},
      {"CreateFolder without parent", [&] { fso.CreateFolder(p("a/b")); }, err::kPathNotFound},
      {"DeleteFolder missing", [&] { fso.DeleteFolder(p("none")); }, err::kPathNotFound},
      {"OpenTextFile missing", [&] { fso.OpenTextFile(p("none.txt")); }, err::kFileNotFound},
      {"DeleteFile missing", [&] { fso.DeleteFile(p("none.txt")); }, err::kFileNotFound},
      {"backslashes accepted", [&] { fso.GetFile(p("full") + u"\\inner.txt"); }, 0},
      // Names the system cannot take must not reach the file they would be cut or mended to.
      {"GetFile with a NUL", [&] { fso.GetFile(p("file.txt") + nul + u".bak"); },
       err::kBadFileName},
      {"GetFolder with a NUL", [&] { fso.GetFolder(p("full") + nul); }, err::kBadFileName},
      {"OpenTextFile with a NUL", [&] { fso.OpenTextFile(p("file.txt") + nul); },
       err::kBadFileName},
      {"DeleteFile with a NUL", [&] { fso.DeleteFile(p("file.txt") + nul + u"x"); },
       err::kBadFileName},
      {"a lone surrogate", [&] { fso.GetFile(p("file") + u'\xD800' + u".txt"); },
       err::kBadFileName},
      // Only regular files are read: a device never ends, a pipe without a writer never answers.
      {"OpenTextFile of a device", [&] { fso.OpenTextFile(testing::kEndlessDevice); },
       err::kPathFileAccess},
#ifndef _WIN32  // a named pipe on Windows lives only while its server does
      {"OpenTextFile of a pipe", [&] { fso.OpenTextFile(p("pipe")); }, err::kPathFileAccess},
#endif
      {"OpenTextFile of a folder", [&] { fso.OpenTextFile(p("full")); }, err::kPathFileAccess},
  };
  for (const auto& c : cases) EXPECT_EQ(ErrorOf(c.act), c.error) << c.what;
  EXPECT_TRUE(fso.FileExists(p("file.txt")));
  EXPECT_FALSE(fso.FileExists(p("file.txt") + nul + u"x"));
  EXPECT_FALSE(fso.FolderExists(p("full") + nul));
  EXPECT_TRUE(std::filesystem::exists(dir.Path() / "file.txt")) << "deleted through a cut name";
}

TEST(FileSystemTest, FileAndFolderEntries) {
  TempDir dir;
  dir.Write("tree/b.txt", "12");
  dir.Write("tree/a.txt", "1");
  dir.Write("tree/sub/c.txt", "123");
  dir.Write("tree/sub/deeper/d.txt", "1234");
#ifndef _WIN32  // links need a privilege on Windows
  std::filesystem::create_directory_symlink(dir.Path() / "tree", dir.Path() / "tree/sub/loop");
#endif
  FileSystemObject fso;

  auto file = fso.GetFile(dir.U16("tree/a.txt"));
  EXPECT_EQ(file.Name, u"a.txt");
  EXPECT_EQ(file.Path, dir.U16("tree/a.txt"));
  EXPECT_EQ(file.Size(), 1);

  auto folder = fso.GetFolder(dir.U16("tree/"));
  EXPECT_EQ(folder.Name, u"tree");
  auto files = folder.Files();
  ASSERT_EQ(files.size(), 2u);
  EXPECT_EQ(files[0].Name, u"a.txt");
  EXPECT_EQ(files[1].size, 2);
  auto subs = folder.SubFolders();
  ASSERT_EQ(subs.size(), 1u);
  EXPECT_EQ(subs[0].Name, u"sub");
  // The link back up the tree is neither listed nor counted.
  EXPECT_EQ(subs[0].SubFolders().size(), 1u);
  EXPECT_EQ(folder.Size(), 10);
}

// Listed names are shown as readably as they can be, and each entry still reaches its own file.
TEST(FileSystemTest, ListedEntriesKeepTheirOwnBytes) {
#ifdef _WIN32
  GTEST_SKIP() << "names on Windows are UTF-16, not bytes";
#endif
  TempDir dir;
  const struct {
    std::string bytes;
    std::u16string shown;
  } cases[] = {
      {"..\\..\\passwd", u"..\\..\\passwd"}, {"\xff.txt", u"%FF.txt"},
      {"\xef\xbf\xbd.txt", u"\uFFFD.txt"},   {"\xd6\xd0.txt", u"中.txt"},  // GBK
      {"\xe4\xb8\xad.txt", u"中.txt"},                                     // the same in UTF-8
  };
  for (const auto& c : cases) dir.Write("t/" + c.bytes, c.bytes);
  auto files = FileSystemObject().GetFolder(dir.U16("t")).Files();
  ASSERT_EQ(files.size(), std::size(cases));
  std::multiset<std::u16string> shown;
  for (const auto& file : files) {
    shown.insert(file.Name);
    EXPECT_EQ(file.Path, dir.U16("t") + u"/" + file.Name);
    EXPECT_EQ(testing::ReadFile(file.native), file.native.filename().string());
  }
  std::multiset<std::u16string> expected;
  for (const auto& c : cases) expected.insert(c.shown);
  EXPECT_EQ(shown, expected);
}

TEST(FileSystemTest, DeleteFolderTakesReadOnlyContents) {
  TempDir dir;
  auto file = dir.Write("ro/sub/f.txt", "x");
  std::filesystem::permissions(file, static_cast<std::filesystem::perms>(0444));
  std::filesystem::permissions(file.parent_path(), static_cast<std::filesystem::perms>(0555));
  FileSystemObject fso;
  fso.DeleteFolder(dir.U16("ro"), true);
  EXPECT_FALSE(fso.FolderExists(dir.U16("ro")));
}

#ifndef _WIN32  // modes, owners and links; Windows makes the folder private by its access list
// A working folder is ours alone: a name others could reach into gets a fresh private folder
// beside it, left as it is; a folder whose path others can change is refused. What is made and
// removed in it never follows a link.
TEST(FileSystemTest, PrivateFolderIsTheUsersAlone) {
  TempDir dir;
  const bool root = geteuid() == 0;
  const struct {
    const char* what;
    std::function<void(const std::string& parent, const std::string& path)> prepare;
    int32_t error;
    bool fresh;  // a fresh folder instead of the name
  } cases[] = {
      {"missing", [](const std::string&, const std::string&) {}, 0, false},
      {"own, readable by others",
       [](const std::string&, const std::string& p) { mkdir(p.c_str(), 0755); }, 0, false},
      {"own, writable by others",
       [](const std::string&, const std::string& p) {
         mkdir(p.c_str(), 0700);
         chmod(p.c_str(), 0777);
       },
       0, true},
      {"a link to an own folder",
       [&](const std::string&, const std::string& p) {
         mkdir((p + ".real").c_str(), 0700);
         symlink((p + ".real").c_str(), p.c_str());
       },
       0, true},
      {"a file", [](const std::string&, const std::string& p) { close(creat(p.c_str(), 0600)); }, 0,
       true},
      {"another user's",
       [&](const std::string&, const std::string& p) {
         mkdir(p.c_str(), 0700);
         if (root) {
           EXPECT_EQ(chown(p.c_str(), 65534, 65534), 0);
         }
       },
       0, root},
      {"in a folder others may write to",
       [](const std::string& parent, const std::string&) { chmod(parent.c_str(), 0777); },
       err::kPathFileAccess, false},
      {"in a sticky folder others may write to",
       [](const std::string& parent, const std::string&) { chmod(parent.c_str(), 01777); }, 0,
       false},
  };
  int n = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string parent = (dir.Path() / ("p" + std::to_string(n++))).string();
    ASSERT_EQ(mkdir(parent.c_str(), 0700), 0);
    const std::string path = parent + "/work";
    c.prepare(parent, path);
    struct stat before {};
    const bool was_there = lstat(path.c_str(), &before) == 0;
    std::u16string made;
    const int32_t error = ErrorOf([&] {
      const PrivateFolder folder = PrivateFolder::Open(codepage::FromUtf8(parent), u"work");
      made = folder.Path();
      EXPECT_EQ(folder.Fresh(), c.fresh);
      EXPECT_EQ(made == codepage::FromUtf8(path), !c.fresh);
      struct stat info {};
      ASSERT_EQ(lstat(codepage::ToUtf8(made).c_str(), &info), 0);
      EXPECT_TRUE(S_ISDIR(info.st_mode));
      EXPECT_EQ(info.st_mode & 0777, 0700u);
      EXPECT_EQ(info.st_uid, geteuid());
      EXPECT_TRUE(folder.StillAtPath());
      EXPECT_TRUE(folder.CreateNewFile(u"a.tmp"));
      EXPECT_FALSE(folder.CreateNewFile(u"a.tmp"));
      // A link inside goes, not what it leads to.
      const std::string inside = codepage::ToUtf8(made);
      ASSERT_EQ(mkdir((inside + "/a.files").c_str(), 0500), 0);
      dir.Write("outside/kept.txt", "x");
      symlink((dir.Path() / "outside").c_str(), (inside + "/a.files/out").c_str());
      chmod((inside + "/a.files").c_str(), 0500);
      EXPECT_TRUE(folder.Remove(u"a.files"));
      EXPECT_TRUE(folder.Remove(u"a.tmp"));
      EXPECT_FALSE(folder.Remove(u"a.tmp"));
      EXPECT_TRUE(std::filesystem::exists(dir.Path() / "outside/kept.txt"));
    });
    EXPECT_EQ(error, c.error);
    if (c.fresh) {
      EXPECT_FALSE(std::filesystem::exists(codepage::ToUtf8(made))) << "a fresh folder stays";
    }
    // What was at the name is left as it was; a link's folder got nothing.
    struct stat after {};
    if (was_there) {
      ASSERT_EQ(lstat(path.c_str(), &after), 0);
      EXPECT_EQ(after.st_ino, before.st_ino);
      EXPECT_EQ(after.st_uid, before.st_uid);
    }
    if (std::filesystem::exists(path + ".real")) {
      EXPECT_TRUE(std::filesystem::is_empty(path + ".real"));
    }
  }
}
#endif

TEST(FileSystemTest, TextStreamLinesInGbk) {
  TempDir dir;
  dir.Write("t.txt", "one\r\n\xD6\xD0\xCE\xC4\nthree\rfour\r\n\r\nlast");
  auto stream = FileSystemObject().OpenTextFile(dir.U16("t.txt"));
  std::vector<std::u16string> lines;
  while (!stream.AtEndOfStream()) lines.push_back(stream.ReadLine());
  EXPECT_EQ(lines, (std::vector<std::u16string>{u"one", u"中文", u"three", u"four", u"", u"last"}));
}

TEST(FileSystemTest, TempFolderFromTempThenTmpdir) {
  testing::ScopedEnv tmpdir("TMPDIR", "/from/tmpdir");
  {
    testing::ScopedEnv temp("TEMP", "/from/temp");
    EXPECT_EQ(TempFolderPath(), u"/from/temp");
  }
  {
    testing::ScopedEnv temp("TEMP", nullptr);
    EXPECT_EQ(TempFolderPath(), u"/from/tmpdir");
    testing::ScopedEnv none("TMPDIR", nullptr);
#ifdef _WIN32  // the system's, without its trailing separator
    EXPECT_EQ(TempFolderPath() + u"\\",
              codepage::FromUtf8(std::filesystem::temp_directory_path().string()));
#else
    EXPECT_EQ(TempFolderPath(), u"/tmp");
#endif
  }
}

}  // namespace
}  // namespace velmaris
