#include "controls/office/tag.h"

#include "base/text.h"

namespace velmaris {

size_t TagAttributes::Find(std::u16string_view key) const {
  if (m_index.empty()) {
    for (size_t i = 0; i < m_entries.size(); ++i) {
      if (m_entries[i].first == key) return i;
    }
    return kMissing;
  }
  auto found = m_index.find(key);
  return found == m_index.end() ? kMissing : found->second;
}

size_t TagAttributes::Add(std::u16string_view key, std::u16string_view value) {
  m_entries.emplace_back(std::u16string(key), std::u16string(value));
  if (m_entries.size() > kLinearLimit) {
    if (m_index.empty()) {
      for (size_t i = 0; i < m_entries.size(); ++i) m_index.emplace(m_entries[i].first, i);
    } else {
      m_index.emplace(m_entries.back().first, m_entries.size() - 1);
    }
  }
  return m_entries.size() - 1;
}

const std::u16string& TagAttributes::Item(std::u16string_view key) {
  size_t at = Find(key);
  if (at == kMissing) at = Add(key, {});
  return m_entries[at].second;
}

void TagAttributes::Set(std::u16string_view key, std::u16string_view value) {
  size_t at = Find(key);
  if (at == kMissing) {
    Add(key, value);
  } else {
    m_entries[at].second.assign(value);
  }
}

void TagAttributes::RemoveAll() {
  m_entries.clear();
  m_index.clear();
}

std::u16string Tag::TagName() const {
  return LowerCase(pTagName);
}

void Tag::TagName(std::u16string_view newVal) {
  pTagName = LowerCase(newVal);
}

std::u16string Tag::GetAttribute(std::u16string_view strAtt) {
  return dicAtt.Item(LowerCase(strAtt));
}

void Tag::SetAttribute(std::u16string_view attName, std::u16string_view attValue) {
  dicAtt.Set(LowerCase(attName), attValue);
}

}  // namespace velmaris
