#include "tests/support/integration_world.h"

#include <filesystem>
#include <memory>

#include "base/codepage.h"
#include "controls/file/multi_upload.h"
#include "platform/posix/posix_socket.h"

namespace velmaris::testing {

ServerWorld::ServerWorld(MessageLoop& loop, const RefServerOptions& server_options)
    : platform{loop, ui, [&loop] { return std::make_unique<PosixSocket>(loop); }},
      server(server_options) {
  if (server.Tls()) trust.emplace("SSL_CERT_FILE", server.CaFile().c_str());
}

std::u16string ServerWorld::File(const std::string& name, const std::string& bytes) const {
  return codepage::FromUtf8(files.Write(name, bytes).string());
}

std::vector<HeadlessUi::Shown> ServerWorld::Boxes(std::u16string_view left_out) const {
  std::vector<HeadlessUi::Shown> boxes;
  for (const auto& shown : ui.History()) {
    if (shown.kind == u"msgbox" && (left_out.empty() || shown.text != left_out)) {
      boxes.push_back(shown);
    }
  }
  return boxes;
}

std::u16string ServerWorld::LastAddress() const {
  const auto sent = server.Uploads();
  return sent.empty() ? u"" : codepage::FromUtf8(sent.back()["address"].get<std::string>());
}

bool ServerWorld::TempIsEmpty() const {
  return std::filesystem::is_empty(temp.Path());
}

void ServerWorld::AddPictures(Form& form, const std::vector<std::u16string>& paths) {
  for (const auto& path : paths) {
    ui.QueueFileDialogAnswer(path);
    form[u"btnAddFile"].on_click();
  }
}

void ServerWorld::UploadFolder(MultiUpload& control, const std::string& folder,
                               const std::u16string& server_folder, const std::u16string& url) {
  ui.QueueFolderAnswer(files.U16(folder));
  control.GetForm()[u"Command1"].on_click();
  control.StartUpload(server_folder, url);
  ASSERT_TRUE(control.GetForm()[u"Command2"].Enabled());
  control.GetForm()[u"Command2"].on_click();
}

}  // namespace velmaris::testing
