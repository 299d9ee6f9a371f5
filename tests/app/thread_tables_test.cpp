#include <gtest/gtest.h>

#include <thread>

#include "app/logic/thread_tables.h"

namespace quorvane::app {
namespace {

struct Item {
    int n;
};

TEST(LoopRegistry, each_thread_sees_only_its_own_loop)
{
    CLoopRegistry<Item> registry;
    Item mine{1}, theirs{2};
    registry.Register(&mine);
    Item* seenThere = &mine;
    bool unregisteredThere = true;
    std::thread other([&] {
        seenThere = registry.ForCurrentThread();
        registry.Register(&theirs);
        EXPECT_EQ(registry.ForCurrentThread(), &theirs);
        unregisteredThere = registry.Unregister();
    });
    other.join();
    EXPECT_EQ(seenThere, nullptr);
    EXPECT_TRUE(unregisteredThere);
    EXPECT_EQ(registry.ForCurrentThread(), &mine);
    EXPECT_TRUE(registry.Unregister());
    EXPECT_FALSE(registry.Unregister());
    EXPECT_EQ(registry.ForCurrentThread(), nullptr);
}

TEST(PendingBindings, takes_the_newest_entry_of_the_calling_thread_once)
{
    CPendingBindings<Item> pending;
    Item older{1}, newer{2}, foreign{3};
    pending.Push(&older);
    std::thread other([&] { pending.Push(&foreign); });
    other.join();
    pending.Push(&newer);

    EXPECT_EQ(pending.TakeForCurrentThread(), &newer);
    EXPECT_EQ(pending.TakeForCurrentThread(), &older);  // the other thread's entry is never taken here
    EXPECT_EQ(pending.TakeForCurrentThread(), nullptr);
    EXPECT_TRUE(pending.Withdraw(&foreign));
}

TEST(PendingBindings, a_withdrawn_entry_cannot_bind_a_later_window)
{
    // A creation that failed before its first message must not leave its
    // object behind for the next window of the thread.
    CPendingBindings<Item> pending;
    Item failed{1}, next{2};
    pending.Push(&failed);
    EXPECT_TRUE(pending.Withdraw(&failed));
    EXPECT_FALSE(pending.Withdraw(&failed));
    pending.Push(&next);
    EXPECT_EQ(pending.TakeForCurrentThread(), &next);
    EXPECT_EQ(pending.TakeForCurrentThread(), nullptr);
}

}  // namespace
}  // namespace quorvane::app
