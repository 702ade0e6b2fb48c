// A control a host made for a page, as the hosts hand it around. Free of the COM declarations, so
// every host's sources can use it.
#pragma once

namespace velmaris::com {
struct IDispatch;
}

namespace velmaris::host {

struct ComApi;

struct MadeControl {
  com::IDispatch* object = nullptr;  // a reference for the caller
  const ComApi* api = nullptr;       // the library that made it
};

}  // namespace velmaris::host
