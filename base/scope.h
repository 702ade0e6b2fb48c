// Scope guards: state that must be put back however a scope ends, a raised error included.
#pragma once

#include <utility>

namespace velmaris {

// Runs `undo` when the scope ends.
template <typename Undo>
class ScopeExit {
 public:
  explicit ScopeExit(Undo undo) : m_undo(std::move(undo)) {}
  ~ScopeExit() { m_undo(); }
  ScopeExit(const ScopeExit&) = delete;
  ScopeExit& operator=(const ScopeExit&) = delete;

 private:
  Undo m_undo;
};

// Holds a flag up for as long as the scope lasts.
class ScopedFlag {
 public:
  explicit ScopedFlag(bool& flag) : m_flag(flag) { m_flag = true; }
  ~ScopedFlag() { m_flag = false; }
  ScopedFlag(const ScopedFlag&) = delete;
  ScopedFlag& operator=(const ScopedFlag&) = delete;

 private:
  bool& m_flag;
};

}  // namespace velmaris
