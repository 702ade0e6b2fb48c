// The office applications on Linux: one headless LibreOffice process with a profile folder of its
// own, reached over a named pipe through UNO. It plays all three programs: the word processor is
// Writer, the spreadsheet program Calc, the presentation program Impress. "Attaching to the
// running instance" connects to the office listening on our pipe; "starting one" launches it
// there (or connects when it already runs, since one process serves every program id).
//
// An office this object started is ended when the object goes; one it only attached to is left
// running.
#pragma once

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>

#include "platform/office_automation.h"

namespace velmaris {

struct LibreOfficeOptions {
  // Where soffice and the UNO runtime live.
  std::filesystem::path program_dir = DefaultProgramDir();
  // The office's profile folder; empty: "velmaris/office-profile" in the user's cache folder,
  // without one a private "velmaris-office-profile-<uid>" in the temporary folder.
  std::filesystem::path profile_dir;
  // The pipe the office listens on; empty: a random name of this process's. A name held by what
  // is not ours is replaced by a fresh random one.
  std::string pipe_name;
  // How long a started office may take until it accepts connections.
  std::chrono::milliseconds start_timeout{60000};

  static std::filesystem::path DefaultProgramDir();
};

std::unique_ptr<OfficeAutomation> MakeLibreOfficeAutomation(LibreOfficeOptions options = {});

// Why the office cannot be used here (not installed, or this build has no UNO support); empty
// when it can.
std::string LibreOfficeUnavailableReason(const LibreOfficeOptions& options = {});

}  // namespace velmaris
