#include "controls/file/multi_upload.h"

#include <gtest/gtest.h>

#include <deque>
#include <optional>
#include <set>

#include "base/error.h"
#include "controls/file/folder_browse.h"
#include "platform/filesystem.h"
#include "tests/support/transfer_fixture.h"
#include "tests/support/transfer_probe.h"

namespace velmaris {
namespace {

using testing::FakeSocket;

constexpr char kOk[] = "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok";
constexpr char kSilent[] = "";

// One request as the server would read it.
struct Request {
  std::u16string name;      // the file part's field name
  std::u16string filename;  // the file part's filename text
  std::u16string path;      // the "path" field
  std::string content;
  bool file_part_first = false;
};

std::string Between(const std::string& text, const std::string& open, const std::string& close,
                    size_t from = 0) {
  size_t at = text.find(open, from);
  if (at == std::string::npos) return "<missing>";
  at += open.size();
  return text.substr(at, text.find(close, at) - at);
}

class MultiUploadTest : public testing::FakeWorld {
 protected:
  // Replies to the coming requests in order (kSilent: none); after them every request gets 200.
  std::deque<std::string> replies;
  std::optional<MultiUpload> control;

  void SetUp() override { Make(); }

  MultiUpload& Make() {
    // Whatever the old socket still has scheduled runs while it is alive.
    loop.RunFor(std::chrono::seconds(1));
    control.reset();
    control.emplace(platform);
    FakeSocket* s = socket;
    auto previous = s->on_send_progress;
    s->on_send_progress = [this, s, previous](int64_t sent, int64_t remaining) {
      bool last = remaining == 0 && s->Unsent() == 0;
      previous(sent, remaining);
      if (!last) return;
      std::string reply = kOk;
      if (!replies.empty()) {
        reply = replies.front();
        replies.pop_front();
      }
      if (!reply.empty())
        loop.After(std::chrono::milliseconds(50), [s, reply] { s->Deliver(reply); });
    };
    return *control;
  }

  FormControl& Child(std::u16string_view name) { return control->GetForm()[name]; }
  void Click(std::u16string_view name) { Child(name).on_click(); }

  // Writes a tree below a folder of its own; a name ending in "/" is an empty folder.
  std::u16string Tree(const std::string& root,
                      const std::vector<std::pair<std::string, std::string>>& entries) {
    std::filesystem::create_directories(files.Path() / root);
    for (const auto& [name, bytes] : entries) {
      if (name.back() == '/') {
        std::filesystem::create_directories(files.Path() / root / name);
      } else {
        files.Write(root + "/" + name, bytes);
      }
    }
    return files.U16(root);
  }

  void Pick(const std::optional<std::u16string>& folder) {
    ui.QueueFolderAnswer(folder);
    Click(u"Command1");
  }

  // Picks `folder`, names the server directory and presses the start button.
  void RunTree(const std::u16string& folder, const std::u16string& sf = u"up") {
    Pick(folder);
    control->StartUpload(sf, u"http://h/upload.asp");
    ASSERT_TRUE(Child(u"Command2").Enabled());
    Click(u"Command2");
  }

  std::vector<Request> Requests() const {
    std::vector<Request> requests;
    const std::string& sent = socket->Sent();
    const std::string start = "POST /upload.asp HTTP/1.1\r\n";
    for (size_t at = sent.find(start); at != std::string::npos;) {
      size_t next = sent.find(start, at + 1);
      std::string one = sent.substr(at, next == std::string::npos ? next : next - at);
      Request r;
      r.name = codepage::FromGbk(Between(one, "form-data; name=\"", "\""));
      r.filename = codepage::FromGbk(Between(one, "filename=\"", "\""));
      r.path = codepage::FromGbk(Between(one, "name=\"path\"\r\n\r\n", "\r\n"));
      r.content = Between(one, "\r\n\r\n", "\r\n--", one.find("filename=\""));
      r.file_part_first = one.find("filename=\"") < one.find("name=\"path\"");
      requests.push_back(std::move(r));
      at = next;
    }
    return requests;
  }

