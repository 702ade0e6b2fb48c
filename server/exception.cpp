#include "server/exception.h"

#include <cstring>
#include <string>

#include "base/error.h"
#include "server/bstr.h"

namespace velmaris::server {

namespace {

void Fill(com::EXCEPINFO* excep, com::HRESULT scode, std::u16string_view source,
          std::u16string_view description) {
  if (excep == nullptr) return;
  std::memset(excep, 0, sizeof *excep);
  excep->wCode = 0;
  excep->scode = scode;
  excep->bstrSource = com::AllocBstr(source);
  excep->bstrDescription = com::AllocBstr(description);
}

}  // namespace

com::HRESULT ScodeOf(int32_t number) {
  if (number >= 0 && number < 0x10000)
    return static_cast<com::HRESULT>(0x800A0000u | static_cast<uint32_t>(number));
  return number;
}

com::HRESULT RunGuarded(com::EXCEPINFO* excep, const std::function<void()>& body) {
  try {
    body();
    return com::S_OK;
  } catch (...) {
    const ErrorTriple error =
        CurrentError({.exception = com::E_FAIL, .unknown = com::E_UNEXPECTED});
    Fill(excep, ScodeOf(error.number), error.source, error.description);
  }
  return com::DISP_E_EXCEPTION;
}

}  // namespace velmaris::server
