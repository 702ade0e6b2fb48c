// FileUpload behind _FileUpload.
#include "controls/file/file_upload.h"
#include "server/binding.h"

namespace velmaris::server {

namespace {

[[maybe_unused]] const bool registered = RegisterBinding(BindControl<FileUpload>(
    ClassId::kFileUpload,
    {
        {0x40030008, Kind::kPropertyGet,
         [](FileUpload& c, Call& call) { call.Return(c.NewFileName()); }},
        {0x40030008, Kind::kPropertyPut,
         [](FileUpload& c, Call& call) { c.SetNewFileName(call.Str(0)); }},
        {0x60030000, Kind::kMethod,
         [](FileUpload& c, Call& call) { c.AddUploadFile(call.Str(0), call.Str(1)); }},
        {0x60030001, Kind::kMethod,
         [](FileUpload& c, Call& call) { c.addFormData(call.Str(0), call.Str(1)); }},
        {0x60030002, Kind::kMethod, [](FileUpload& c, Call&) { c.UploadFile(); }},
        {0x60030007, Kind::kMethod, [](FileUpload& c, Call&) { c.TestOK(); }},
        {0x60030008, Kind::kMethod,
         [](FileUpload& c, Call& call) {
           c.StartUpload(call.Str(0), call.Str(1), call.Str(2), call.Int(3));
         }},
        {0x6003000E, Kind::kMethod,
         [](FileUpload& c, Call& call) { call.Return(c.GetFileSize(call.Str(0))); }},
    }));

}  // namespace

}  // namespace velmaris::server
