// One loop for the windows and the sockets: a batch started by a click runs its uploads inside
// that click's handler, and the cancel button, clicked through Qt meanwhile, still works.
#include <gtest/gtest.h>

#include <QDir>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "platform/qt/form_renderer.h"
#include "tests/screen/screen_world.h"
#include "tests/support/ref_server.h"
#include "tests/support/temp_dir.h"

namespace velmaris::testing {
namespace {

TEST(BatchOnScreen, CancelClickedDuringABatchStopsItAfterTheRunningDocument) {
  RefServer server;
  TempDir files;
  ScreenWorld world;
  OfficeImport office(world.platform);
  Form& form = office.GetForm();
  FormRenderer window(form);
  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  // Each article post takes about 0.8 s, so the cancel below lands while the second one runs.
  office.Init(server.Url("/cms/upload.asp"), server.Url("/_fault/slow-800/cms/savepost.asp"), u"d",
              7, u"编辑");
  std::vector<std::u16string> paths;
  for (const char* name : {"1.txt", "2.txt", "3.txt"}) {
    files.Write(name, "text\r\n");
    paths.push_back(files.U16(name));
  }
  form[u"List1"].on_drop(paths);

  auto* start = dynamic_cast<QPushButton*>(window.Widget(u"Command3"));
  auto* cancel = dynamic_cast<QPushButton*>(window.Widget(u"Command4"));
  ASSERT_TRUE(start && cancel);
  bool cancel_enabled = false;
  QString running;
  QTimer::singleShot(1200, [&] {
    cancel_enabled = cancel->isEnabled();
    running = dynamic_cast<QListWidget*>(window.Widget(u"List1"))->item(1)->text();
    QTest::mouseClick(cancel, Qt::LeftButton);
  });
  QTest::mouseClick(start, Qt::LeftButton);  // returns when the batch is over

  EXPECT_TRUE(cancel_enabled) << "the cancel button was not live during the batch";
  EXPECT_EQ(running, Q(paths[1] + u"..."));
  const std::vector<std::u16string> after = {paths[0] + u"......完成", paths[1] + u"......完成",
                                             paths[2]};
  EXPECT_EQ(form[u"List1"].Items(), after);
  EXPECT_TRUE(start->isEnabled());
  EXPECT_FALSE(cancel->isEnabled());
}

}  // namespace
}  // namespace velmaris::testing
