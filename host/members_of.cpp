#include "host/members_of.h"

namespace velmaris::host {

using namespace com;

std::map<DISPID, MemberShape> ReadMembers(IDispatch* object, const ComApi& api) {
  std::map<DISPID, MemberShape> members;
  uint32_t count = 0;
  ITypeInfo* info = nullptr;
  if (object->GetTypeInfoCount(&count) < 0 || count == 0 || object->GetTypeInfo(0, 0, &info) < 0 ||
      info == nullptr) {
    return members;
  }
  TYPEATTR* attr = nullptr;
  if (info->GetTypeAttr(&attr) >= 0 && attr != nullptr) {
    for (uint32_t i = 0; i < attr->cFuncs; ++i) {
      FUNCDESC* func = nullptr;
      if (info->GetFuncDesc(i, &func) < 0 || func == nullptr) continue;
      MemberShape& member = members[func->memid];
      member.kinds |= func->invkind;
      if (member.name.empty()) {
        Bstr name(api);
        uint32_t names = 0;
        if (info->GetNames(func->memid, name.Out(), 1, &names) >= 0 && names == 1) {
          member.name = name.Text();
        }
      }
      // A put's last parameter is the value: only a method's or a getter's say what comes back.
      if ((func->invkind & (INVOKE_FUNC | INVOKE_PROPERTYGET)) != 0) {
        member.by_ref.assign(static_cast<size_t>(func->cParams), false);
        for (int16_t p = 0; p < func->cParams; ++p) {
          const ELEMDESC& param = func->lprgelemdescParam[p];
          member.by_ref[static_cast<size_t>(p)] =
              (param.paramdesc.wParamFlags & PARAMFLAG_FOUT) != 0 ||
              (param.tdesc.vt & VT_BYREF) != 0 || param.tdesc.vt == VT_PTR;
        }
      }
      info->ReleaseFuncDesc(func);
    }
    info->ReleaseTypeAttr(attr);
  }
  info->Release();
  return members;
}

}  // namespace velmaris::host
