#include "base/observer_list.h"

#include <functional>
#include <string>
#include <vector>

#include "gtest/gtest.h"

namespace base {
namespace {

class Observer {
 public:
  explicit Observer(std::string name, std::vector<std::string>* log) : name_(name), log_(log) {}
  virtual ~Observer() = default;

  void OnEvent() {
    log_->push_back(name_);
    if (action_)
      action_();
  }
  void set_action(std::function<void()> action) { action_ = std::move(action); }

 private:
  std::string name_;
  std::vector<std::string>* log_;
  std::function<void()> action_;
};

std::vector<std::string> Notify(ObserverList<Observer>& list, std::vector<std::string>& log) {
  log.clear();
  FOR_EACH_OBSERVER(Observer, list, OnEvent());
  return log;
}

using Names = std::vector<std::string>;

TEST(ObserverListTest, AddRemoveOutsideNotification) {
  Names log;
  Observer a("a", &log), b("b", &log), c("c", &log);
  ObserverList<Observer> list;
  EXPECT_FALSE(list.might_have_observers());
  list.AddObserver(&a);
  list.AddObserver(&b);
  list.AddObserver(&a);  // Already present: not added again.
  list.AddObserver(&c);
  EXPECT_EQ(3u, list.size());
  EXPECT_EQ((Names{"a", "b", "c"}), Notify(list, log));
  list.RemoveObserver(&b);
  list.RemoveObserver(&b);
  EXPECT_FALSE(list.HasObserver(&b));
  EXPECT_EQ((Names{"a", "c"}), Notify(list, log));
  list.Clear();
  EXPECT_FALSE(list.might_have_observers());
}

TEST(ObserverListTest, ChangesDuringNotification) {
  Names log;
  Observer a("a", &log), b("b", &log), c("c", &log), d("d", &log);
  ObserverList<Observer> list;
  list.AddObserver(&a);
  list.AddObserver(&b);
  list.AddObserver(&c);
  // a removes itself and c (not yet visited) and adds d, which this notification skips.
  a.set_action([&] {
    list.RemoveObserver(&a);
    list.RemoveObserver(&c);
    list.AddObserver(&d);
    EXPECT_EQ(2u, list.size());
    EXPECT_TRUE(list.might_have_observers());
  });
  EXPECT_EQ((Names{"a", "b"}), Notify(list, log));
  a.set_action(nullptr);
  EXPECT_EQ((Names{"b", "d"}), Notify(list, log));

  // Removed and added again during one notification: goes to the end, visited next time.
  b.set_action([&] {
    list.RemoveObserver(&b);
    list.AddObserver(&b);
  });
  EXPECT_EQ((Names{"b", "d"}), Notify(list, log));
  b.set_action(nullptr);
  EXPECT_EQ((Names{"d", "b"}), Notify(list, log));

  // Clear during a notification stops the rest of it.
  d.set_action([&] { list.Clear(); });
  EXPECT_EQ((Names{"d"}), Notify(list, log));
  EXPECT_EQ(0u, list.size());
  EXPECT_FALSE(list.might_have_observers());  // Compacted at the end.
}

TEST(ObserverListTest, NestedNotifications) {
  Names log;
  Observer a("a", &log), b("b", &log), c("c", &log);
  ObserverList<Observer> list;
  list.AddObserver(&a);
  list.AddObserver(&b);
  list.AddObserver(&c);
  bool nested = false;
  // The inner notification (started by a) removes b: the outer one must skip b too, and
  // the entry is compacted only after the outer notification ends.
  a.set_action([&] {
    if (nested)
      return;
    nested = true;
    b.set_action([&] { list.RemoveObserver(&b); });
    FOR_EACH_OBSERVER(Observer, list, OnEvent());
    b.set_action(nullptr);
  });
  EXPECT_EQ((Names{"a", "a", "b", "c", "c"}), Notify(list, log));
  EXPECT_EQ(2u, list.size());
  a.set_action(nullptr);
  EXPECT_EQ((Names{"a", "c"}), Notify(list, log));
}

TEST(ObserverListTest, ListDestroyedDuringNotification) {
  Names log;
  Observer a("a", &log), b("b", &log);
  auto* list = new ObserverList<Observer>;
  list->AddObserver(&a);
  list->AddObserver(&b);
  a.set_action([&] { delete list; });
  list->ForEach([](Observer* observer) { observer->OnEvent(); });
  EXPECT_EQ((Names{"a"}), log);
}

}  // namespace
}  // namespace base
