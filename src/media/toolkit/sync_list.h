// A doubly linked list of values with an optional lock chosen at creation. With the lock every
// operation, including the predicates and callbacks it runs, holds it for its whole duration, so
// those must not use the same list (the lock is not reentrant).
#pragma once

#include <functional>
#include <iterator>
#include <list>
#include <memory>
#include <mutex>
#include <new>
#include <optional>
#include <utility>

namespace corvel {

template <typename T>
class SyncList {
 public:
  // Runs on each element still in the list when the list is destroyed, before the element's own
  // destructor; for elements that hold something their destructor does not release.
  using FreeElement = std::function<void(T&)>;

  // nullptr when memory is short.
  static std::unique_ptr<SyncList> Create(bool withLock, FreeElement freeElement = {}) {
    try {
      return std::make_unique<SyncList>(withLock, std::move(freeElement));
    } catch (...) {
      return nullptr;
    }
  }

  explicit SyncList(bool withLock, FreeElement freeElement = {})
      : lock_(withLock ? std::make_unique<std::mutex>() : nullptr),
        freeElement_(std::move(freeElement)) {}

  ~SyncList() {
    if (!freeElement_) return;
    for (T& element : elements_) {
      freeElement_(element);
    }
  }

  SyncList(const SyncList&) = delete;
  SyncList& operator=(const SyncList&) = delete;

  bool hasLock() const { return lock_ != nullptr; }

  int count() const {
    const auto guard = Guard();
    return static_cast<int>(elements_.size());
  }

  // Into an empty list the element becomes the only one whatever the index. Otherwise index 0
  // puts it first, a negative index last, n > 0 after the element at position n - 1 (last when
  // n >= count). 0, or -1 when memory is short; the caller then still holds the element.
  int Insert(const T& element, int index) { return Emplace(index, element); }
  int Insert(T&& element, int index) { return Emplace(index, std::move(element)); }

  // A copy of the element at `index` (0 first, -1 last, n at position n from 0); none beyond the
  // end, for another negative index, or when the copy cannot be made (memory).
  std::optional<T> Get(int index) const {
    const auto guard = Guard();
    return CopyOf(Locate(index));
  }

  // Takes the element at `index` (as for Get) out of the list.
  std::optional<T> Remove(int index) {
    const auto guard = Guard();
    return Take(Locate(index));
  }

  // A copy of the first element for which matches(element, key) is true; none when there is no
  // such element or the copy cannot be made.
  template <typename Key, typename Matches>
  std::optional<T> Find(const Key& key, Matches matches) const {
    const auto guard = Guard();
    return CopyOf(FindFirst(key, matches));
  }

  // Takes the first element for which matches(element, key) is true out of the list.
  template <typename Key, typename Matches>
  std::optional<T> RemoveIf(const Key& key, Matches matches) {
    const auto guard = Guard();
    return Take(FindFirst(key, matches));
  }

  // Calls visit(element) on each element in order.
  template <typename Visit>
  void ForEach(Visit visit) {
    const auto guard = Guard();
    for (T& element : elements_) {
      visit(element);
    }
  }
  template <typename Visit>
  void ForEach(Visit visit) const {
    const auto guard = Guard();
    for (const T& element : elements_) {
      visit(element);
    }
  }

  // A new list (locked when this one is, with the same FreeElement) of copyElement(element) for
  // each element in order. nullptr when a copy reports failure (an empty optional) or memory is
  // short; the copies already made are then released as the new list is destroyed.
  template <typename CopyElement>
  std::unique_ptr<SyncList> Copy(CopyElement copyElement) const {
    const auto guard = Guard();
    try {
      auto copy = std::make_unique<SyncList>(hasLock(), freeElement_);
      for (const T& element : elements_) {
        std::optional<T> made = copyElement(element);
        if (!made) return nullptr;
        copy->elements_.push_back(std::move(*made));
      }
      return copy;
    } catch (...) {
      return nullptr;
    }
  }

 private:
  using Elements = std::list<T>;

  std::unique_lock<std::mutex> Guard() const {
    return lock_ ? std::unique_lock<std::mutex>(*lock_) : std::unique_lock<std::mutex>();
  }

  template <typename U>
  int Emplace(int index, U&& element) {
    const auto guard = Guard();
    auto at = elements_.end();
    if (index >= 0 && static_cast<typename Elements::size_type>(index) < elements_.size()) {
      at = std::next(elements_.begin(), index);
    }
    try {
      // The node is allocated before the element is moved in, so a failure leaves it unmoved.
      elements_.insert(at, std::forward<U>(element));
      return 0;
    } catch (...) {
      return -1;
    }
  }

  typename Elements::const_iterator Locate(int index) const {
    if (elements_.empty()) return elements_.end();
    if (index == -1) return std::prev(elements_.end());
    if (index < 0 || static_cast<typename Elements::size_type>(index) >= elements_.size()) {
      return elements_.end();
    }
    return std::next(elements_.begin(), index);
  }

  template <typename Key, typename Matches>
  typename Elements::const_iterator FindFirst(const Key& key, Matches& matches) const {
    for (auto at = elements_.begin(); at != elements_.end(); ++at) {
      if (matches(*at, key)) return at;
    }
    return elements_.end();
  }

  std::optional<T> CopyOf(typename Elements::const_iterator at) const {
    if (at == elements_.end()) return std::nullopt;
    try {
      return *at;
    } catch (...) {
      return std::nullopt;  // the copy could not be made (memory)
    }
  }

  std::optional<T> Take(typename Elements::const_iterator at) {
    if (at == elements_.end()) return std::nullopt;
    // Splice the node out first so the element can be moved without any allocation in the list.
    Elements taken;
    taken.splice(taken.begin(), elements_, at);
    return std::optional<T>(std::move(taken.front()));
  }

  const std::unique_ptr<std::mutex> lock_;  // guards elements_; null for a list without a lock
  const FreeElement freeElement_;
  Elements elements_;
};

}  // namespace corvel
