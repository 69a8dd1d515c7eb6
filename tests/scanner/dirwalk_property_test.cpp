// SPDX-License-Identifier: MIT
// Random trees, each scanned and compared with the reference walk: lists,
// counts, the pre-order folder list and the post-order folder events; then
// scanned again with read-ahead, which must change nothing.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <random>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "DirwalkProbe.h"
#include "TempTree.h"

namespace quorvel::testing {
namespace {

// Builds one random tree from a seed: names of random bytes (invalid UTF-8
// and control bytes included), empty folders, links to folders of the tree
// (ancestors and the root too), to files, to nowhere and to themselves; in
// one tree of eight, a chain of 300 folders with a file at its end.
class RandomTree {
  public:
    RandomTree(TempTree& tree, std::uint32_t seed) : tree_(tree), rng_(seed) {
        Fill("", 0);
        if (Below(8) == 0) AddChain();
        AddLinks();
    }

  private:
    static constexpr int kMaxDepth = 4;
    static constexpr int kMaxEntries = 60;
    static constexpr int kMaxLinks = 4;

    std::size_t Below(std::size_t n) { return static_cast<std::size_t>(rng_() % n); }
    const std::string& AnyOf(const std::vector<std::string>& items) {
        return items[Below(items.size())];
    }

    std::string Name(std::set<std::string>& taken) {
        static constexpr std::string_view kPlain = "abcdefghijklmnopqrstuvwxyz0123456789._- ~";
        for (int attempt = 0; attempt < 100; ++attempt) {
            std::string name;
            const std::size_t length = 1 + Below(10);
            for (std::size_t i = 0; i < length; ++i) {
                const std::size_t kind = Below(10);
                if (kind < 6) {
                    name += kPlain[Below(kPlain.size())];
                } else if (kind < 9) {
                    name += static_cast<char>(0x80 + Below(0x80));  // stray UTF-8 bytes
                } else {
                    name += static_cast<char>(1 + Below(0x1f));  // control bytes
                }
            }
            if (name != "." && name != ".." && taken.insert(name).second) return name;
        }
        throw std::runtime_error("RandomTree: no fresh name");
    }

    static std::string Join(const std::string& folder, const std::string& name) {
        return folder.empty() ? name : folder + "/" + name;
    }

    void Fill(const std::string& folder, int depth) {
        folders_.push_back(folder);
        std::set<std::string> taken;
        // Wide near the top, thinning out below; some folders stay empty.
        const std::size_t count = depth < 2 ? 2 + Below(6) : Below(5);
        for (std::size_t i = 0; i < count && entries_ < kMaxEntries; ++i, ++entries_) {
            const std::string rel = Join(folder, Name(taken));
            const std::size_t kind = Below(10);
            if (kind < 4 && depth < kMaxDepth) {
                tree_.Folder(rel);
                Fill(rel, depth + 1);
            } else if (kind < 6 && links_.size() < kMaxLinks) {
                links_.push_back(rel);
            } else {
                tree_.File(rel);
                files_.push_back(rel);
            }
        }
    }

    void AddChain() {
        std::string rel = AnyOf(folders_);
        for (int depth = 0; depth < 300; ++depth) {
            std::set<std::string> taken;
            std::string name = Name(taken).substr(0, 2);  // short, to stay inside PATH_MAX
            if (name == "." || name == "..") name = "c";
            rel = Join(rel, name);
        }
        tree_.File(rel + "/end");
    }

    void AddLinks() {
        for (const std::string& rel : links_) {
            const std::size_t slash = rel.rfind('/');
            const std::string folder = slash == std::string::npos ? "" : rel.substr(0, slash);
            switch (Below(7)) {
                case 0:  // any folder of the tree, absolute
                case 1:
                    tree_.Link(rel, tree_.Path(AnyOf(folders_)));
                    break;
                case 2: {  // an ancestor of the link, relative: ".", "..", "../.."
                    const std::size_t depth = folder.empty()
                                                  ? 0
                                                  : 1 + static_cast<std::size_t>(std::count(
                                                            folder.begin(), folder.end(), '/'));
                    std::string target = ".";
                    for (std::size_t up = Below(depth + 1); up > 0; --up) target += "/..";
                    tree_.Link(rel, target);
                    break;
                }
                case 3:
                    tree_.Link(rel, tree_.Root());
                    break;
                case 4:  // a file, or nowhere when there is none
                    tree_.Link(rel, files_.empty() ? "nowhere" : tree_.Path(AnyOf(files_)));
                    break;
                case 5:
                    tree_.Link(rel, "missing/target");
                    break;
                default:  // itself: unresolvable
                    tree_.Link(rel, tree_.Path(rel));
                    break;
            }
        }
    }

    TempTree& tree_;
    std::mt19937 rng_;
    std::vector<std::string> folders_;
    std::vector<std::string> files_;
    std::vector<std::string> links_;
    int entries_ = 0;
};

TEST(DirwalkProperty, RandomTreesMatchTheReferenceWalk) {
    constexpr std::uint32_t kTrees = 300;
    const int descriptors = OpenDescriptorCount();
    std::mt19937 settings(20240601);
    std::size_t entriesCompared = 0;
    for (std::uint32_t seed = 1; seed <= kTrees; ++seed) {
        TempTree tree;
        const RandomTree random(tree, seed);
        ScanOptions options;
        const std::uint32_t pick = settings() % 16;
        options.subFolders = pick < 12 ? kTrue : (pick < 14 ? kFalse : Flag{1});
        options.fullPath = std::array<Flag, 3>{kFalse, kTrue, Flag{2}}[settings() % 3];
        options.events = settings() % 8 == 0 ? kFalse : kTrue;
        const std::string root = settings() % 2 ? tree.Root() + "/" : tree.Root();

        const ScanResult expected = ReferenceScan(root, options);
        const WalkRun serial = Walk(root, options);
        ASSERT_EQ(serial.scan, expected)
            << "seed " << seed << ", SubFolders " << options.subFolders << ", FullPath "
            << options.fullPath << ", Events " << options.events << ", root " << root;
        entriesCompared += expected.files.size() + expected.folders.size();

        // Memory caps below one folder's listing (everything streamed), of a
        // few folders (listings given way and read again), and the default.
        options.readAhead = {.workers = std::array<unsigned, 4>{1, 2, 4, 8}[settings() % 4],
                             .memoryCap = std::array<std::size_t, 3>{
                                 64, 4096, ReadAheadSettings{}.memoryCap}[settings() % 3]};
        // Every other tree with each read on a thread of its own, as the window reads.
        options.readWaits = seed % 2 ? ReadWaits::kYieldAbandonOnAbort : ReadWaits::kBlock;
        const WalkRun readAhead = Walk(root, options);
        EXPECT_EQ(readAhead.threadsAfter, readAhead.threadsBefore) << "seed " << seed;
        EXPECT_EQ(readAhead.descriptorsAfter, readAhead.descriptorsBefore) << "seed " << seed;
        ASSERT_EQ(readAhead.scan, expected)
            << "seed " << seed << " with read-ahead, " << options.readAhead.workers
            << " workers, cap " << options.readAhead.memoryCap << ", waits "
            << static_cast<int>(options.readWaits);
        EXPECT_EQ(readAhead.failures, serial.failures) << "seed " << seed;
    }
    EXPECT_EQ(OpenDescriptorCount(), descriptors);
    // The generator must keep producing trees worth comparing.
    EXPECT_GT(entriesCompared, 20u * kTrees);
}

}  // namespace
}  // namespace quorvel::testing
