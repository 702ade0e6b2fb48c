// Helpers for calling IDispatch as a script engine does: arguments written in script order and
// passed in reverse, variants made and freed in one place.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

#include "server/bstr.h"
#include "server/com.h"

namespace velmaris::server::testing {

inline com::VARIANT Text(std::u16string_view text) {
  com::VARIANT v;
  com::InitVariant(&v);
  v.vt = com::VT_BSTR;
  v.bstrVal = com::AllocBstr(text);
  return v;
}

inline com::VARIANT I4(int32_t value) {
  com::VARIANT v;
  com::InitVariant(&v);
  v.vt = com::VT_I4;
  v.lVal = value;
  return v;
}

inline com::VARIANT R8(double value) {
  com::VARIANT v;
  com::InitVariant(&v);
  v.vt = com::VT_R8;
  v.dblVal = value;
  return v;
}

inline com::VARIANT Bool(bool value) {
  com::VARIANT v;
  com::InitVariant(&v);
  v.vt = com::VT_BOOL;
  v.boolVal = value ? com::VARIANT_TRUE : com::VARIANT_FALSE;
  return v;
}

inline com::VARIANT OfType(com::VARTYPE vt) {
  com::VARIANT v;
  com::InitVariant(&v);
  v.vt = vt;
  return v;
}

inline com::VARIANT Missing() {
  com::VARIANT v = OfType(com::VT_ERROR);
  v.scode = com::DISP_E_PARAMNOTFOUND;
  return v;
}

// Arguments in script order; rgvarg holds them reversed. Owns the variants it was given.
class Arguments {
 public:
  Arguments() = default;
  Arguments(std::initializer_list<com::VARIANT> args) : m_args(args.begin(), args.end()) {
    std::reverse(m_args.begin(), m_args.end());
  }
  ~Arguments() {
    for (auto& v : m_args) com::ClearVariant(&v);
  }
  Arguments(const Arguments&) = delete;
  Arguments& operator=(const Arguments&) = delete;
  Arguments(Arguments&& other) noexcept
      : m_args(std::move(other.m_args)), m_named(std::move(other.m_named)) {
    other.m_args.clear();
  }

  // The value of a property put, as the one named argument DISPID_PROPERTYPUT.
  static Arguments Put(com::VARIANT value) {
    Arguments put{value};
    put.m_named = {com::DISPID_PROPERTYPUT};
    return put;
  }
  // Names the first `ids.size()` entries of rgvarg.
  Arguments& Named(std::vector<com::DISPID> ids) {
    m_named = std::move(ids);
    return *this;
  }

  com::DISPPARAMS* Params() {
    m_params = {m_args.data(), m_named.empty() ? nullptr : m_named.data(),
                static_cast<uint32_t>(m_args.size()), static_cast<uint32_t>(m_named.size())};
    return &m_params;
  }
  com::VARIANT& operator[](size_t rgvarg_index) { return m_args[rgvarg_index]; }

 private:
  std::vector<com::VARIANT> m_args;
  std::vector<com::DISPID> m_named;
  com::DISPPARAMS m_params{};
};

// EXCEPINFO that frees its strings.
struct Excep : com::EXCEPINFO {
  Excep() : com::EXCEPINFO{} {}
  ~Excep() {
    com::FreeBstr(bstrSource);
    com::FreeBstr(bstrDescription);
    com::FreeBstr(bstrHelpFile);
  }
  Excep(const Excep&) = delete;
  Excep& operator=(const Excep&) = delete;
  std::u16string Source() const { return com::BstrText(bstrSource); }
  std::u16string Description() const { return com::BstrText(bstrDescription); }
};

}  // namespace velmaris::server::testing
