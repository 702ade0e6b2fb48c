#include "core/multipart.h"

#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/stat.h>
#endif

#include <string>
#include <vector>

#include "base/codepage.h"
#include "base/error.h"
#include "base/text.h"
#include "tests/support/temp_dir.h"

namespace velmaris {
namespace {

using testing::ReadFile;
using testing::TempDir;

// Runs the test inside a temporary working folder, so Windows-style relative paths such as
// "C:\doc\a.txt" name files the test made.
class MultipartTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_old = std::filesystem::current_path();
    std::filesystem::current_path(m_dir.Path());
  }
  void TearDown() override { std::filesystem::current_path(m_old); }

  std::string Write(const CompondFile& package) {
    auto out = m_dir.Path() / "out.pak";
    std::filesystem::remove(out);
    package.PackageToFile(codepage::FromUtf8(out.string()));
    return ReadFile(out);
  }

  TempDir m_dir;
  std::filesystem::path m_old;
};

TEST_F(MultipartTest, WritesTheDocumentedExampleByteForByte) {
  m_dir.Write("C:/doc/a.txt", "abc");
  CompondFile package;
  package.addFormData(u"contentid", u"7");
  package.AddUploadFile(u"a.txt", u"C:\\doc\\a.txt");
  const std::string expected =
      "-----------------------------7d1c934a05c4\r\n"
      "Content-Disposition: form-data; name=\"a.txt\"; filename=\"C:\\doc\\a.txt\"\r\n"
      "Content-Type: text/plain\r\n"
      "\r\n"
      "abc\r\n"
      "-----------------------------7d1c934a05c4\r\n"
      "Content-Disposition: form-data; name=\"contentid\"\r\n"
      "\r\n"
      "7\r\n"
      "-----------------------------7d1c934a05c4--\r\n";
  std::string written = Write(package);
  EXPECT_EQ(written, expected);
  EXPECT_EQ(written.size(), 290u);
}

TEST_F(MultipartTest, EmptyPackageIsTheClosingLineAlone) {
  CompondFile package;
  std::string written = Write(package);
  EXPECT_EQ(written, "-----------------------------7d1c934a05c4--\r\n");
  EXPECT_EQ(written.size(), 45u);
}

TEST_F(MultipartTest, EmptyFileAndChineseValueInGbk) {
  m_dir.Write("empty.bin", "");
  CompondFile package;
  package.AddUploadFile(u"e", u"empty.bin");
  package.addFormData(u"title", u"中文标题");
  std::string written = Write(package);
  EXPECT_NE(written.find("Content-Type: text/plain\r\n\r\n\r\n--"), std::string::npos);
  // Four Chinese characters are eight GBK bytes.
  EXPECT_NE(written.find("\r\n\r\n\xD6\xD0\xCE\xC4\xB1\xEA\xCC\xE2\r\n"), std::string::npos);
  EXPECT_EQ(written.size(), 283u);
}

TEST_F(MultipartTest, HeaderParametersEscapedValuesUnchanged) {
  m_dir.Write("x.txt", "1");
  CompondFile package;
  package.AddUploadFile(u"a\"b\r\nc", u"x.txt");
  package.addFormData(u"n\"", u"v\"al\r\nue");
  package.addFormData(u"snow", u"☃");
  std::string written = Write(package);
  EXPECT_NE(written.find("name=\"a%22b%0D%0Ac\"; filename=\"x.txt\""), std::string::npos);
  EXPECT_NE(written.find("name=\"n%22\"\r\n\r\nv\"al\r\nue\r\n"), std::string::npos);
  EXPECT_NE(written.find("\r\n\r\n&#9731;\r\n"), std::string::npos);
}

TEST_F(MultipartTest, KeyRules) {
  m_dir.Write("f.txt", "x");
  struct Case {
    const char* what;
    std::function<void(CompondFile&)> act;
    int32_t error;  // 0: succeeds
    const char16_t* source;
  };
  const Case cases[] = {
      {"field key ignores case",
       [](CompondFile& p) {
         p.addFormData(u"path", u"1");
         p.addFormData(u"Path", u"2");
       },
       err::kDuplicateKey, kLibrarySource},
      {"file key ignores case",
       [](CompondFile& p) {
         p.AddUploadFile(u"a", u"C:\\A.txt");
         p.AddUploadFile(u"b", u"c:\\a.TXT");
       },
       err::kPackage, u"CompondFile:AddUploadFile Method"},
      {"separate key spaces",
       [](CompondFile& p) {
         p.addFormData(u"k", u"1");
         p.AddUploadFile(u"k", u"k");
       },
       0, nullptr},
      {"names reusable after RemoveAll",
       [](CompondFile& p) {
         p.addFormData(u"k", u"1");
         p.AddUploadFile(u"k", u"k");
         p.RemoveAll();
         p.addFormData(u"K", u"1");
         p.AddUploadFile(u"k", u"K");
       },
       0, nullptr},
      {"removing a missing field", [](CompondFile& p) { p.RemoveFormData(u"none"); },
       err::kInvalidCall, kLibrarySource},
      {"removing a missing file", [](CompondFile& p) { p.RemoveUploadFile(u"none"); },
       err::kInvalidCall, kLibrarySource},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    CompondFile package;
    if (c.error == 0) {
      EXPECT_NO_THROW(c.act(package));
      continue;
    }
    try {
      c.act(package);
      ADD_FAILURE() << "no error";
    } catch (const VbError& e) {
      EXPECT_EQ(e.Number(), c.error);
      EXPECT_EQ(e.Source(), c.source);
      EXPECT_FALSE(e.Description().empty());
    }
    // A failed add leaves the package as it was: one entry.
    EXPECT_LE(package.Fields().size() + package.Files().size(), 1u);
  }
}

