// SPDX-License-Identifier: MIT
// Feeds clsDirwalk random trees through the scripted reader: names of any
// bytes, files, folders and links anywhere (loops included), open errors,
// read errors after any entry, vanishing entries, the three flags at odd
// values, and at a random step an abort, an exception, a nested scan, a
// refused re-entrant scan or the owner dropping its reference; serially or
// reading ahead with up to four workers, which open the folders below the
// root by path through the same scripted reader. Every run is checked against
// a reference walk written independently: recursive, straight over the tree
// description.

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <set>
#include <stdexcept>
#include <string>
#include <system_error>
#include <vector>

#include <quorvel/WithEvents.h>
#include <quorvel/clsDirwalk.h>

#include "ScriptedReader.h"

namespace {

using quorvel::clsDirwalk;
using quorvel::Counter;
using quorvel::EntryFoundHandler;
using quorvel::Flag;
using quorvel::kFalse;
using quorvel::kTrue;
using quorvel::testing::ScriptedReader;
using FolderRef = ScriptedReader::FolderRef;
using Kind = ScriptedReader::Kind;

void Check(bool ok, const char* what) {
    if (ok) return;
    std::fprintf(stderr, "dirwalk_fuzz: invariant broken: %s\n", what);
    std::abort();
}

class Bytes {
  public:
    Bytes(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    bool Empty() const { return at_ == size_; }
    std::uint8_t Next() { return at_ == size_ ? 0 : data_[at_++]; }

  private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t at_ = 0;
};

constexpr int kErrors[] = {EACCES, ENOENT, EIO, ENOTDIR, ELOOP, EMFILE, ENAMETOOLONG, ESTALE};
int ErrorFrom(std::uint8_t b) {
    return kErrors[b % (sizeof kErrors / sizeof kErrors[0])];
}

enum class Stop { None, Abort, Throw, NestedScan, ReentrantScan, DropOwner };

struct Settings {
    Flag subFolders = kTrue;
    Flag fullPath = kFalse;
    Flag events = kTrue;
    std::string root;  // as given to ScanFolder
    Stop stop = Stop::None;
    int stopAt = 0;        // the yield at which the stop happens
    unsigned workers = 0;  // reading ahead; 0: serially
};

// A scan's open listings at most: one per level of the path, and reading
// ahead, four per worker (the folder it reads and three above it) and the
// one the walk reads while it waits.
int MostListings(int depth, unsigned workers) {
    return depth + (workers == 0 ? 0 : 1 + 4 * static_cast<int>(workers));
}

// ---- decoding ---------------------------------------------------------

constexpr std::size_t kMaxFolders = 48;
constexpr std::size_t kMaxOps = 400;

std::string NameFrom(Bytes& in, const ScriptedReader::Folder& folder) {
    std::string name;
    const int length = 1 + in.Next() % 8;
    for (int i = 0; i < length; ++i) {
        char c = static_cast<char>(in.Next());
        if (c == '/') c = 'S';
        if (c == '\0') c = 'Z';
        name.push_back(c);
    }
    if (name == "." || name == "..") name += '~';
    // Names are unique within a folder, as on any file system.
    for (std::size_t suffix = 0;; ++suffix) {
        const std::string candidate = suffix == 0 ? name : name + '#' + std::to_string(suffix);
        bool taken = false;
        for (const ScriptedReader::Entry& e : folder.entries) taken = taken || e.name == candidate;
        if (!taken) return candidate;
    }
}

Settings Decode(Bytes& in, ScriptedReader& reader) {
    Settings s;
    const std::uint8_t flags = in.Next();
    s.subFolders = std::vector<Flag>{kTrue, kFalse, 1}[flags % 3];
    s.fullPath = std::vector<Flag>{kFalse, kTrue, 7}[flags / 3 % 3];
    s.events = flags / 9 % 4 == 0 ? kFalse : kTrue;
    const std::string roots[] = {"/r", "/r/", "", "rel/x"};
    s.root = roots[flags / 36 % 4];
    const std::uint8_t stop = in.Next();
    s.stop = static_cast<Stop>(stop % 6);
    s.workers = std::vector<unsigned>{2, 1, 0, 4}[stop / 6 % 4];
    s.stopAt = 1 + in.Next();

    const FolderRef root = reader.NewFolder();
    reader.SetRoot(s.root.empty() || s.root.back() != '/' ? s.root + '/' : s.root, root);
    std::vector<FolderRef> folders{root};
    FolderRef current = root;
    for (std::size_t op = 0; op < kMaxOps && !in.Empty(); ++op) {
        ScriptedReader::Folder& here = reader.At(current);
        switch (in.Next() % 12) {
            case 0:
            case 1:
                reader.AddFile(current, NameFrom(in, here));
                break;
            case 2:
            case 3:
                if (folders.size() < kMaxFolders) {
                    folders.push_back(reader.AddFolder(current, NameFrom(in, here)));
                }
                break;
            case 4:
            case 5:
                current = folders[in.Next() % folders.size()];
                break;
            case 6: {  // to any folder: an ancestor, itself, a sibling, the root
                std::string name = NameFrom(in, here);
                reader.AddLink(current, std::move(name), folders[in.Next() % folders.size()]);
                break;
            }
            case 7:  // broken, or to a file
                reader.AddLink(current, NameFrom(in, here), ScriptedReader::kNoFolder);
                break;
            case 8:  // to a folder that no folder entry names
                if (folders.size() < kMaxFolders) {
                    std::string name = NameFrom(in, here);
                    const FolderRef target = reader.NewFolder();
                    reader.AddLink(current, std::move(name), target);
                    folders.push_back(target);
                }
                break;
            case 9:
                reader.At(current).openError = ErrorFrom(in.Next());
                break;
            case 10:
                reader.At(current).readErrorAfter = in.Next() % 8;
                reader.At(current).readError = ErrorFrom(in.Next());
                break;
            case 11:
                if (!here.entries.empty()) {
                    here.entries[in.Next() % here.entries.size()].openError = ErrorFrom(in.Next());
                } else {
                    here.dots = !here.dots;
                }
                break;
        }
    }
    return s;
}

// ---- the reference walk ------------------------------------------------

struct EventRecord {
    std::string name, relativePath, fullPath;
    Flag isFolder;
    Counter files, folders;
    bool operator==(const EventRecord&) const = default;
};

struct FailureRecord {
    std::string path;
    int error;
    bool operator==(const FailureRecord&) const = default;
};

struct Outcome {
    std::vector<std::string> folders, files;
    std::vector<EventRecord> events;
    std::vector<FailureRecord> failures;
    Counter folderCount = 0;
    Counter fileCount = 0;
};

constexpr std::size_t kMaxSteps = 4000;

class ReferenceWalk {
  public:
    ReferenceWalk(const ScriptedReader& tree, const Settings& s) : tree_(tree), s_(s) {
        root_ = s.root;
        if (root_.empty() || root_.back() != '/') root_ += '/';
    }

