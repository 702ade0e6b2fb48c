// OfficeImport behind _OfficeImport.
#include "controls/office/office_import.h"
#include "server/binding.h"

namespace velmaris::server {

namespace {

[[maybe_unused]] const bool registered = RegisterBinding(BindControl<OfficeImport>(
    ClassId::kOfficeImport,
    {
        {0x60030000, Kind::kMethod,
         [](OfficeImport& c, Call& call) {
           c.Init(call.Str(0), call.Str(1), call.Str(2), call.Int(3), call.Str(4), call.Int(5),
                  call.Int(6));
         }},
        {0x60030002, Kind::kMethod,
         [](OfficeImport& c, Call& call) { c.addFormData(call.Str(0), call.Str(1)); }},
        {0x6003000C, Kind::kMethod, [](OfficeImport& c, Call&) { c.TestOK(); }},
        {0x6003000D, Kind::kMethod,
         [](OfficeImport& c, Call& call) { c.StartUpload(call.Str(0), call.Str(1), call.Int(2)); }},
        {0x60030017, Kind::kMethod,
         [](OfficeImport& c, Call& call) {
           call.Return(c.ImportTxtFile(call.Str(0), call.Int(1), call.Str(2)));
         }},
        {0x60030018, Kind::kMethod,
         [](OfficeImport& c, Call& call) {
           call.Return(c.ImportDocFile(call.Str(0), call.Str(1), call.Str(2)));
         }},
        {0x60030019, Kind::kMethod,
         [](OfficeImport& c, Call& call) {
           call.Return(c.ImportDocFileOnePage(call.Str(0), call.Str(1), call.Str(2)));
         }},
        {0x6003001A, Kind::kMethod,
         [](OfficeImport& c, Call& call) {
           call.Return(c.ImportPPTFile(call.Str(0), call.Str(1), call.Str(2)));
         }},
        {0x6003001B, Kind::kMethod,
         [](OfficeImport& c, Call& call) {
           call.Return(c.ImportXlsFile(call.Str(0), call.Str(1), call.Str(2)));
         }},
        {0x6003001C, Kind::kMethod,
         [](OfficeImport& c, Call& call) {
           call.Return(c.ImportTxt(call.Str(0), call.Str(1), call.Str(2)));
         }},
    }));

}  // namespace

}  // namespace velmaris::server
