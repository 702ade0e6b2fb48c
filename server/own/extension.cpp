// Our own runtime has no containers to embed a control: scripting is all there is.
#include "server/control_extension.h"

namespace velmaris::server {

std::unique_ptr<ControlExtension> MakeControlExtension(ExtensionSubject) {
  return nullptr;
}

}  // namespace velmaris::server
