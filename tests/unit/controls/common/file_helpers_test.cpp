#include "controls/common/file_helpers.h"

#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <set>

#include "base/codepage.h"
#include "base/error.h"
#include "platform/filesystem.h"
#include "tests/support/temp_dir.h"

namespace velmaris {
namespace {

namespace fs = std::filesystem;
using testing::TempDir;

std::u16string U16(const fs::path& path) {
  return codepage::FromUtf8(path.string());
}

int32_t ErrorOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const VbError& error) {
    return error.Number();
  }
  return 0;
}

TEST(FileHelpers, PathText) {
  const struct {
    std::u16string path;
    std::u16string name;
    std::u16string extension;
  } cases[] = {
      {u"C:\\docs\\Report.Final.DOC", u"Report.Final.DOC", u"DOC"},
      {u"C:\\docs.old\\readme", u"readme", u"old\\readme"},
      {u"C:\\docs\\", u"", u""},
      {u"/home/编辑/春季.txt", u"春季.txt", u"txt"},
      {u"  name.txt  ", u"name.txt", u"txt  "},
      {u"plain", u"plain", u""},
      {u"", u"", u""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(codepage::ToUtf8(c.path));
    EXPECT_EQ(GetFileName(c.path), c.name);
    EXPECT_EQ(GetFileExtension(c.path), c.extension);
  }
  EXPECT_EQ(ToBackslashes(u"/a/b\\c/"), u"\\a\\b\\c\\");
}

TEST(FileHelpers, TempFolderFollowsTemp) {
  testing::ScopedEnv temp("TEMP", "/somewhere/else");
  EXPECT_EQ(GetTempFolder(), u"/somewhere/else");
}

TEST(FileHelpers, CreateFolderPathMakesEveryMissingFolder) {
  TempDir dir;
  const std::u16string base = U16(dir.Path());
  // Separators mixed, doubled and trailing, as importers build their folders.
  CreateFolderPath(base + u"\\doc2html\\\\pics/deep\\");
  EXPECT_TRUE(fs::is_directory(dir.Path() / "doc2html/pics/deep"));
  CreateFolderPath(base + u"\\doc2html\\");  // all there already: nothing to do
  CreateFolderPath(u"/");                    // the root itself

  // A relative path is made under the current folder.
  const fs::path cwd = fs::current_path();
  fs::current_path(dir.Path());
  CreateFolderPath(u"rel\\one\\two");
  fs::current_path(cwd);
  EXPECT_TRUE(fs::is_directory(dir.Path() / "rel/one/two"));

  // A file in the way stops the walk; what was made before it stays.
  dir.Write("made/blocker", "x");
  EXPECT_EQ(ErrorOf([&] { CreateFolderPath(base + u"/made/blocker/below"); }), err::kFileExists);
  EXPECT_TRUE(fs::is_directory(dir.Path() / "made"));

  EXPECT_NE(ErrorOf([] { CreateFolderPath(u""); }), 0);
  EXPECT_NE(ErrorOf([] { CreateFolderPath(u"\\\\server\\share"); }), 0);
}

TEST(FileHelpers, DeleteFolderTree) {
  TempDir dir;
  for (const char16_t* ending : {u"", u"\\", u"/"}) {
    dir.Write("tree/sub/file.htm", "x");
    fs::permissions(dir.Path() / "tree/sub/file.htm", fs::perms::owner_read);
    DeleteFolderTree(U16(dir.Path() / "tree") + ending);
    EXPECT_FALSE(fs::exists(dir.Path() / "tree"));
  }
  EXPECT_EQ(ErrorOf([&] { DeleteFolderTree(U16(dir.Path() / "gone")); }), err::kPathNotFound);
  // The root is never taken for a folder to delete.
  EXPECT_EQ(ErrorOf([] { DeleteFolderTree(u"/"); }), err::kPathNotFound);
}

TEST(FileHelpers, MakeTempFileNameCreatesItsFileExclusively) {
  TempDir dir;
  const std::u16string folder = U16(dir.Path()) + u"\\doc2html";
  CreateFolderPath(folder);
  std::set<std::u16string> names;
  for (int i = 0; i < 200; ++i) {
    std::u16string name = MakeTempFileName(folder, u"html");
    ASSERT_EQ(name.rfind(folder + u"\\htm", 0), 0u) << codepage::ToUtf8(name);
    ASSERT_EQ(name.substr(name.size() - 4), u".tmp");
    EXPECT_EQ(fs::file_size(ToNativePath(name)), 0u);
    names.insert(name);
  }
  EXPECT_EQ(names.size(), 200u);
  // A name already on disk is never handed out again, even after its file was emptied by hand.
  for (const auto& name : names) {
    std::ofstream(ToNativePath(name)) << "taken";
  }
  for (int i = 0; i < 50; ++i) EXPECT_EQ(names.count(MakeTempFileName(folder, u"html")), 0u);

  EXPECT_EQ(MakeTempFileName(folder + u"\\missing", u"html"), u"");
  EXPECT_EQ(MakeTempFileName(u"", u"html"), u"");
  EXPECT_EQ(MakeTempFileName(U16(dir.Path()) + u"/", u"x").rfind(U16(dir.Path()) + u"/x", 0), 0u);
}

TEST(FileHelpers, ReadTextFileDecodesAndEndsEveryLineInCrLf) {
  TempDir dir;
  const struct {
    const char* what;
    std::string bytes;
    std::u16string text;
  } cases[] = {
      {"empty", "", u""},
      {"lf endings", "a\nb\n", u"a\r\nb\r\n"},
      {"no final terminator", "a\r\nb", u"a\r\nb\r\n"},
      {"lone cr and blank lines", "a\rb\n\n", u"a\r\nb\r\n\r\n"},
      {"utf-8 without mark", "\xE6\x98\xA5\xE5\xAD\xA3\n", u"春季\r\n"},
      {"utf-8 with mark", "\xEF\xBB\xBF\xE6\x98\xA5\r\n", u"春\r\n"},
      {"gbk", "\xB4\xBA\xBC\xBE\r\n", u"春季\r\n"},
      {"utf-16 little endian", std::string("\xFF\xFE\x25\x66\n\0", 6), u"春\r\n"},
      {"utf-16 big endian", std::string("\xFE\xFF\x66\x25\0\n\0x", 8), u"春\r\nx\r\n"},
      {"utf-16 odd last byte", std::string("\xFF\xFEx\0y", 5), u"x\uFFFD\r\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    auto path = U16(dir.Write("t.txt", c.bytes));
    EXPECT_EQ(ReadTextFile(path), c.text);
    EXPECT_EQ(ReadTextFileOrRaise(path), c.text);
  }
  const std::u16string missing = U16(dir.Path() / "missing.txt");
  EXPECT_EQ(ReadTextFile(missing), u"");
  EXPECT_EQ(ErrorOf([&] { ReadTextFileOrRaise(missing); }), err::kFileNotFound);
  EXPECT_EQ(ReadTextFile(U16(dir.Path())), u"");
  EXPECT_NE(ErrorOf([&] { ReadTextFileOrRaise(U16(dir.Path())); }), 0);
}

}  // namespace
}  // namespace velmaris
