// MultiUpload behind _MultiUpload.
#include "controls/file/multi_upload.h"
#include "server/binding.h"

namespace velmaris::server {

namespace {

[[maybe_unused]] const bool registered = RegisterBinding(BindControl<MultiUpload>(
    ClassId::kMultiUpload,
    {
        {0x60030001, Kind::kMethod,
         [](MultiUpload& c, Call& call) { c.AddUploadFile(call.Str(0), call.Str(1)); }},
        {0x60030002, Kind::kMethod,
         [](MultiUpload& c, Call& call) { c.addFormData(call.Str(0), call.Str(1)); }},
        {0x60030003, Kind::kMethod, [](MultiUpload& c, Call&) { c.UploadFile(); }},
        {0x6003000B, Kind::kMethod,
         [](MultiUpload& c, Call& call) { c.StartUpload(call.Str(0), call.Str(1)); }},
    }));

}  // namespace

}  // namespace velmaris::server