TEST_F(MultipartTest, FilesBeforeFieldsInInsertionOrder) {
  m_dir.Write("1.txt", "one");
  m_dir.Write("2.txt", "two");
  CompondFile package;
  package.addFormData(u"b", u"B");
  package.AddUploadFile(u"second", u"2.txt");
  package.addFormData(u"a", u"A");
  package.AddUploadFile(u"first", u"1.txt");
  std::string written = Write(package);
  auto at = [&](const char* text) { return written.find(text); };
  EXPECT_LT(at("name=\"second\""), at("name=\"first\""));
  EXPECT_LT(at("name=\"first\""), at("name=\"b\""));
  EXPECT_LT(at("name=\"b\""), at("name=\"a\""));
}

TEST_F(MultipartTest, MissingLocalFileRaisesFileNotFound) {
  CompondFile package;
  package.AddUploadFile(u"gone", u"gone.txt");
  try {
    Write(package);
    FAIL() << "no error";
  } catch (const VbError& e) {
    EXPECT_EQ(e.Number(), err::kFileNotFound);
  }
}

TEST_F(MultipartTest, OnlyRegularFilesAreCopied) {
  // A device never ends and a pipe without a writer never answers: either would hang the
  // package or fill the disk. Refused as path/file access errors, like a folder, which says what
  // it is.
  struct Case {
    const char16_t* path;
    std::u16string description;
  };
  std::vector<Case> cases = {{testing::kEndlessDevice, u""}, {u"folder", kFolderNotFile}};
#ifndef _WIN32  // a named pipe on Windows lives only while its server does
  ASSERT_EQ(mkfifo((m_dir.Path() / "pipe").c_str(), 0600), 0);
  cases.push_back({u"pipe", u""});
  // Measured as empty, yet it gives bytes: no length to announce.
  cases.push_back({u"/proc/self/status",
                   u"系统报告该文件为空，但读出了内容，无法确定其大小：/proc/self/status"});
#endif
  std::filesystem::create_directory(m_dir.Path() / "folder");
  for (const auto& c : cases) {
    CompondFile package;
    package.AddUploadFile(u"part", c.path);
    try {
      Write(package);
      ADD_FAILURE() << "no error for " << codepage::ToUtf8(c.path);
    } catch (const VbError& e) {
      EXPECT_EQ(e.Number(), err::kPathFileAccess) << codepage::ToUtf8(c.path);
      if (!c.description.empty()) {
        EXPECT_EQ(e.Description(), c.description);
      }
    }
  }
}

TEST_F(MultipartTest, LargeFileCopiedWhole) {
  std::string big(3 * 1024 * 1024 + 17, '\0');
  for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 7);
  m_dir.Write("big.bin", big);
  CompondFile package;
  package.AddUploadFile(u"big", u"big.bin");
  std::string written = Write(package);
  size_t start = written.find("\r\n\r\n") + 4;
  EXPECT_EQ(written.substr(start, big.size()), big);
  EXPECT_EQ(written.size(), start + big.size() + 2 + 45);
}

