#pragma once
// A sheet's list of records that keeps an index over itself. Painting asks
// the same questions of these lists thousands of times a screen (which merged
// range holds a cell, where the next shown row is), so the answers come from
// an index instead of a walk. Every access that can change an item marks the
// index stale and the next look-up rebuilds it; reading the list through a
// const path never does.

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <new>
#include <utility>
#include <vector>

namespace model {

/// Index must be default-constructible and constructible from the items.
/// A reference or iterator taken for changing must not be kept across a
/// look-up of the index: take it again after.
template <class T, class Index> class IndexedList {
public:
  using value_type = T;
  using size_type = typename std::vector<T>::size_type;
  using reference = T&;
  using const_reference = const T&;
  using iterator = typename std::vector<T>::iterator;
  using const_iterator = typename std::vector<T>::const_iterator;

  IndexedList() = default;
  IndexedList(std::initializer_list<T> items) : m_items(items) {}
  IndexedList(std::vector<T> items) : m_items(std::move(items)) {}
  IndexedList(const IndexedList& other) : m_items(other.m_items) {}
  IndexedList(IndexedList&& other) noexcept : m_items(std::move(other.m_items)) { other.changed(); }
  IndexedList& operator=(const IndexedList& other) {
    m_items = other.m_items;
    changed();
    return *this;
  }
  IndexedList& operator=(IndexedList&& other) noexcept {
    m_items = std::move(other.m_items);
    changed();
    other.changed();
    return *this;
  }
  IndexedList& operator=(std::vector<T> items) {
    m_items = std::move(items);
    changed();
    return *this;
  }
  IndexedList& operator=(std::initializer_list<T> items) {
    m_items = items;
    changed();
    return *this;
  }
  ~IndexedList() = default;

  const std::vector<T>& items() const { return m_items; }
  operator const std::vector<T>&() const { return m_items; }
  /// The list itself, for algorithms that want a vector; the index is rebuilt on its next use.
  std::vector<T>& edit() {
    changed();
    return m_items;
  }

  const_iterator begin() const { return m_items.begin(); }
  const_iterator end() const { return m_items.end(); }
  const_iterator cbegin() const { return m_items.cbegin(); }
  const_iterator cend() const { return m_items.cend(); }
  size_type size() const { return m_items.size(); }
  bool empty() const { return m_items.empty(); }
  const T& operator[](size_type i) const { return m_items[i]; }
  const T& front() const { return m_items.front(); }
  const T& back() const { return m_items.back(); }

  iterator begin() {
    changed();
    return m_items.begin();
  }
  iterator end() {
    changed();
    return m_items.end();
  }
  T& operator[](size_type i) {
    changed();
    return m_items[i];
  }
  T& front() {
    changed();
    return m_items.front();
  }
  T& back() {
    changed();
    return m_items.back();
  }
  void push_back(const T& item) {
    m_items.push_back(item);
    appended();
  }
  void push_back(T&& item) {
    m_items.push_back(std::move(item));
    appended();
  }
  template <class... Args> T& emplace_back(Args&&... args) {
    changed();
    return m_items.emplace_back(std::forward<Args>(args)...);
  }
  iterator insert(const_iterator at, const T& item) {
    changed();
    return m_items.insert(at, item);
  }
  template <class It> iterator insert(const_iterator at, It first, It last) {
    changed();
    return m_items.insert(at, first, last);
  }
  iterator erase(const_iterator at) {
    changed();
    return m_items.erase(at);
  }
  iterator erase(const_iterator first, const_iterator last) {
    changed();
    return m_items.erase(first, last);
  }
  void clear() {
    changed();
    m_items.clear();
  }
  void reserve(size_type n) { m_items.reserve(n); }
  void resize(size_type n) {
    changed();
    m_items.resize(n);
  }

  friend bool operator==(const IndexedList& a, const IndexedList& b) { return a.m_items == b.m_items; }
  friend bool operator==(const IndexedList& a, const std::vector<T>& b) { return a.m_items == b; }

  /// The index of the items as they are now; nullptr when there was no
  /// memory to build it (the caller then walks the list).
  const Index* index() const {
    if (!m_indexed) {
      try {
        m_index = Index(m_items);
      } catch (const std::bad_alloc&) {
        m_index = Index();
        return nullptr;
      }
      m_indexed = true;
    }
    return &m_index;
  }

private:
  void changed() { m_indexed = false; }
  // A built index that can take the item just appended keeps being used.
  void appended() {
    if (!m_indexed)
      return;
    if constexpr (requires(Index& index, const T& item) { index.append(item, std::uint32_t{}); }) {
      try {
        if (m_index.append(m_items.back(), static_cast<std::uint32_t>(m_items.size() - 1)))
          return;
      } catch (const std::bad_alloc&) {
      }
    }
    changed();
  }

  std::vector<T> m_items;
  mutable Index m_index;
  mutable bool m_indexed = false;
};

} // namespace model
