// The office applications as COM clients reach them: by program id, through the registry. A
// running instance comes from the running object table, a new one from its local server. Driving
// what is found needs an automation client of its own, which this build does not have yet: a
// program that is there is refused with that said, one that is not with the classic error 429.
#pragma once

#include <memory>

#include "platform/office_automation.h"

namespace velmaris {

std::unique_ptr<OfficeAutomation> MakeComOfficeAutomation();

}  // namespace velmaris