  std::vector<std::u16string> Boxes() const {
    std::vector<std::u16string> boxes;
    for (const auto& shown : ui.History()) {
      if (shown.kind == u"msgbox") boxes.push_back(shown.caption + u"|" + shown.text);
    }
    return boxes;
  }
};

TEST_F(MultiUploadTest, FormAsCreated) {
  const struct {
    const char16_t* name;
    ControlKind kind;
    const char16_t* text;
    Rect rect;
  } children[] = {
      {u"lblTitle", ControlKind::kLabel, u"批量上传文件到服务器", {240, 240, 6375, 255}},
      {u"Label3", ControlKind::kLabel, u"本地目录：", {360, 720, 975, 255}},
      {u"txtDir", ControlKind::kTextBox, u"", {1440, 600, 4335, 375}},
      {u"Command1", ControlKind::kButton, u"...", {5880, 600, 615, 375}},
      {u"Label1", ControlKind::kLabel, u"当前文件进度：", {240, 1200, 1455, 255}},
      {u"pbFile", ControlKind::kProgressBar, u"", {240, 1440, 6255, 255}},
      {u"Label2", ControlKind::kLabel, u"总体进度：", {240, 1800, 1455, 255}},
      {u"pb", ControlKind::kProgressBar, u"", {240, 2040, 6255, 255}},
      {u"lblFileName", ControlKind::kLabel, u"", {240, 2400, 6375, 255}},
      {u"Command2", ControlKind::kButton, u"开始上传", {4680, 2880, 1575, 495}},
  };
  Form& form = control->GetForm();
  EXPECT_EQ(form.Width(), 6870);
  EXPECT_EQ(form.Height(), 3600);
  ASSERT_EQ(form.Children().size(), std::size(children));
  for (const auto& c : children) {
    SCOPED_TRACE(codepage::ToUtf8(c.name));
    const FormControl& child = form[c.name];
    EXPECT_EQ(child.Kind(), c.kind);
    EXPECT_EQ(child.Text(), c.text);
    EXPECT_EQ(child.Geometry().left, c.rect.left);
    EXPECT_EQ(child.Geometry().top, c.rect.top);
    EXPECT_EQ(child.Geometry().width, c.rect.width);
    EXPECT_EQ(child.Geometry().height, c.rect.height);
    EXPECT_EQ(child.Enabled(), c.name != std::u16string_view(u"Command2"));
  }
  // The transfer's defaults, seen through the low-level members.
  auto path = files.Write("one.txt", "abc");
  control->AddUploadFile(u"one.txt", codepage::FromUtf8(path.string()));
  control->addFormData(u"k", u"v");
  control->UploadFile();
  EXPECT_EQ(socket->RemoteHost(), u"127.0.0.1");
  EXPECT_EQ(socket->RemotePort(), 80);
  ASSERT_EQ(Requests().size(), 1u);
  EXPECT_EQ(Requests()[0].name, u"one.txt");
  EXPECT_FALSE(TransferProbe::Finished(control->Transfer())) << "UploadFile does not wait";
}

TEST_F(MultiUploadTest, WalkOrderPathFieldAndThumbnailCache) {
  using Sent = std::vector<std::pair<std::u16string, std::u16string>>;  // "path", file name
  const struct {
    const char* what;
    std::vector<std::pair<std::string, std::string>> tree;
    const char16_t* sf;
    Sent sent;
  } cases[] = {
      {"two requests, Thumbs.db skipped",
       {{"a.txt", "A"}, {"Thumbs.db", "T"}, {"s/b.txt", "B"}},
       u"up",
       {{u"up/", u"a.txt"}, {u"up/s/", u"b.txt"}}},
      // Names that differ only by case are one file on Windows.
      {"only the exact name is skipped",
       {{"THUMBS.DB", "T"},
        {"Thumbs.db.bak", "b"},
        {"x/Thumbs.db", "T"},
#ifndef _WIN32
        {"thumbs.db", "t"}
#endif
       },
       u"up/",
       {{u"up/", u"THUMBS.DB"},
        {u"up/", u"Thumbs.db.bak"},
#ifndef _WIN32
        {u"up/", u"thumbs.db"}
#endif
       }},
      {"files first, then each subfolder whole",
       {{"z.txt", "z"},
        {"b/c.txt", "c"},
        {"b/d/e.txt", "e"},
        {"b/d/f/", ""},
        {"s/f.txt", "f"},
        {"a.txt", "a"}},
       u"",
       {{u"/", u"a.txt"},
        {u"/", u"z.txt"},
        {u"/b/", u"c.txt"},
        {u"/b/d/", u"e.txt"},
        {u"/s/", u"f.txt"}}},
      {"names outside ASCII",
       {{"文档/报告 1.doc", "d"}, {"文档/图片/照片.jpg", "j"}},
       u"上传/2008",
       {{u"上传/2008/文档/", u"报告 1.doc"}, {u"上传/2008/文档/图片/", u"照片.jpg"}}},
      {"empty tree", {{"e/f/", ""}, {"g/", ""}}, u"up", {}},
  };
  int n = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Make();
    ui.ClearHistory();
    std::u16string root = Tree("case" + std::to_string(++n), c.tree);
    RunTree(root, c.sf);

    Sent sent;
    for (const Request& r : Requests()) {
      sent.emplace_back(r.path, r.name);
      EXPECT_TRUE(r.file_part_first);
      // The filename text is the file's full path, which the file system reads back.
      EXPECT_EQ(r.filename.rfind(root + testing::kSeparator, 0), 0u)
          << codepage::ToUtf8(r.filename);
      EXPECT_EQ(r.content, testing::ReadFile(ToNativePath(r.filename)));
    }
    EXPECT_EQ(sent, c.sent);
    EXPECT_EQ(Boxes(), std::vector<std::u16string>{u"|所有文件上传完成."});
    EXPECT_EQ(ui.History().back().style, msgbox::kOkOnly);
    EXPECT_EQ(Child(u"pb").Value(), 100);
    EXPECT_FALSE(Child(u"Command2").Enabled());
    if (!c.sent.empty()) {
      EXPECT_EQ(Child(u"lblFileName").Text(), u"正在发送文件:" + c.sent.back().second);
    }
    EXPECT_TRUE(TempIsEmpty());
  }
}

TEST_F(MultiUploadTest, ProgressOfFileAndTree) {
  // What the form shows, in order: the file's name, then "f" and "t" for each new value of the
  // file's and the tree's progress bar.
  const struct {
    const char* what;
    std::vector<std::pair<std::string, std::string>> tree;
    const char* shown;
  } cases[] = {
      // 1/8 = 12.5 and 3/8 = 37.5 round to even.
      {"halves to even",
       {{"a", "1"}, {"b", "22"}, {"c", "55555"}},
       "a f80 f100 t12 b f0 f80 f100 t38 c f0 f79 f80 f100 t100"},
      // Thumbs.db counts in the total but is never sent: 100 comes only at the end.
      {"cache counted, not sent",
       {{"Thumbs.db", "xx"}, {"a", "12"}, {"s/b", "1234"}},
       "a f80 f100 t25 b f0 f79 f80 f100 t75 t100"},
      {"only empty files",
       {{"a", ""}, {"s/b", ""}, {"s/c", ""}},
       "a f80 f100 t100 b f0 f80 f100 c f0 f80 f100"},
      {"no files", {{"s/", ""}}, "t100"},
  };
  int n = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Make();
    std::string shown;
    auto show = [&](const std::string& what) { shown += (shown.empty() ? "" : " ") + what; };
    Child(u"lblFileName").on_state_changed = [&](const FormControl& label) {
      show(codepage::ToUtf8(label.Text()).substr(std::string("正在发送文件:").size()));
    };
    Child(u"pbFile").on_state_changed = [&](const FormControl& bar) {
      show("f" + std::to_string(static_cast<int>(bar.Value())));
    };
    Child(u"pb").on_state_changed = [&](const FormControl& bar) {
      show("t" + std::to_string(static_cast<int>(bar.Value())));
    };
    RunTree(Tree("progress" + std::to_string(++n), c.tree));
    EXPECT_EQ(shown, c.shown);
  }
}

