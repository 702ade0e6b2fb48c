// One markup tag as the HTML cleaner scans it: its lower-case name, its text as it stood in the
// source, and its attributes in the order they were first written.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace velmaris {

// The keyed store behind Tag::dicAtt: keys compared exactly (case-sensitive), enumerated in the
// order of first insertion; reading a missing key adds it with an empty value.
class TagAttributes {
 public:
  using Entry = std::pair<std::u16string, std::u16string>;

  size_t Count() const { return m_entries.size(); }
  bool Exists(std::u16string_view key) const { return Find(key) != kMissing; }
  // The entry at `index` in insertion order.
  const Entry& At(size_t index) const { return m_entries[index]; }
  // The value under `key`; a missing key is added with "" first.
  const std::u16string& Item(std::u16string_view key);
  // Stores `value` under `key`; an existing key keeps its place.
  void Set(std::u16string_view key, std::u16string_view value);
  void RemoveAll();

  auto begin() const { return m_entries.begin(); }
  auto end() const { return m_entries.end(); }

 private:
  static constexpr size_t kMissing = static_cast<size_t>(-1);
  // Up to this many keys a linear search beats hashing; past it an index keeps a tag with
  // thousands of attributes linear.
  static constexpr size_t kLinearLimit = 8;

  size_t Find(std::u16string_view key) const;
  size_t Add(std::u16string_view key, std::u16string_view value);

  std::vector<Entry> m_entries;
  struct KeyHash {
    using is_transparent = void;
    size_t operator()(std::u16string_view key) const {
      return std::hash<std::u16string_view>{}(key);
    }
  };
  std::unordered_map<std::u16string, size_t, KeyHash, std::equal_to<>> m_index;
};

class Tag {
 public:
  std::u16string pTagName;
  // From "<" to ">" inclusive (a comment up to "-->"); empty when the source ended first.
  std::u16string SourceHTML;
  TagAttributes dicAtt;

  std::u16string TagName() const;
  void TagName(std::u16string_view newVal);
  std::u16string GetAttribute(std::u16string_view strAtt);
  void SetAttribute(std::u16string_view attName, std::u16string_view attValue);
};

}  // namespace velmaris