    // False when the tree is too big to be worth a run (links can make the
    // number of paths exponential).
    bool Run(FolderRef root) {
        if (const int error = tree_.At(root).openError) {
            out_.failures.push_back({root_, error});
            return true;
        }
        std::vector<FolderRef> open{root};
        Walk(root, root_, open);
        return !tooBig_;
    }

    const Outcome& Result() const { return out_; }
    std::size_t Steps() const { return steps_; }
    // The most folders open at once: root and the path below it.
    int Depth() const { return static_cast<int>(depth_); }

  private:
    void Walk(FolderRef f, const std::string& path, std::vector<FolderRef>& open) {
        const ScriptedReader::Folder& folder = tree_.At(f);
        const std::size_t dots = folder.dots ? 2 : 0;
        const std::size_t total = dots + folder.entries.size();
        for (std::size_t i = 0;; ++i) {
            if (i == folder.readErrorAfter) {
                out_.failures.push_back({path, folder.readError});
                return;
            }
            if (i == total) return;
            if (i < dots) continue;
            const ScriptedReader::Entry& e = folder.entries[i - dots];
            const std::string full = path + e.name;
            const std::string relative = full.substr(root_.size());
            if (e.kind == Kind::Folder || (e.kind == Kind::Link && e.target != kNoTarget)) {
                out_.folders.push_back(s_.fullPath != kFalse ? full + '/' : relative);
                bool enter = s_.subFolders == kTrue;
                if (enter && e.kind == Kind::Link) {
                    for (const FolderRef o : open) enter = enter && o != e.target;
                    enter = enter && !linkEntered_.contains(e.target);
                }
                if (enter) {
                    const int error = e.openError ? e.openError : tree_.At(e.target).openError;
                    if (error) {
                        out_.failures.push_back({full + '/', error});
                    } else {
                        if (e.kind == Kind::Link) linkEntered_.insert(e.target);
                        open.push_back(e.target);
                        depth_ = std::max(depth_, open.size());
                        Walk(e.target, full + '/', open);
                        open.pop_back();
                        if (tooBig_) return;
                    }
                }
                ++out_.folderCount;
                Report({e.name, relative, full, kTrue, out_.fileCount, out_.folderCount});
            } else {
                ++out_.fileCount;
                out_.files.push_back(full);
                Report({e.name, path.substr(root_.size()), path, kFalse, out_.fileCount,
                        out_.folderCount});
            }
            if (++steps_ > kMaxSteps) {
                tooBig_ = true;
                return;
            }
        }
    }