TEST_F(MultiUploadTest, ErrorRepliesShowABoxAndTheWalkGoesOn) {
  replies = {"HTTP/1.1 500 Internal Server Error\r\nContent-Length: 3\r\n\r\nbad", kOk, kSilent,
             "HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\n\r\n"};
  RunTree(Tree("t", {{"a", "1"}, {"b", "2"}, {"c", "3"}, {"d", "4"}, {"e", "5"}}));

  ASSERT_EQ(Requests().size(), 5u);
  auto boxes = ui.History();
  ASSERT_EQ(boxes.size(), 4u);  // picker, two error replies, completion
  for (size_t i : {1, 2}) {
    EXPECT_EQ(boxes[i].caption, u"文件上传时出错!");
    EXPECT_EQ(boxes[i].style, msgbox::kCritical | msgbox::kOkOnly);
  }
  EXPECT_EQ(boxes[1].text, u"HTTP/1.1 500 Internal Server Error\r\nContent-Length: 3\r\n\r\nbad");
  EXPECT_EQ(boxes[2].text.rfind(u"HTTP/1.1 404 Not Found", 0), 0u);
  // Only a run whose every file was taken is complete.
  EXPECT_EQ(boxes[3].text, u"共 5 个文件，其中 3 个上传失败.");
  EXPECT_EQ(boxes[3].style, msgbox::kOkOnly | msgbox::kExclamation);
  // The silent server held the walk for the reply limit, then the walk went on.
  EXPECT_GE(loop.ElapsedMs(), 30000);
  EXPECT_LT(loop.ElapsedMs(), 32000);
  EXPECT_EQ(control->SentBytes(), 5);
  EXPECT_EQ(socket->State(), FakeSocket::kClosed);

  // A server that cannot be reached stops the run at its first file: one socket box, not one a
  // file, and the files left count as not taken.
  Make();
  ui.ClearHistory();
  socket->connect_mode = FakeSocket::ConnectMode::kRefuse;
  RunTree(Tree("t2", {{"a", "1"}, {"Thumbs.db", "T"}, {"s/b", "2"}, {"s/c", "3"}}));
  EXPECT_EQ(socket->Connects(), 1);
  EXPECT_EQ(Boxes(), (std::vector<std::u16string>{
                         u"|连接被强制拒绝",
                         u"|无法连接服务器，上传已停止.\r\n共 3 个文件，其中 3 个上传失败."}));
  EXPECT_EQ(Child(u"pb").Value(), 100);
}

