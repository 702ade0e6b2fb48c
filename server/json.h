// JSON text as UTF-16, for the host services: the host hands it to its script engine as a string,
// so characters stay UTF-16 and only quotes, backslashes and control characters are escaped.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velmaris::server {

class JsonWriter {
 public:
  JsonWriter& BeginObject() { return Open(u'{'); }
  JsonWriter& EndObject() { return Close(u'}'); }
  JsonWriter& BeginArray() { return Open(u'['); }
  JsonWriter& EndArray() { return Close(u']'); }
  JsonWriter& Key(std::string_view name);
  JsonWriter& String(std::u16string_view text);
  JsonWriter& Number(double value);
  JsonWriter& Bool(bool value);

  const std::u16string& Text() const { return m_text; }

 private:
  JsonWriter& Open(char16_t bracket);
  JsonWriter& Close(char16_t bracket);
  void Separate();

  std::u16string m_text;
  std::vector<bool> m_first;  // per open bracket: nothing written in it yet
  bool m_after_key = false;
};

// A JSON array of strings; nothing when the text is anything else.
std::optional<std::vector<std::u16string>> ParseStringArray(std::u16string_view text);

}  // namespace velmaris::server
