#include <iconv.h>

#include <cerrno>
#include <stdexcept>

#include "base/gbk_runs.h"

namespace velmaris::codepage::gbk {

namespace {

// One iconv descriptor per direction and thread, opened on first use.
class Converter {
 public:
  Converter(const char* to, const char* from) : m_cd(iconv_open(to, from)) {
    if (m_cd == reinterpret_cast<iconv_t>(-1)) {
      throw std::runtime_error(std::string("iconv cannot convert ") + from + " to " + to);
    }
  }
  ~Converter() { iconv_close(m_cd); }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;

  // Converts as much as it can; returns false at an input sequence that cannot be converted
  // (EILSEQ) or that is cut short (EINVAL), leaving `in`/`in_left` on it. `out` takes bytes or,
  // for UTF-16 output, units (iconv writes whole characters).
  template <typename String>
  bool Convert(const char*& in, size_t& in_left, String& out) {
    using Unit = typename String::value_type;
    iconv(m_cd, nullptr, nullptr, nullptr, nullptr);
    alignas(Unit) char buffer[4096];
    while (in_left > 0) {
      char* out_ptr = buffer;
      size_t out_left = sizeof buffer;
      char* in_ptr = const_cast<char*>(in);
      size_t rc = iconv(m_cd, &in_ptr, &in_left, &out_ptr, &out_left);
      out.append(reinterpret_cast<const Unit*>(buffer),
                 static_cast<size_t>(out_ptr - buffer) / sizeof(Unit));
      in = in_ptr;
      if (rc == static_cast<size_t>(-1)) {
        if (errno == E2BIG) continue;
        return false;
      }
    }
    return true;
  }

 private:
  iconv_t m_cd;
};

}  // namespace

bool Encode(std::u16string_view& text, std::string& out) {
  thread_local Converter encoder("CP936", "UTF-16LE");
  const char* in = reinterpret_cast<const char*>(text.data());
  size_t left = text.size() * 2;
  const bool whole = encoder.Convert(in, left, out);
  text.remove_prefix(text.size() - left / 2);
  return whole;
}

bool Decode(std::string_view& bytes, std::u16string& out) {
  thread_local Converter decoder("UTF-16LE", "CP936");
  const char* in = bytes.data();
  size_t left = bytes.size();
  const bool whole = decoder.Convert(in, left, out);
  bytes.remove_prefix(bytes.size() - left);
  return whole;
}

}  // namespace velmaris::codepage::gbk