TEST_F(MultiUploadTest, PickerStartUploadAndTheStartButton) {
  // p: pick the folder, c: cancel the picker, e: picker gives no path, s: StartUpload,
  // r: press the start button.
  const struct {
    const char* steps;
    bool enabled;
    bool dir_shown;
    size_t requests;
  } cases[] = {
      {"p", false, true, 0},   {"s", false, false, 0},    {"ps", true, true, 0},
      {"sp", true, true, 0},   {"spc", true, false, 0},   {"spcr", true, false, 0},
      {"spe", true, false, 0}, {"spr", false, true, 1},   {"sprs", true, true, 1},
      {"sprp", true, true, 1}, {"sprc", false, false, 1}, {"sprpr", false, true, 2},
  };
  std::u16string root = Tree("pick", {{"a.txt", "a"}});
  for (const auto& c : cases) {
    SCOPED_TRACE(c.steps);
    Make();
    for (const char* step = c.steps; *step; ++step) {
      switch (*step) {
        case 'p':
          Pick(root);
          break;
        case 'c':
          Pick(std::nullopt);
          break;
        case 'e':
          Pick(u"");
          break;
        case 's':
          control->StartUpload(u"up", u"http://h/upload.asp");
          break;
        case 'r':
          Click(u"Command2");
          break;
      }
    }
    EXPECT_EQ(Child(u"Command2").Enabled(), c.enabled);
    EXPECT_EQ(Child(u"txtDir").Text(), c.dir_shown ? root + u"\\" : u"");
    EXPECT_EQ(control->LocalDir(), Child(u"txtDir").Text());
    EXPECT_EQ(Requests().size(), c.requests);
  }
  // The picker is asked without a title of its own.
  EXPECT_EQ(ui.History()[0].kind, u"folder");
  EXPECT_EQ(ui.History()[0].caption, u"");
}