// A large package's scan lets the loop run. The request is made of what was taken before it,
// whatever the package holds by the time the scan ends (a transfer refuses such edits; this is
// the request's own guarantee), and a sealed package refuses every edit.
TEST_F(MultipartTest, RequestIsWhatWasTakenBeforeTheScan) {
  m_dir.Write("a.txt", "abc");
  m_dir.Write("b.txt", "defgh");
  CompondFile package;
  package.AddUploadFile(u"a", u"a.txt");
  package.addFormData(u"k", u"v");
  const std::string expected = Write(package);
  const PreparedPackage prepared =
      package.Prepare([&](const std::function<std::string()>& choose, int64_t) {
        package.RemoveAll();
        for (int i = 0; i < 50; ++i) package.addFormData(u"f" + DecimalText(i), u"x");
        package.AddUploadFile(u"b", u"b.txt");
        return choose();
      });
  std::string sent;
  for (const auto& piece : prepared.pieces) {
    sent += piece.text;
    std::string bytes(static_cast<size_t>(piece.file_length), '\0');
    if (piece.file_length > 0) piece.file.ReadAt(0, bytes.data(), bytes.size());
    sent += bytes;
  }
  EXPECT_EQ(sent, expected);
  EXPECT_EQ(prepared.length, static_cast<int64_t>(expected.size()));
  ASSERT_EQ(prepared.files.size(), 1u);
  EXPECT_EQ(prepared.files[0].first.m_filename(), u"a.txt");

  package.Seal();
  const std::function<void()> edits[] = {
      [&] { package.addFormData(u"new", u"v"); },
      [&] { package.RemoveFormData(u"f1"); },
      [&] { package.AddUploadFile(u"c", u"c.txt"); },
      [&] { package.RemoveUploadFile(u"b.txt"); },
      [&] { package.RemoveAll(); },
  };
  for (const auto& edit : edits) {
    try {
      edit();
      ADD_FAILURE() << "a sealed package was edited";
    } catch (const VbError& e) {
      EXPECT_EQ(e.Number(), err::kInvalidCall);
      EXPECT_EQ(e.Description(), kTransferUnderWay);
    }
  }
  EXPECT_EQ(package.Fields().size(), 50u);
  package.Unseal();
  package.RemoveAll();
}

// A content holding the boundary would end its part early on the server: such a package is
// written with a longer boundary, and every content arrives whole.
TEST_F(MultipartTest, ContentHoldingTheBoundaryGetsAnotherBoundary) {
  const std::string fixed = kBoundary;
  const std::string delimiter = "\r\n--" + fixed + "\r\n";
  // The delimiter straddles the seam of two pieces the scan reads, and the middle of a file
  // large enough to be read in two halves at once.
  std::string across_chunks(1024 * 1024 - 10, 'x');
  across_chunks += delimiter + "tail";
  std::string across_halves(17 * 1024 * 1024, 'x');
  across_halves.replace(across_halves.size() / 2 - 20, delimiter.size(), delimiter);
  // A surrogate pair, a character GBK lacks and a value of several megabytes come out as if
  // converted whole.
  std::u16string long_value(64 * 1024 - 1, u'中');
  long_value += u"\U0001F600☃";
  long_value.append(600 * 1024, u'文');
  std::u16string across_pieces(64 * 1024 - 10, u'x');
  across_pieces += codepage::FromUtf8(delimiter) + u"tail";
  const struct {
    const char* name;
    std::string file;
    std::u16string value;
    bool changes;
  } cases[] = {
      {"plain contents keep the fixed boundary", "abc", u"v", false},
      {"a near miss keeps it", fixed.substr(0, fixed.size() - 1) + "x", u"v", false},
      {"file starts with it", "--" + fixed + "\r\nforged", u"v", true},
      {"file holds it mid-way", "a" + delimiter + "b", u"v", true},
      {"file holds it across a read piece", across_chunks, u"v", true},
      {"file holds it across the halves", across_halves, u"v", true},
      {"value holds it", "abc", u"x\r\n--" + codepage::FromUtf8(fixed) + u"--\r\n", true},
      {"a long value keeps it", "abc", long_value, false},
      {"value holds it across conversion pieces", "abc", across_pieces, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    m_dir.Write("f.bin", c.file);
    CompondFile package;
    package.AddUploadFile(u"f.bin", u"f.bin");
    package.addFormData(u"field", c.value);
    auto out = m_dir.Path() / "out.pak";
    std::filesystem::remove(out);
    std::string boundary = package.PackageToFile(codepage::FromUtf8(out.string()));
    std::string written = ReadFile(out);
    if (!c.changes) {
      EXPECT_EQ(boundary, fixed);
    } else {
      EXPECT_EQ(boundary.rfind(fixed, 0), 0u);
      EXPECT_GT(boundary.size(), fixed.size());
    }
    // Split on the delimiter actually used: exactly the two parts and the closing line.
    const std::string opener = "--" + boundary + "\r\n";
    ASSERT_EQ(written.rfind(opener, 0), 0u);
    std::vector<std::string> parts;
    size_t at = opener.size();
    for (size_t next; (next = written.find("\r\n--" + boundary, at)) != std::string::npos;
         at = next + 4 + boundary.size() + 2) {
      parts.push_back(written.substr(at, next - at));
    }
    ASSERT_EQ(parts.size(), 2u);
    EXPECT_EQ(parts[0].substr(parts[0].find("\r\n\r\n") + 4), c.file);
    EXPECT_EQ(parts[1].substr(parts[1].find("\r\n\r\n") + 4), codepage::ToGbk(c.value));
    EXPECT_EQ(written.substr(written.size() - boundary.size() - 6), "--" + boundary + "--\r\n");
  }
}

}  // namespace
}  // namespace velmaris
