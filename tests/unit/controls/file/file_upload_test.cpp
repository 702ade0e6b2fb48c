#include "controls/file/file_upload.h"

#include <gtest/gtest.h>

#include "base/error.h"
#include "tests/support/transfer_fixture.h"
#include "tests/support/transfer_probe.h"

namespace velmaris {
namespace {

class FileUploadTest : public testing::FakeWorld {
 protected:
  FileUpload control{platform};

  std::u16string MakeFile(const std::string& name, const std::string& bytes) {
    return codepage::FromUtf8(files.Write(name, bytes).string());
  }
  // The request body's part headers and values, in order.
  std::vector<std::string> PartNames() const {
    std::vector<std::string> names;
    const std::string& sent = socket->Sent();
    for (size_t at = sent.find("name=\""); at != std::string::npos;
         at = sent.find("name=\"", at + 1)) {
      if (sent.compare(at - 4, 4, "file") == 0) continue;  // filename="..."
      size_t end = sent.find('"', at + 6);
      names.push_back(sent.substr(at + 6, end - at - 6));
    }
    return names;
  }
  std::string FieldValue(const std::string& name) const {
    const std::string& sent = socket->Sent();
    size_t at = sent.find("name=\"" + name + "\"\r\n\r\n");
    if (at == std::string::npos) return "<missing>";
    at += name.size() + 11;
    return sent.substr(at, sent.find("\r\n", at) - at);
  }
};

TEST_F(FileUploadTest, StartUploadSendsFilePartThenFolderThenContentId) {
  auto path = MakeFile("a.doc", "DOC");
  ReplyAfterSend("HTTP/1.1 200 OK\r\nContent-Length: 7\r\n\r\nnew.doc");
  control.addFormData(u"page", u"discarded");
  control.StartUpload(u"upload/2008", u"http://h/cms/upload.asp", path, 12);

  EXPECT_EQ(control.NewFileName(), u"new.doc");
  EXPECT_EQ(socket->RemoteHost(), u"h");
  EXPECT_EQ(socket->RemotePort(), 80);
  EXPECT_EQ(socket->Sent().rfind("POST /cms/upload.asp HTTP/1.1\r\n", 0), 0u);
  EXPECT_EQ(PartNames(), (std::vector<std::string>{"a.doc", "curPath", "contentid"}));
  EXPECT_NE(socket->Sent().find("filename=\"" + codepage::ToUtf8(path) + "\""), std::string::npos);
  EXPECT_EQ(FieldValue("curPath"), "upload/2008/");
  EXPECT_EQ(FieldValue("contentid"), "12");
  EXPECT_EQ(control.GetForm()[u"pbFile"].Value(), 100);
}

TEST_F(FileUploadTest, FolderAndContentIdAsSent) {
  auto path = MakeFile("a.txt", "x");
  const struct {
    const char16_t* sf;
    int32_t contentid;
    const char* folder;
    const char* id;
  } cases[] = {
      {u"a/b/", 0, "a/b/", "0"}, {u"a/b", -1, "a/b/", "-1"}, {u"", 2147483647, "/", "2147483647"}};
  for (const auto& c : cases) {
    socket = nullptr;
    FileUpload fresh(platform);
    fresh.StartUpload(c.sf, u"http://h/", path, c.contentid);  // no reply: fine here
    EXPECT_EQ(FieldValue("curPath"), c.folder);
    EXPECT_EQ(FieldValue("contentid"), c.id);
  }
}

TEST_F(FileUploadTest, FailuresBeforeSending) {
  auto path = MakeFile("a.txt", "x");
  const struct {
    const char* what;
    const char16_t* url;
    std::u16string file;
    int32_t error;
  } cases[] = {{"bad scheme", u"ftp://h/", path, err::kObjectError},
               {"port not a number", u"http://h:x/", path, err::kTypeMismatch},
               {"missing file", u"http://h/", files.U16("gone.txt"), err::kFileNotFound},
               {"folder instead of file", u"http://h/", files.U16(), err::kFileNotFound}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    try {
      control.StartUpload(u"x", c.url, c.file, 1);
      ADD_FAILURE() << "no error";
    } catch (const VbError& e) {
      EXPECT_EQ(e.Number(), c.error);
    }
    EXPECT_EQ(socket->Connects(), 0);
  }
}

TEST_F(FileUploadTest, TwoUploadsOfTheSameFileBothSucceed) {
  auto path = MakeFile("same.txt", "x");
  for (int i = 0; i < 2; ++i) {
    control.StartUpload(u"d", u"http://h/", path, i);
    EXPECT_EQ(control.Transfer().Package().Files().size(), 1u);
  }
  EXPECT_EQ(socket->Connects(), 2);
}

TEST_F(FileUploadTest, LowLevelPathSendsWithoutWaiting) {
  auto path = MakeFile("a.txt", "abc");
  control.AddUploadFile(u"a.txt", path);
  control.addFormData(u"f", u"v");
  control.UploadFile();
  // Returned before any reply: still connected, nothing judged.
  EXPECT_EQ(socket->State(), testing::FakeSocket::kConnected);
  EXPECT_FALSE(TransferProbe::Finished(control.Transfer()));
  EXPECT_EQ(socket->Sent().rfind("POST /upload.asp HTTP/1.1\r\n", 0), 0u);
  EXPECT_NE(socket->Sent().find("Host: 127.0.0.1:80\r\n"), std::string::npos);
  EXPECT_EQ(PartNames(), (std::vector<std::string>{"a.txt", "f"}));
  // The reply still lands when it arrives.
  socket->Deliver("HTTP/1.1 200 OK\r\nContent-Length: 4\r\n\r\nlate");
  EXPECT_EQ(control.NewFileName(), u"late");
}

TEST_F(FileUploadTest, GetFileSize) {
  EXPECT_EQ(control.GetFileSize(MakeFile("empty", "")), 0);
  EXPECT_EQ(control.GetFileSize(MakeFile("five", "12345")), 5);
  try {
    control.GetFileSize(files.U16("gone"));
    FAIL();
  } catch (const VbError& e) {
    EXPECT_EQ(e.Number(), err::kFileNotFound);
  }
  // A sparse file beyond 2 GiB does not fit the 32-bit result.
  auto big = files.Write("big", "");
  std::filesystem::resize_file(big, 3LL * 1024 * 1024 * 1024);
  try {
    control.GetFileSize(codepage::FromUtf8(big.string()));
    FAIL();
  } catch (const VbError& e) {
    EXPECT_EQ(e.Number(), err::kOverflow);
  }
}

}  // namespace
}  // namespace velmaris
