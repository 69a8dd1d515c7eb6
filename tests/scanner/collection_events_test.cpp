// SPDX-License-Identifier: MIT
// The scanner's list and event plumbing: what the walk tests take for granted.

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <quorvel/Collection.h>
#include <quorvel/EventSource.h>
#include <quorvel/WithEvents.h>

namespace quorvel {
namespace {

std::vector<std::string> Copy(const Collection& list) {
    return {list.begin(), list.end()};
}

// Not `"prefix" + std::to_string(n)`: GCC 12 warns falsely (-Wrestrict) on it.
std::string Numbered(std::string_view prefix, int n) {
    std::string text(prefix);
    text += std::to_string(n);
    return text;
}

TEST(Collection, KeepsItemsInOrderWithEmptyAndConcatenatedItems) {
    Collection list;
    list.Add("/data/");
    list.Add("");
    list.Add("/data/", "a.txt");
    list.Add("", "");
    list.Add(std::string_view("bad\xff\0name", 9));
    EXPECT_EQ(Copy(list), (std::vector<std::string>{"/data/", "", "/data/a.txt", "",
                                                    std::string("bad\xff\0name", 9)}));
    EXPECT_EQ(list.Count(), 5u);
    EXPECT_EQ(list.ByteCount(), 6u + 11u + 9u);
}

// Views handed out earlier must survive any number of later appends, items
// larger than a storage block included; a list asked for huge pages takes
// 2 MiB blocks past 8 MiB, and its index whole huge pages.
TEST(Collection, ItemsNeverMoveAsTheListGrows) {
    for (const auto growth : {BlockStore::Growth::kFixed, BlockStore::Growth::kHugeWhenLarge}) {
        Collection list(growth);
        list.Add("first");
        const std::string_view first = list[0];
        const std::string big(9 << 20, 'x');
        list.Add(big);
        const std::string_view bigView = list[1];
        constexpr int kItems = 300'000;
        for (int i = 0; i < kItems; ++i) list.Add("item/", std::to_string(i));
        list.Add("last");

        EXPECT_EQ(list[0].data(), first.data());
        EXPECT_EQ(first, "first");
        EXPECT_EQ(list[1].data(), bigView.data());
        EXPECT_EQ(bigView, big);
        ASSERT_EQ(list.size(), static_cast<std::size_t>(kItems) + 3);
        int wrong = 0;
        for (int i = 0; i < kItems; ++i) {
            wrong += list[static_cast<std::size_t>(i) + 2] != Numbered("item/", i);
        }
        EXPECT_EQ(wrong, 0);
        EXPECT_EQ(list[list.size() - 1], "last");
    }
}

using IntHandler = std::function<void(int)>;

struct Source {
    EventSource<IntHandler> Fired;
};

TEST(EventSource, RunsHandlersInConnectionOrderUntilTheirConnectionGoes) {
    Source source;
    std::vector<std::string> calls;
    auto a = source.Fired.Connect([&](int v) { calls.push_back(Numbered("a", v)); });
    std::optional<EventSource<IntHandler>::Connection> b =
        source.Fired.Connect([&](int v) { calls.push_back(Numbered("b", v)); });
    source.Fired.Raise(1);
    b.reset();
    source.Fired.Raise(2);
    EXPECT_EQ(calls, (std::vector<std::string>{"a1", "b1", "a2"}));
    a.Disconnect();
    EXPECT_FALSE(source.Fired.HasHandlers());
}

// A handler may disconnect one that has not run yet (skipped at once) or
// connect many more (the list grows under the running Raise, and the new
// ones run in it), and no handler is skipped for it.
TEST(EventSource, HandlersMayConnectAndDisconnectDuringRaise) {
    Source source;
    std::vector<std::string> calls;
    EventSource<IntHandler>::Connection later;
    std::vector<EventSource<IntHandler>::Connection> added;
    auto first = source.Fired.Connect([&](int) {
        calls.push_back("first");
        later.Disconnect();
        for (int i = 0; i < 100 && added.size() < 100; ++i) {
            added.push_back(source.Fired.Connect([](int) {}));
        }
    });
    later = source.Fired.Connect([&](int) { calls.push_back("later"); });
    source.Fired.Raise(0);
    EXPECT_EQ(calls, std::vector<std::string>{"first"});

    // A connection made while a disconnected slot lies before the running
    // handler must not shift the handlers after it out of this Raise.
    Source pruned;
    calls.clear();
    std::optional<EventSource<IntHandler>::Connection> gone = pruned.Fired.Connect([](int) {});
    gone.reset();
    EventSource<IntHandler>::Connection c;
    auto a = pruned.Fired.Connect([&](int) {
        calls.push_back("a");
        if (!c.Connected()) c = pruned.Fired.Connect([&](int) { calls.push_back("c"); });
    });
    auto b = pruned.Fired.Connect([&](int) { calls.push_back("b"); });
    pruned.Fired.Raise(0);
    EXPECT_EQ(calls, (std::vector<std::string>{"a", "b", "c"}));
}

TEST(EventSource, ConnectionMayOutliveItsSource) {
    EventSource<IntHandler>::Connection connection;
    {
        Source source;
        connection = source.Fired.Connect([](int) {});
    }
    EXPECT_TRUE(connection.Connected());
    connection.Disconnect();  // must not touch the source that is gone
    EXPECT_FALSE(connection.Connected());
}

TEST(WithEvents, OnlyTheObjectTheVariableRefersToReachesTheHandler) {
    std::vector<int> heard;
    const auto first = std::make_shared<Source>();
    const auto second = std::make_shared<Source>();
    {
        WithEvents<Source, IntHandler> variable{&Source::Fired, [&](int v) { heard.push_back(v); }};
        variable = first;
        first->Fired.Raise(1);
        variable = first;  // reassigning the same object connects it once, not twice
        first->Fired.Raise(2);
        variable = second;
        first->Fired.Raise(3);
        second->Fired.Raise(4);
        variable = nullptr;
        second->Fired.Raise(5);
        variable = second;
    }
    second->Fired.Raise(6);  // the variable is gone; the object lives on
    EXPECT_EQ(heard, (std::vector<int>{1, 2, 4}));
    EXPECT_FALSE(second->Fired.HasHandlers());
}

}  // namespace
}  // namespace quorvel
