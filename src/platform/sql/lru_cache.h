#pragma once
// A map of at most `capacity` entries that forgets the least recently used one to make room.
// Prepared statements and translated statement shapes live in these: a connection keeps the
// texts it runs again and again, and one that went through thousands of different texts
// keeps only the recent ones instead of growing without end.

#include <cstddef>
#include <functional>
#include <list>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>

namespace sproutsmith::sql {

template <typename V>
class LruCache {
 public:
  // `evicted` is called with each entry forgotten to make room (not by Clear).
  explicit LruCache(size_t capacity,
                    std::function<void(const std::string&, V&)> evicted = nullptr)
      : capacity_(capacity == 0 ? 1 : capacity), evicted_(std::move(evicted)) {}
  LruCache(const LruCache&) = delete;
  LruCache& operator=(const LruCache&) = delete;

  // The entry for `key`, now the most recently used; null when there is none.
  V* Find(std::string_view key) {
    const auto found = index_.find(key);
    if (found == index_.end()) return nullptr;
    order_.splice(order_.begin(), order_, found->second);
    return &found->second->second;
  }

  // Adds or replaces the entry for `key`, first forgetting the least recently used one when
  // the cache is full.
  V& Put(std::string_view key, V value) {
    if (V* existing = Find(key)) {
      *existing = std::move(value);
      return *existing;
    }
    if (order_.size() >= capacity_) {
      auto& [old_key, old_value] = order_.back();
      if (evicted_) evicted_(old_key, old_value);
      index_.erase(old_key);
      order_.pop_back();
    }
    order_.emplace_front(std::string(key), std::move(value));
    index_.emplace(order_.front().first, order_.begin());
    return order_.front().second;
  }

  void Erase(std::string_view key) {
    const auto found = index_.find(key);
    if (found == index_.end()) return;
    order_.erase(found->second);
    index_.erase(found);
  }

  // Every entry, most recently used first (to release what they hold).
  template <typename F>
  void ForEach(F&& f) {
    for (auto& [key, value] : order_) f(key, value);
  }
  void Clear() {
    index_.clear();
    order_.clear();
  }
  size_t size() const { return order_.size(); }
  size_t capacity() const { return capacity_; }

 private:
  using Entry = std::pair<std::string, V>;
  size_t capacity_;
  std::function<void(const std::string&, V&)> evicted_;
  std::list<Entry> order_;
  // Keys point into the list's nodes, which never move.
  std::unordered_map<std::string_view, typename std::list<Entry>::iterator> index_;
};

}  // namespace sproutsmith::sql
