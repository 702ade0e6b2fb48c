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

// The code page's user-defined areas, and the slots GB 2312 left free, as code page 936 maps
// them to the private use area on Windows; glibc's converter refuses them. A run: code points
// `first` to `last` under the lead byte `lead`, trail bytes from `trail` on, 0x7F left out.
struct UserDefinedRun {
  char16_t first;
  char16_t last;
  unsigned char lead;
  unsigned char trail;
};
constexpr UserDefinedRun kUserDefined[] = {
    {0xE000, 0xE05D, 0xAA, 0xA1}, {0xE05E, 0xE0BB, 0xAB, 0xA1}, {0xE0BC, 0xE119, 0xAC, 0xA1},
    {0xE11A, 0xE177, 0xAD, 0xA1}, {0xE178, 0xE1D5, 0xAE, 0xA1}, {0xE1D6, 0xE233, 0xAF, 0xA1},
    {0xE234, 0xE291, 0xF8, 0xA1}, {0xE292, 0xE2EF, 0xF9, 0xA1}, {0xE2F0, 0xE34D, 0xFA, 0xA1},
    {0xE34E, 0xE3AB, 0xFB, 0xA1}, {0xE3AC, 0xE409, 0xFC, 0xA1}, {0xE40A, 0xE467, 0xFD, 0xA1},
    {0xE468, 0xE4C5, 0xFE, 0xA1}, {0xE4C6, 0xE525, 0xA1, 0x40}, {0xE526, 0xE585, 0xA2, 0x40},
    {0xE586, 0xE5E5, 0xA3, 0x40}, {0xE5E6, 0xE645, 0xA4, 0x40}, {0xE646, 0xE6A5, 0xA5, 0x40},
    {0xE6A6, 0xE705, 0xA6, 0x40}, {0xE706, 0xE765, 0xA7, 0x40}, {0xE766, 0xE76B, 0xA2, 0xAB},
    {0xE76C, 0xE76D, 0xA2, 0xE3}, {0xE76E, 0xE76F, 0xA2, 0xEF}, {0xE770, 0xE771, 0xA2, 0xFD},
    {0xE772, 0xE77C, 0xA4, 0xF4}, {0xE77D, 0xE784, 0xA5, 0xF7}, {0xE785, 0xE78C, 0xA6, 0xB9},
    {0xE78D, 0xE793, 0xA6, 0xD9}, {0xE794, 0xE795, 0xA6, 0xEC}, {0xE796, 0xE796, 0xA6, 0xF3},
    {0xE797, 0xE79F, 0xA6, 0xF6}, {0xE7A0, 0xE7AE, 0xA7, 0xC2}, {0xE7AF, 0xE7BB, 0xA7, 0xF2},
    {0xE7BC, 0xE7C6, 0xA8, 0x96}, {0xE7C7, 0xE7C7, 0xA8, 0xBC}, {0xE7C8, 0xE7C8, 0xA8, 0xBF},
    {0xE7C9, 0xE7CC, 0xA8, 0xC1}, {0xE7CD, 0xE7E1, 0xA8, 0xEA}, {0xE7E2, 0xE7E2, 0xA9, 0x58},
    {0xE7E3, 0xE7E3, 0xA9, 0x5B}, {0xE7E4, 0xE7E6, 0xA9, 0x5D}, {0xE7E7, 0xE7F3, 0xA9, 0x89},
    {0xE7F4, 0xE800, 0xA9, 0x97}, {0xE801, 0xE80F, 0xA9, 0xF0}, {0xE810, 0xE814, 0xD7, 0xFA},
    {0xE815, 0xE864, 0xFE, 0x50},
};

unsigned char TrailAt(unsigned char first, unsigned offset) {
  const unsigned trail = first + offset;
  return static_cast<unsigned char>(first <= 0x7E && trail >= 0x7F ? trail + 1 : trail);
}

bool EncodeUserDefined(char16_t c, std::string& out) {
  for (const auto& run : kUserDefined) {
    if (c < run.first || c > run.last) continue;
    out += static_cast<char>(run.lead);
    out += static_cast<char>(TrailAt(run.trail, c - run.first));
    return true;
  }
  return false;
}

bool DecodeUserDefined(unsigned char lead, unsigned char trail, char16_t& c) {
  for (const auto& run : kUserDefined) {
    if (lead != run.lead) continue;
    const unsigned last = TrailAt(run.trail, run.last - run.first);
    if (trail < run.trail || trail > last || trail == 0x7F) continue;
    const unsigned offset = trail - run.trail - (run.trail <= 0x7E && trail > 0x7F ? 1 : 0);
    c = static_cast<char16_t>(run.first + offset);
    return true;
  }
  return false;
}

}  // namespace

bool Encode(std::u16string_view& text, std::string& out) {
  thread_local Converter encoder("CP936", "UTF-16LE");
  for (;;) {
    const char* in = reinterpret_cast<const char*>(text.data());
    size_t left = text.size() * 2;
    const bool whole = encoder.Convert(in, left, out);
    text.remove_prefix(text.size() - left / 2);
    if (whole) return true;
    if (!EncodeUserDefined(text.front(), out)) return false;
    text.remove_prefix(1);
  }
}

bool Decode(std::string_view& bytes, std::u16string& out) {
  thread_local Converter decoder("UTF-16LE", "CP936");
  for (;;) {
    const char* in = bytes.data();
    size_t left = bytes.size();
    const bool whole = decoder.Convert(in, left, out);
    bytes.remove_prefix(bytes.size() - left);
    char16_t c = 0;
    if (whole) return true;
    if (bytes.size() < 2 || !DecodeUserDefined(static_cast<unsigned char>(bytes[0]),
                                               static_cast<unsigned char>(bytes[1]), c)) {
      return false;
    }
    out += c;
    bytes.remove_prefix(2);
  }
}

}  // namespace velmaris::codepage::gbk
