// ImageImport behind _ImageImport.
#include "controls/image/image_import.h"
#include "server/binding.h"

namespace velmaris::server {

namespace {

[[maybe_unused]] const bool registered = RegisterBinding(BindControl<ImageImport>(
    ClassId::kImageImport,
    {
        {0x60030000, Kind::kMethod,
         [](ImageImport& c, Call& call) {
           c.Init(call.Str(0), call.Str(1), call.Str(2), call.Int(3), call.Str(4), call.Str(5),
                  call.Int(6), call.Int(7));
         }},
        {0x60030002, Kind::kMethod,
         [](ImageImport& c, Call& call) { c.addFormData(call.Str(0), call.Str(1)); }},
        {0x60030008, Kind::kMethod, [](ImageImport& c, Call& call) { c.StartUpload(call.Str(0)); }},
    }));

}  // namespace

}  // namespace velmaris::server