TEST_F(MultiUploadTest, StartUploadTakesTheServerDirectoryAndAddress) {
  const struct {
    const char16_t* sf;
    const char16_t* url;
    int32_t error;
    const char16_t* dir;
  } cases[] = {
      {u"up", u"http://h:81/x.asp", 0, u"up/"},
      {u"up/", u"http://h/", 0, u"up/"},
      {u"", u"http://h/", 0, u"/"},
      {u"other", u"ftp://h/", err::kObjectError, u"before/"},
      {u"other", u"http://h:x/", err::kTypeMismatch, u"before/"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(codepage::ToUtf8(c.url));
    Make();
    control->StartUpload(u"before", u"http://b/");
    try {
      control->StartUpload(c.sf, c.url);
      EXPECT_EQ(c.error, 0);
    } catch (const VbError& e) {
      EXPECT_EQ(e.Number(), c.error);
    }
    EXPECT_EQ(control->ServerDir(), c.dir);
    EXPECT_EQ(control->Transfer().Host(), c.error == 0 ? u"h" : u"b");
  }
}

TEST_F(MultiUploadTest, FinalWaitEndsWhenNothingWasSent) {
  std::u16string empty = Tree("empty", {{"s/", ""}});
  // A new control: the timer runs, nothing was ever sent.
  int64_t before = loop.ElapsedMs();
  RunTree(empty);
  EXPECT_LT(loop.ElapsedMs() - before, 1000);
  // After a run whose last file timed out, nothing is awaited and no timer runs: a wait for a
  // reply could never end.
  replies = {kSilent};
  RunTree(Tree("one", {{"a", "1"}}));
  before = loop.ElapsedMs();
  ui.ClearHistory();
  RunTree(empty);
  EXPECT_LT(loop.ElapsedMs() - before, 1000);
  EXPECT_EQ(Boxes().back(), u"|所有文件上传完成.");
}

TEST_F(MultiUploadTest, LinksToFoldersAreNotFollowed) {
#ifdef _WIN32
  GTEST_SKIP() << "links need a privilege on Windows";
#endif
  std::u16string root = Tree("links", {{"a.txt", "a"}, {"sub/b.txt", "b"}});
  auto native = ToNativePath(root);
  std::filesystem::create_directory_symlink(native, native / "sub" / "loop");
  std::filesystem::create_directory_symlink(native / "sub", native / "again");
  std::filesystem::create_symlink(native / "a.txt", native / "sub" / "c.txt");
  RunTree(root);

  std::vector<std::u16string> sent;
  for (const Request& r : Requests()) sent.push_back(r.path + r.name);
  // A link to a file is the file; links to folders are left alone.
  EXPECT_EQ(sent, (std::vector<std::u16string>{u"up/a.txt", u"up/sub/b.txt", u"up/sub/c.txt"}));
  EXPECT_EQ(control->TotalBytes(), 3);
}

TEST_F(MultiUploadTest, TreesBeyondTwoGigabytes) {
  // A sparse cache file makes the tree 3 GiB without sending it.
  std::u16string root = Tree("big", {{"a.txt", "a"}, {"Thumbs.db", ""}});
  std::filesystem::resize_file(ToNativePath(root) / "Thumbs.db", 3LL << 30);
  RunTree(root);
  EXPECT_EQ(control->TotalBytes(), (3LL << 30) + 1);
  EXPECT_EQ(control->SentBytes(), 1);
  EXPECT_EQ(Requests().size(), 1u);
  EXPECT_EQ(Child(u"pb").Value(), 100);
}

TEST_F(MultiUploadTest, ErrorInsideTheWalkEndsTheRun) {
  std::u16string root = Tree("vanish", {{"a", "1"}, {"b", "2"}, {"c", "3"}});
  // The third file goes away while the first one is sent.
  Child(u"lblFileName").on_state_changed = [&](const FormControl& label) {
    if (label.Text() == u"正在发送文件:a") std::filesystem::remove(ToNativePath(root) / "c");
  };
  RunTree(root);
  EXPECT_EQ(Requests().size(), 2u);
  ASSERT_EQ(ui.History().size(), 2u);
  EXPECT_EQ(ui.History()[1].style, msgbox::kCritical);
  EXPECT_EQ(ui.History()[1].text, DefaultDescription(err::kFileNotFound));
  EXPECT_FALSE(Child(u"Command2").Enabled());
  EXPECT_FALSE(control->Running());
  EXPECT_TRUE(TempIsEmpty());

  // A folder that is gone before the run starts: nothing is sent.
  Make();
  ui.ClearHistory();
  std::u16string gone = Tree("gone", {{"a", "1"}});
  Pick(gone);
  control->StartUpload(u"up", u"http://h/");
  std::filesystem::remove_all(ToNativePath(gone));
  Click(u"Command2");
  EXPECT_EQ(Requests().size(), 0u);
  EXPECT_EQ(ui.History().back().text, DefaultDescription(err::kPathNotFound));
  // Choosing again makes the button ready again.
  Pick(root);
  EXPECT_TRUE(Child(u"Command2").Enabled());
}

TEST_F(MultiUploadTest, NoSecondRunInsideARun) {
  std::u16string other = Tree("o", {{"x", "1"}});
  bool was_enabled = true;
  Child(u"lblFileName").on_state_changed = [&](const FormControl& label) {
    if (label.Text() != u"正在发送文件:a") return;
    // The user picks again, the page names the directory again, the user presses start.
    Pick(other);
    control->StartUpload(u"up2", u"http://other:81/elsewhere.asp");
    was_enabled = Child(u"Command2").Enabled();
    Click(u"Command2");
  };
  RunTree(Tree("t", {{"a", "1"}, {"b", "2"}, {"s/c", "3"}}));
  EXPECT_FALSE(was_enabled);
  ASSERT_EQ(Requests().size(), 3u);
  EXPECT_EQ(Requests()[1].path, u"up/");
  EXPECT_EQ(Requests()[2].path + Requests()[2].name, u"up/s/c");
  // The choice made during the run counts once it is over; the run kept its address.
  EXPECT_TRUE(Child(u"Command2").Enabled());
  EXPECT_EQ(control->LocalDir(), other + u"\\");
  EXPECT_EQ(control->Transfer().Path(), u"/elsewhere.asp");
  EXPECT_EQ(control->Transfer().Port(), u"81");
}

// Names a walk lists are entries of their folder, opened by their own bytes: "\" is a character
// like any other, a name need not be UTF-8, and nothing outside the chosen folder is read.
TEST_F(MultiUploadTest, WalkStaysInsideItsFolderAndSendsEveryEntryOnce) {
#ifdef _WIN32
  GTEST_SKIP() << "names holding a backslash or bytes that are no text exist only on POSIX";
#endif
  files.Write("private/secret.txt", "secret");
  RunTree(Tree("t", {{"..\\..\\..\\..\\..\\..\\..\\etc\\passwd", "1"},
                     {"..\\private/s.txt", "2"},
                     {"\\/x.txt", "3"},
                     {"\xff.txt", "4"},
                     {"\xef\xbf\xbd.txt", "5"},
                     {"\xd6\xd0/y.txt", "6"}}));
  std::multiset<std::string> contents;
  std::set<std::u16string> shown;
  for (const auto& request : Requests()) {
    contents.insert(request.content);
    shown.insert(request.path + request.name);
  }
  EXPECT_EQ(contents, (std::multiset<std::string>{"1", "2", "3", "4", "5", "6"}));
  EXPECT_TRUE(shown.count(u"up/%FF.txt")) << "a name that is no text is sent escaped";
  EXPECT_TRUE(shown.count(u"up/中/y.txt")) << "a GBK folder name is read as GBK";
  EXPECT_TRUE(shown.count(u"up/..\\private/s.txt"));
  EXPECT_EQ(Boxes().back(), u"|所有文件上传完成.");
}

TEST(FolderBrowseTest, BrowseForFolderAndTrailingBackslash) {
  const struct {
    std::optional<std::u16string> answer;
    const char16_t* result;
  } browse[] = {
      {u"/home/u/docs", u"/home/u/docs\\"},
      {u"/home/u/docs\\", u"/home/u/docs\\"},
      {u"/", u"/\\"},
      {std::u16string(u"/a\0junk", 7), u"/a\\"},
      {u"", u""},
      {std::nullopt, u""},
  };
  HeadlessUi ui;
  for (const auto& c : browse) {
    ui.QueueFolderAnswer(c.answer);
    EXPECT_EQ(ModFolder_Browse::BrowseForFolder(ui), c.result);
  }
  const struct {
    const char16_t* path;
    const char16_t* result;
  } backslash[] = {{u"", u"\\"}, {u"a", u"a\\"}, {u"a\\", u"a\\"}, {u"a/", u"a/\\"}};
  for (const auto& c : backslash) {
    EXPECT_EQ(ModFolder_Browse::AddTrailingBackslash(c.path), c.result);
  }
}

}  // namespace
}  // namespace velmaris