    void Report(EventRecord event) {
        if (s_.events == kTrue) out_.events.push_back(std::move(event));
    }

    static constexpr FolderRef kNoTarget = ScriptedReader::kNoFolder;
    const ScriptedReader& tree_;
    const Settings& s_;
    std::string root_;
    Outcome out_;
    std::size_t steps_ = 0;
    std::size_t depth_ = 1;
    bool tooBig_ = false;
    std::set<FolderRef> linkEntered_;
};

// ---- running the scanner ------------------------------------------------

struct Boom {};

template <class T>
bool IsPrefix(const std::vector<T>& prefix, const std::vector<T>& whole) {
    if (prefix.size() > whole.size()) return false;
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        if (!(prefix[i] == whole[i])) return false;
    }
    return true;
}

std::vector<std::string> Items(const quorvel::Collection& list) {
    std::vector<std::string> items;
    list.ForEach([&items](std::string_view item) { items.emplace_back(item); });
    return items;
}

class Run {
  public:
    Run(std::shared_ptr<ScriptedReader> reader, const Settings& s)
        : reader_(std::move(reader)), s_(s) {}

    // A fresh scanner, held only through an owner's variable (which the
    // yield may drop), run to its end. `onYield` runs at every yield with the
    // scanner, the owner's variable and the yield's number.
    template <class OnYield>
    Outcome Scan(OnYield onYield, std::size_t yieldCap) {
        Outcome out;
        WithEvents walker{&clsDirwalk::EntryFound, Recorder(out.events)};
        walker = std::make_shared<clsDirwalk>(reader_);
        walker->Events(s_.events);
        walker->SubFolders(s_.subFolders);
        walker->FullPath(s_.fullPath);
        walker->ReadAhead({.workers = s_.workers});
        clsDirwalk* raw = walker.get().get();
        // The live lists, for when the owner lets the scanner go mid-walk.
        std::shared_ptr<const quorvel::Collection> folders;
        std::shared_ptr<const quorvel::Collection> files;
        std::shared_ptr<const std::vector<quorvel::ReadFailure>> failures;
        std::size_t yields = 0;
        raw->SetYieldHook([&, raw] {
            ++yields;
            Check(yields <= yieldCap, "the walk ends: no more yields than entries");
            folders = raw->Folders();
            files = raw->Files();
            failures = raw->ReadFailures();
            onYield(*raw, walker, yields);
            out.folderCount = raw->FolderCount();
            out.fileCount = raw->FileCount();
        });
        try {
            raw->ScanFolder(s_.root);  // keeps its object alive by itself
        } catch (const Boom&) {
            thrown_ = true;
        }
        yields_ = yields;
        if (walker) {
            scanner_ = walker.get();
            scanner_->SetYieldHook({});  // it refers to this frame
            Check(!scanner_->IsScanning(), "a scan that returned or threw is over");
            folders = scanner_->Folders();
            files = scanner_->Files();
            failures = scanner_->ReadFailures();
            out.folderCount = scanner_->FolderCount();
            out.fileCount = scanner_->FileCount();
        }
        out.folders = Items(*folders);
        out.files = Items(*files);
        for (const quorvel::ReadFailure& f : *failures) {
            Check(f.error.category() == std::generic_category(), "errors are errno values");
            out.failures.push_back({f.path, f.error.value()});
        }
        return out;
    }

