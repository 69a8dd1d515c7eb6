// SPDX-License-Identifier: MIT
// The scanner's list and event plumbing: what the walk tests take for granted.

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include <quorvel/Collection.h>
#include <quorvel/EventSource.h>
#include <quorvel/PathSeparator.h>
#include <quorvel/WithEvents.h>

namespace quorvel {
namespace {

// An item is built when read: a view of it would dangle, so code that took
// one must fail to compile rather than keep it.
static_assert(!std::is_constructible_v<std::string_view, Collection::Item>);
static_assert(!std::is_convertible_v<Collection::Item, std::string_view>);

std::vector<std::string> InOrder(const Collection& list) {
    std::vector<std::string> items;
    list.ForEach([&items](std::string_view item) { items.emplace_back(item); });
    return items;
}

std::vector<std::string> OneByOne(const Collection& list) {
    std::vector<std::string> items;
    for (const Collection::Item item : list) {
        items.push_back(item.String());
        EXPECT_EQ(item.size(), items.back().size());
    }
    return items;
}

// Not `"prefix" + std::to_string(n)`: GCC 12 warns falsely (-Wrestrict) on it.
std::string Numbered(std::string_view prefix, int n) {
    std::string text(prefix);
    text += std::to_string(n);
    return text;
}

// Both forms of folder item, files in the root and deeper, names that are
// empty or hold bytes no path would, and a root that recurs inside a path;
// read in order, one by one and from a range.
TEST(Collection, BuildsEachItemFromItsFolderAndName) {
    const std::string sep(1, kPathSeparator);
    const std::string root = "/r" + sep;
    const auto folders = Collection::NewFolderList(root);
    const auto files = Collection::NewFileList(*folders);
    const std::string odd("bad\xff\0n", 6);
    EXPECT_EQ(folders->AddFolder(Collection::kRoot, "a", false), 0u);
    EXPECT_EQ(folders->AddFolder(0, "r", true), 1u);
    EXPECT_EQ(folders->AddFolder(1, odd, false), 2u);
    EXPECT_EQ(folders->AddFolder(Collection::kRoot, "", true), 3u);
    files->AddFile(Collection::kRoot, "top");
    files->AddFile(2, "f");
    files->AddFile(2, "");
    files->AddFile(0, "g");
    const std::vector<std::string> folderItems{"a", root + "a" + sep + "r" + sep,
                                               "a" + sep + "r" + sep + odd, root + sep};
    const std::vector<std::string> fileItems{
        root + "top", root + "a" + sep + "r" + sep + odd + sep + "f",
        root + "a" + sep + "r" + sep + odd + sep, root + "a" + sep + "g"};
    EXPECT_EQ(InOrder(*folders), folderItems);
    EXPECT_EQ(OneByOne(*folders), folderItems);
    EXPECT_EQ(InOrder(*files), fileItems);
    EXPECT_EQ(OneByOne(*files), fileItems);
    std::vector<std::string> middle;
    files->ForEach(1, 3, [&middle](std::string_view item) { middle.emplace_back(item); });
    EXPECT_EQ(middle, (std::vector<std::string>{fileItems[1], fileItems[2]}));
    EXPECT_EQ(files->Root(), root);

    const Collection::Part part = files->PartOf(1);
    EXPECT_EQ(part.folder, 2u);
    EXPECT_EQ(part.name, "f");
    EXPECT_TRUE(part.fromRoot);
    EXPECT_EQ(folders->PartOf(2).name, odd);
    EXPECT_FALSE(folders->PartOf(2).fromRoot);
    EXPECT_EQ(folders->PartOf(0).folder, Collection::kRoot);

    EXPECT_THROW(folders->AddFile(0, "x"), std::logic_error);
    EXPECT_THROW(files->AddFolder(0, "x", false), std::logic_error);
    EXPECT_THROW(folders->AddFolder(4, "x", false), std::out_of_range);
    EXPECT_THROW(files->AddFile(4, "x"), std::out_of_range);
    EXPECT_THROW(files->PartOf(4), std::out_of_range);
    EXPECT_EQ(folders->size(), 4u);
    EXPECT_EQ(files->size(), 4u);
}

// Names handed out earlier stay where they are as the list grows, a name
// larger than a storage block included, with huge pages or without; a file
// list outlives the folder list it was made for.
TEST(Collection, NamesNeverMoveAndAFileListOutlivesItsFolders) {
    std::string inD = "/d";
    inD += kPathSeparator;
    for (const bool huge : {false, true}) {
        auto folders = Collection::NewFolderList("/");
        const auto files = Collection::NewFileList(*folders, huge);
        folders->AddFolder(Collection::kRoot, "d", false);
        files->AddFile(0, "first");
        const std::string_view first = files->PartOf(0).name;
        const std::string big(9 << 20, 'x');
        files->AddFile(Collection::kRoot, big);
        const std::string_view bigName = files->PartOf(1).name;
        constexpr int kItems = 300'000;
        for (int i = 0; i < kItems; ++i)
            files->AddFile(i % 7 == 0 ? Collection::kRoot : 0, Numbered("n", i));
        files->AddFile(0, "last");
        folders.reset();

        EXPECT_EQ(files->PartOf(0).name.data(), first.data());
        EXPECT_EQ(first, "first");
        EXPECT_EQ(files->PartOf(1).name.data(), bigName.data());
        EXPECT_EQ(bigName, big);
        ASSERT_EQ(files->size(), static_cast<std::size_t>(kItems) + 3);
        int wrong = 0;
        for (int i = 0; i < kItems; i += 997) {
            const std::string want = (i % 7 == 0 ? "/" : inD) + Numbered("n", i);
            wrong += !((*files)[static_cast<std::size_t>(i) + 2] == want);
        }
        std::size_t seen = 0;
        files->ForEach([&](std::string_view item) {
            if (seen >= 2 && seen < kItems + 2) {
                const int i = static_cast<int>(seen) - 2;
                wrong += item != (i % 7 == 0 ? "/" : inD) + Numbered("n", i);
            }
            ++seen;
        });
        EXPECT_EQ(wrong, 0);
        EXPECT_EQ(seen, files->size());
        EXPECT_EQ((*files)[files->size() - 1].String(), inD + "last");
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
