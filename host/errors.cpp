#include "host/errors.h"

#include "host/com_api.h"

namespace velmaris::host {

std::u16string DescribeHresult(int32_t hr) {
  switch (hr) {
    case com::DISP_E_UNKNOWNNAME:
    case com::DISP_E_MEMBERNOTFOUND:
      return u"对象不支持此属性或方法";
    case com::DISP_E_TYPEMISMATCH:
    case kTypeMismatch:
      return u"类型不匹配";
    case com::DISP_E_BADPARAMCOUNT:
      return u"错误的参数个数或无效的属性赋值";
    case com::DISP_E_PARAMNOTOPTIONAL:
    case com::DISP_E_PARAMNOTFOUND:
      return u"参数不可选";
    case com::DISP_E_OVERFLOW:
      return u"溢出";
    case com::DISP_E_NONAMEDARGS:
      return u"对象不支持命名参数";
    case com::DISP_E_BADVARTYPE:
      return u"变量使用了脚本不支持的类型";
    case com::DISP_E_BADINDEX:
      return u"下标越界";
    case com::E_NOINTERFACE:
      return u"不支持此接口";
    case com::E_ACCESSDENIED:
      return u"没有权限";
    case com::E_NOTIMPL:
      return u"未实现";
    case com::E_OUTOFMEMORY:
      return u"内存不足";
    case com::E_INVALIDARG:
    case kInvalidArgument:
      return u"无效的过程调用或参数";
    case kBadFileName:
      return u"错误的文件名或号码";
    case kFileNotFound:
      return u"文件未找到";
    case kPathFileAccess:
      return u"路径/文件访问错误";
    case kCannotCreateObject:
    case com::REGDB_E_CLASSNOTREG:
    case com::CLASS_E_CLASSNOTAVAILABLE:
      return u"Automation 服务器不能创建对象";
    default:
      return u"未指定的错误";
  }
}

ScriptError ErrorFromCall(int32_t hr, com::EXCEPINFO* excep, const ComApi& api) {
  ScriptError error;
  if (hr == com::DISP_E_EXCEPTION && excep != nullptr) {
    if (excep->pfnDeferredFillIn) excep->pfnDeferredFillIn(excep);
    Bstr source(api), description(api), help(api);
    *source.Out() = excep->bstrSource;
    *description.Out() = excep->bstrDescription;
    *help.Out() = excep->bstrHelpFile;
    excep->bstrSource = excep->bstrDescription = excep->bstrHelpFile = nullptr;
    // A bare wCode is a classic runtime error number.
    if (excep->scode != 0) {
      error.number = excep->scode;
    } else if (excep->wCode != 0) {
      error.number = static_cast<int32_t>(0x800A0000u | excep->wCode);
    } else {
      error.number = hr;
    }
    error.source = source.Text();
    error.description = description.Text();
  } else {
    error.number = hr;
  }
  if (error.description.empty()) error.description = DescribeHresult(error.number);
  return error;
}

ScriptError AsScriptEngineReports(ScriptError error) {
  auto classic = [](uint32_t number) { return static_cast<int32_t>(0x800A0000u | number); };
  switch (error.number) {
    case com::DISP_E_UNKNOWNNAME:
    case com::DISP_E_MEMBERNOTFOUND:
      error.number = classic(438);
      break;
    case com::DISP_E_BADPARAMCOUNT:
      error.number = classic(450);
      break;
    case com::DISP_E_TYPEMISMATCH:
      error.number = classic(13);
      break;
    case com::DISP_E_PARAMNOTOPTIONAL:
    case com::DISP_E_PARAMNOTFOUND:
      error.number = classic(449);
      break;
    case com::DISP_E_OVERFLOW:
      error.number = classic(6);
      break;
    case com::DISP_E_BADINDEX:
      error.number = classic(9);
      break;
    case com::DISP_E_NONAMEDARGS:
      error.number = classic(446);
      break;
    case com::DISP_E_BADVARTYPE:
      error.number = classic(458);
      break;
    case com::REGDB_E_CLASSNOTREG:
    case com::CLASS_E_CLASSNOTAVAILABLE:
      error.number = classic(429);
      break;
    default:
      break;
  }
  return error;
}

ScriptError HostError(int32_t hr, std::u16string source) {
  return ScriptError{hr, DescribeHresult(hr), std::move(source)};
}

}  // namespace velmaris::host