    bool Thrown() const { return thrown_; }
    std::size_t Yields() const { return yields_; }
    const std::shared_ptr<clsDirwalk>& Scanner() const { return scanner_; }

  private:
    using WithEvents = quorvel::WithEvents<clsDirwalk, EntryFoundHandler>;

    static EntryFoundHandler Recorder(std::vector<EventRecord>& into) {
        return [&into](std::string_view name, std::string_view relativePath,
                       std::string_view fullPath, Flag isFolder, Counter files, Counter folders) {
            into.push_back({std::string(name), std::string(relativePath), std::string(fullPath),
                            isFolder, files, folders});
        };
    }

    std::shared_ptr<ScriptedReader> reader_;
    const Settings& s_;
    bool thrown_ = false;
    std::size_t yields_ = 0;
    std::shared_ptr<clsDirwalk> scanner_;
};

void ExpectSame(const Outcome& got, const Outcome& want) {
    Check(got.folders == want.folders, "folder list equals the reference (pre-order)");
    Check(got.files == want.files, "file list equals the reference");
    Check(got.folderCount == want.folderCount, "folder count equals the reference");
    Check(got.fileCount == want.fileCount, "file count equals the reference");
    Check(got.events == want.events, "events equal the reference (post-order numbers)");
    Check(got.failures == want.failures, "every read failure is recorded, in order");
}

void ExpectCountsMatchLists(const Outcome& got) {
    Check(static_cast<std::size_t>(got.folderCount) == got.folders.size(), "folder count == list");
    Check(static_cast<std::size_t>(got.fileCount) == got.files.size(), "file count == list");
}

void Exercise(const std::shared_ptr<ScriptedReader>& reader, const Settings& s, const Outcome& want,
              std::size_t steps) {
    const auto nothing = [](clsDirwalk&, auto&, std::size_t) {};
    const std::size_t at = static_cast<std::size_t>(s.stopAt);
    Run run(reader, s);

    switch (s.stop) {
        case Stop::None: {
            const Outcome got = run.Scan(nothing, steps);
            ExpectSame(got, want);
            Check(run.Yields() == steps, "one yield per entry");
            break;
        }
        case Stop::Abort: {
            const Outcome got = run.Scan(
                [at](clsDirwalk& w, auto&, std::size_t n) {
                    if (n == at) w.Abort();
                },
                steps);
            ExpectCountsMatchLists(got);
            Check(IsPrefix(got.folders, want.folders), "aborted: folders are a prefix");
            Check(IsPrefix(got.files, want.files), "aborted: files are a prefix");
            Check(IsPrefix(got.failures, want.failures), "aborted: failures are a prefix");
            if (at > steps) {
                ExpectSame(got, want);
                break;
            }
            Check(run.Yields() <= steps, "aborted: no extra entries");
            // Up to the request the walk is the reference's; after it, only
            // the open levels are completed, innermost first.
            if (s.events == kTrue) {
                Check(got.events.size() >= at, "aborted: every entry so far reported");
                const std::vector<EventRecord> before(got.events.begin(),
                                                      got.events.begin() + static_cast<long>(at));
                Check(IsPrefix(before, want.events), "aborted: events up to the request");
                Counter folders = before.empty() ? 0 : before.back().folders;
                for (std::size_t i = at; i < got.events.size(); ++i) {
                    Check(got.events[i].isFolder == kTrue, "aborted: only folders complete");
                    Check(got.events[i].folders == ++folders, "aborted: numbers go on by one");
                }
            }
            break;
        }
        case Stop::Throw: {
            const Outcome got = run.Scan(
                [at](clsDirwalk&, auto&, std::size_t n) {
                    if (n == at) throw Boom{};
                },
                steps);
            Check(run.Thrown() == (at <= steps), "an exception from the yield leaves the scan");
            if (!run.Thrown()) {
                ExpectSame(got, want);
                break;
            }
            Check(IsPrefix(got.folders, want.folders), "thrown: folders are a prefix");
            Check(IsPrefix(got.files, want.files), "thrown: files are a prefix");
            Check(static_cast<std::size_t>(got.fileCount) == got.files.size(), "thrown: files");
            Check(static_cast<std::size_t>(got.folderCount) <= got.folders.size(),
                  "thrown: folders counted were listed");
            Check(reader->OpenListings() == 0, "thrown: every listing closed");
            // The scanner is usable again and starts from scratch.
            run.Scanner()->SetYieldHook({});
            run.Scanner()->Events(kFalse);
            run.Scanner()->ScanFolder(s.root);
            Check(Items(*run.Scanner()->Folders()) == want.folders, "rescan after a throw");
            Check(Items(*run.Scanner()->Files()) == want.files, "rescan after a throw: files");
            break;
        }
        case Stop::NestedScan: {
            const Outcome got = run.Scan(
                [&](clsDirwalk&, auto&, std::size_t n) {
                    if (n != at) return;
                    const int openBefore = reader->OpenListings();
                    Run inner(reader, s);
                    ExpectSame(inner.Scan(nothing, steps), want);
                    // The outer scan's workers open and close listings
                    // meanwhile: then only the final count tells.
                    Check(s.workers != 0 || reader->OpenListings() == openBefore,
                          "nested scan closed its own");
                },
                steps);
            ExpectSame(got, want);
            break;
        }
        case Stop::ReentrantScan: {
            const Outcome got = run.Scan(
                [&](clsDirwalk& w, auto&, std::size_t n) {
                    if (n != at) return;
                    bool refused = false;
                    try {
                        w.ScanFolder(s.root);
                    } catch (const std::logic_error&) {
                        refused = true;
                    }
                    Check(refused, "ScanFolder on a running scanner is refused");
                },
                steps);
            ExpectSame(got, want);
            break;
        }
        case Stop::DropOwner: {
            std::weak_ptr<clsDirwalk> weak;
            const Outcome got = run.Scan(
                [&](clsDirwalk& w, auto& owner, std::size_t n) {
                    if (n != at) return;
                    weak = w.weak_from_this();
                    owner = nullptr;  // disconnects the handler too
                },
                steps);
            Check(at > steps || weak.expired(), "dropped owner: freed when its walk ended");
            Check(got.folders == want.folders, "dropped owner: the walk went on to its end");
            Check(got.files == want.files, "dropped owner: files");
            Check(got.failures == want.failures, "dropped owner: failures");
            if (s.events == kTrue) {
                const std::size_t delivered = std::min(at, want.events.size());
                Check(got.events.size() == delivered, "dropped owner: no events after");
            }
            break;
        }
    }
    Check(reader->OpenListings() == 0, "every listing is closed");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Bytes in(data, size);
    const auto reader = std::make_shared<ScriptedReader>();
    const Settings settings = Decode(in, *reader);
    ReferenceWalk reference(*reader, settings);
    if (!reference.Run(0)) return 0;
    // A walk that descends without end (a loop entered again and again)
    // yields nothing on the way down; it stops here instead, and then fails
    // the comparison with a failure the reference does not have. A nested
    // scan may hold as many listings again.
    const int most = MostListings(reference.Depth(), settings.workers);
    reader->LimitOpenListings(2 * most);
    Exercise(reader, settings, reference.Result(), reference.Steps());
    Check(reader->MostOpenListings() <= (settings.stop == Stop::NestedScan ? 2 : 1) * most,
          "one open listing per level of the path, and a few per worker, no more");
    return 0;
}
