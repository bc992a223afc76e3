#ifndef BASE_OBSERVER_LIST_H_
#define BASE_OBSERVER_LIST_H_

#include <stddef.h>

#include <algorithm>
#include <vector>

#include "base/memory/weak_ptr.h"

// A list of observers (not owned) that tolerates additions and removals while it notifies.
//
//   observers_.ForEach([&](Observer* observer) { observer->OnDone(success); });
//   FOR_EACH_OBSERVER(Observer, observers_, OnDone(success));
//
// A notification visits the observers present when it began, in the order they were added,
// skipping those removed meanwhile; observers added during a notification are not visited by
// it. Removal during a notification only clears the entry; cleared entries are compacted
// when the outermost notification ends. Notifications may nest, and the list may be
// destroyed by an observer while it notifies (the notification then stops).
// Use on one thread only.

namespace base {

template <typename ObserverType>
class ObserverList {
 public:
  // A notification in progress. While one exists, removals only clear entries.
  class Iterator {
   public:
    explicit Iterator(ObserverList* list)
        : list_(list->weak_factory_.GetWeakPtr()), end_(list->observers_.size()) {
      ++list->notify_depth_;
    }
    Iterator(const Iterator&) = delete;
    Iterator& operator=(const Iterator&) = delete;
    ~Iterator() {
      ObserverList* list = list_.get();
      if (list && --list->notify_depth_ == 0)
        list->Compact();
    }

    // The next observer to notify, or null when the notification is over (or the list
    // is gone).
    ObserverType* GetNext() {
      ObserverList* list = list_.get();
      if (!list)
        return nullptr;
      const size_t end = std::min(end_, list->observers_.size());
      while (index_ < end) {
        ObserverType* observer = list->observers_[index_++];
        if (observer)
          return observer;
      }
      return nullptr;
    }

   private:
    WeakPtr<ObserverList> list_;
    size_t index_ = 0;
    size_t end_;
  };

  ObserverList() = default;
  ObserverList(const ObserverList&) = delete;
  ObserverList& operator=(const ObserverList&) = delete;
  ~ObserverList() = default;

  // Appends |observer| unless it is already present.
  void AddObserver(ObserverType* observer) {
    if (observer && !HasObserver(observer))
      observers_.push_back(observer);
  }

  // Erases |observer| at once, or clears its entry while a notification runs.
  void RemoveObserver(const ObserverType* observer) {
    auto it = std::find(observers_.begin(), observers_.end(), observer);
    if (!observer || it == observers_.end())
      return;
    if (notify_depth_)
      *it = nullptr;
    else
      observers_.erase(it);
  }

  bool HasObserver(const ObserverType* observer) const {
    return observer &&
           std::find(observers_.begin(), observers_.end(), observer) != observers_.end();
  }

  // Removes every observer (by clearing the entries while a notification runs).
  void Clear() {
    if (notify_depth_)
      std::fill(observers_.begin(), observers_.end(), nullptr);
    else
      observers_.clear();
  }

  // Cheap test for "may notify someone": cleared entries may still count.
  bool might_have_observers() const { return !observers_.empty(); }

  // The number of observers present.
  size_t size() const {
    return observers_.size() - std::count(observers_.begin(), observers_.end(), nullptr);
  }

  // Calls |notify| (ObserverType*) for each observer, as described above.
  template <typename Notify>
  void ForEach(Notify&& notify) {
    Iterator it(this);
    while (ObserverType* observer = it.GetNext())
      notify(observer);
  }

 private:
  void Compact() {
    observers_.erase(std::remove(observers_.begin(), observers_.end(), nullptr),
                     observers_.end());
  }

  std::vector<ObserverType*> observers_;
  int notify_depth_ = 0;  // Notifications in progress.
  WeakPtrFactory<ObserverList> weak_factory_{this};
};

}  // namespace base

// Calls |call| (a member call such as OnDone(true)) on every observer of |list|.
#define FOR_EACH_OBSERVER(ObserverType, list, call) \
  (list).ForEach([&](ObserverType* observer_) { observer_->call; })

#endif  // BASE_OBSERVER_LIST_H_
