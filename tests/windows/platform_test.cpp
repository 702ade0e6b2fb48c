// The Windows platform set on a real system (or Wine): the message loop, the file system on
// wide-character paths and the dialogs' answer forms. Its sockets have a suite of their own, the
// one the POSIX sockets run (tests/unit/platform/socket_suite.cpp).
#include <windows.h>
// The system's macros would rename our members of the same names.
#undef DeleteFile
#undef MessageBox

#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "base/error.h"
#include "platform/filesystem.h"
#include "platform/win32/win32_ui.h"
#include "platform/win32/window_loop.h"
#include "tests/support/thread_cpu.h"

using namespace velmaris;
using namespace std::chrono_literals;

namespace {

int g_passed = 0;
int g_failed = 0;

void Check(bool ok, const char* what, int line) {
  ok ? ++g_passed : ++g_failed;
  if (!ok) std::printf("FAILED (line %d): %s\n", line, what);
}
#define CHECK(condition) Check((condition), #condition, __LINE__)

template <typename Call>
int32_t ErrorOf(Call call) {
  try {
    call();
  } catch (const VbError& error) {
    return error.Number();
  }
  return 0;
}

void LoopChecks() {
  WindowLoop loop;
  int ticks = 0;
  const int timer = loop.AddTimer(30ms, [&] { ++ticks; });
  loop.RunFor(320ms);
  loop.RemoveTimer(timer);
  const int counted = ticks;
  loop.RunFor(100ms);
  CHECK(counted >= 5 && counted <= 12);
  CHECK(ticks == counted);

  // A wait for a callback posted from another thread sleeps: no CPU goes meanwhile.
  bool ran = false;
  const auto start = MessageLoop::Clock::now();
  const auto cpu = testing::ThreadCpu();
  std::thread poster([&] {
    Sleep(300);
    loop.Post([&] { ran = true; });
  });
  while (!ran) loop.WaitForEvent();
  poster.join();
  CHECK(MessageLoop::Clock::now() - start >= 250ms);
  CHECK(testing::ThreadCpu() - cpu < 60ms);

  // The host's WM_QUIT outlives a wait, for its own loop to see.
  PostQuitMessage(3);
  bool posted = false;
  loop.Post([&] { posted = true; });
  loop.WaitForEvent();
  MSG quit;
  CHECK(posted);
  CHECK(PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE) && quit.wParam == 3);
}

std::string Pattern(size_t size) {
  std::string bytes(size, '\0');
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 7 + i / 4096) & 0xFF);
  return bytes;
}

void FileChecks(const std::u16string& folder) {
  FileSystemObject files;
  const std::u16string path = folder + u"\\数据 文件.bin";
  const std::string content = Pattern(100000);
  CreateNewFile(path).Write(content.data(), content.size());
  CHECK(ErrorOf([&] { CreateNewFile(path); }) == err::kFileExists);
  {
    const FileHandle file = OpenRegularFile(path);
    char piece[10];
    CHECK(file.CurrentSize() == 100000);
    CHECK(file.ReadAt(1000, piece, 10) == 10 && std::string(piece, 10) == content.substr(1000, 10));
    CHECK(file.ReadAt(100000, piece, 10) == 0);
    // Deleted while open, as on POSIX: the open file still reads. (The name may stay until the
    // file is closed, as it does on older Windows.)
    files.DeleteFile(path);
    CHECK(file.ReadAt(99995, piece, 10) == 5);
  }
  CHECK(!files.FileExists(path));
  CreateNewFile(folder + u"\\乙.txt");
  CreateNewFile(folder + u"\\a.txt");
  const FolderEntry entry = files.GetFolder(folder + u"\\");
  CHECK(entry.Path == folder);
  const auto listed = entry.Files();
  CHECK(listed.size() == 2 && listed[0].Name == u"a.txt" && listed[1].Name == u"乙.txt" &&
        listed[1].Path == folder + u"\\乙.txt");

  struct Failure {
    int32_t number;
    std::function<void()> call;
  };
  const Failure failures[] = {
      {err::kFileNotFound, [&] { OpenRegularFile(folder + u"\\无.txt"); }},
      {err::kFileNotFound, [&] { OpenRegularFile(folder + u"\\无\\x.txt"); }},
      {err::kPathFileAccess, [&] { OpenRegularFile(folder); }},
      {err::kPathFileAccess, [&] { OpenRegularFile(u"NUL"); }},
      {err::kPathNotFound, [&] { files.GetFolder(folder + u"\\无"); }},
      {err::kFileExists, [&] { files.CreateFolder(folder); }},
      {err::kBadFileName, [&] { OpenRegularFile(folder + std::u16string(u"\\a\0b", 4)); }},
      {0, [&] { CHECK(!PrivateFolder::Open(folder, u"私有").Fresh()); }},
      {0, [&] { CHECK(!PrivateFolder::Open(folder, u"私有").Fresh()); }},
      // A file at the name: a fresh folder beside it, gone with its object.
      {0,
       [&] {
         std::u16string fresh;
         {
           const PrivateFolder taken = PrivateFolder::Open(folder, u"a.txt");
           CHECK(taken.Fresh() && taken.CreateNewFile(u"x.tmp") && !taken.CreateNewFile(u"x.tmp"));
           fresh = taken.Path();
         }
         CHECK(!files.FolderExists(fresh) && files.FileExists(folder + u"\\a.txt"));
       }},
  };
  for (const auto& failure : failures) CHECK(ErrorOf(failure.call) == failure.number);
}

void DialogAnswerChecks() {
  using namespace std::string_literals;
  CHECK(win32ui::Filter(u"文档|*.doc;*.txt|全部|*.*") == L"文档\0*.doc;*.txt\0全部\0*.*\0\0"s);
  CHECK(win32ui::Filter(u"空|| 图片|*.jpg|落单") == L" 图片\0*.jpg\0\0"s);
  CHECK(win32ui::Filter(u"").empty());
  CHECK(win32ui::Selection(L"C:\\文件夹\\a.txt\0") == u"C:\\文件夹\\a.txt");
  CHECK(win32ui::Selection(L"C:\\文件夹\0a.txt\0乙.doc\0") == u"C:\\文件夹\0a.txt\0乙.doc"s);
}

}  // namespace

int main() {
  FileSystemObject files;
  const std::u16string folder = TempFolderPath() + u"\\velmaris 测试";
  if (files.FolderExists(folder)) files.DeleteFolder(folder);
  files.CreateFolder(folder);
  try {
    LoopChecks();
    FileChecks(folder);
    DialogAnswerChecks();
  } catch (const VbError& error) {
    ++g_failed;
    std::printf("FAILED: error %d raised\n", static_cast<int>(error.Number()));
  }
  files.DeleteFolder(folder);
  std::printf("%d passed, %d failed\n", g_passed, g_failed);
  return g_failed == 0 ? 0 : 1;
}
