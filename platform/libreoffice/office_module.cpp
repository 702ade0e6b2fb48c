// The office module (libVelmarisOffice.so): the office applications through LibreOffice, opened by
// the library when an import first needs them, so that nothing else needs the office installed.
#include <cstdlib>

#include "platform/libreoffice/libreoffice_automation.h"
#include "platform/platform_set.h"

velmaris::OfficeAutomation* VelmarisOfficeModule() {
  // The office's pipe and profile may be named by the environment, so that test runs (and several
  // sessions of one account) each keep an office of their own.
  velmaris::LibreOfficeOptions options;
  if (const char* pipe = std::getenv("VELMARIS_OFFICE_PIPE"); pipe && *pipe) {
    options.pipe_name = pipe;
  }
  if (const char* profile = std::getenv("VELMARIS_OFFICE_PROFILE"); profile && *profile) {
    options.profile_dir = profile;
  }
  return velmaris::MakeLibreOfficeAutomation(std::move(options)).release();
}
