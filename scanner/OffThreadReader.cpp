// SPDX-License-Identifier: MIT
#include "OffThreadReader.h"

#include <string_view>
#include <utility>
#include <vector>

#include "ReadingThread.h"

namespace quorvel {

class OffThreadReader::Channel : public ReadingThread {
  public:
    Channel(std::shared_ptr<DirectoryReader> inner, ReadWaiter& waiter,
            std::shared_ptr<ThreadTally> tally)
        : ReadingThread(waiter, std::move(tally)), inner_(std::move(inner)) {}
    DirectoryReader& Inner() { return *inner_; }

  private:
    const std::shared_ptr<DirectoryReader> inner_;
};

namespace {

using Channel = OffThreadReader::Channel;
using ListingId = ReadingThread::ListingId;

std::error_code GivenUp() {
    return std::make_error_code(std::errc::operation_canceled);
}

// Entries of one listing, read on the thread and handed to the walk.
struct Batch {
    struct Item {
        std::size_t nameEnd = 0;
        bool isFolder = false;
        bool isLink = false;
        FolderId linkTarget;
    };
    std::string names;
    std::vector<Item> items;
    // The listing's last entry is in it; `error` tells how it ended.
    bool ended = false;
    std::error_code error;
};

// On the thread.
Batch ReadBatch(FolderListing& listing) {
    Batch batch;
    DirEntry entry;
    while (batch.items.size() < OffThreadReader::kBatchEntries &&
           batch.names.size() < OffThreadReader::kBatchBytes) {
        if (!listing.Next(entry)) {
            batch.ended = true;
            batch.error = listing.Error();
            break;
        }
        batch.names.append(entry.name);
        batch.items.push_back(
            Batch::Item{batch.names.size(), entry.isFolder, entry.isLink, entry.linkTarget});
    }
    return batch;
}

struct Opened {
    ListingId id = ReadingThread::kNoListing;
    std::error_code error;
    Batch first;
};

// On the thread: keeps `listing` and reads its first batch.
Opened Open(Channel& channel, std::unique_ptr<FolderListing> listing, std::error_code error) {
    Opened opened;
    if (!listing) {
        opened.error = error;
        return opened;
    }
    opened.first = ReadBatch(*listing);
    opened.id = channel.Keep(std::move(listing));
    return opened;
}

// What becomes of an answer given up, on the thread.
auto CloseOpened(Channel& channel) {
    return [&channel](Opened& opened) {
        if (opened.id != ReadingThread::kNoListing) channel.Close(opened.id);
    };
}
constexpr auto kKeepNothing = [](auto&) {};

std::unique_ptr<FolderListing> Handle(const std::shared_ptr<Channel>& channel, Opened opened,
                                      std::error_code& error);

class OffThreadListing final : public FolderListing {
  public:
    OffThreadListing(std::shared_ptr<Channel> channel, Opened opened)
        : channel_(std::move(channel)), id_(opened.id), batch_(std::move(opened.first)) {
        channel_->AddOwner();
    }
    ~OffThreadListing() override { channel_->DropOwner(id_); }
    OffThreadListing(const OffThreadListing&) = delete;
    OffThreadListing& operator=(const OffThreadListing&) = delete;

    bool Next(DirEntry& entry) override {
        while (next_ == batch_.items.size()) {
            if (batch_.ended) return false;
            Batch more;
            Channel& channel = *channel_;
            const ListingId id = id_;
            if (!channel.Ask([&channel, id] { return ReadBatch(channel.Listing(id)); },
                             kKeepNothing, more)) {
                more.ended = true;
                more.error = GivenUp();
            }
            batch_ = std::move(more);
            next_ = 0;
        }
        const Batch::Item& item = batch_.items[next_];
        const std::size_t start = next_ == 0 ? 0 : batch_.items[next_ - 1].nameEnd;
        entry.name = std::string_view(batch_.names).substr(start, item.nameEnd - start);
        entry.isFolder = item.isFolder;
        entry.isLink = item.isLink;
        entry.linkTarget = item.linkTarget;
        ++next_;
        return true;
    }

    std::error_code Error() const override {
        return batch_.ended ? batch_.error : std::error_code();
    }

    FolderId Identity() override {
        if (identity_) return *identity_;
        Channel& channel = *channel_;
        const ListingId id = id_;
        FolderId identity;
        if (!channel.Ask([&channel, id] { return channel.Listing(id).Identity(); }, kKeepNothing,
                         identity)) {
            return FolderId{};  // given up: the walk is ending
        }
        identity_ = identity;
        return identity;
    }

    std::unique_ptr<FolderListing> OpenChild(std::string_view name,
                                             std::error_code& error) override {
        Channel& channel = *channel_;
        const ListingId id = id_;
        Opened opened;
        if (!channel.Ask(
                [&channel, id, name = std::string(name)] {
                    std::error_code childError;
                    std::unique_ptr<FolderListing> child =
                        channel.Listing(id).OpenChild(name, childError);
                    return Open(channel, std::move(child), childError);
                },
                CloseOpened(channel), opened)) {
            error = GivenUp();
            return nullptr;
        }
        return Handle(channel_, std::move(opened), error);
    }

  private:
    std::shared_ptr<Channel> channel_;
    ListingId id_;
    Batch batch_;
    std::size_t next_ = 0;
    std::optional<FolderId> identity_;
};

std::unique_ptr<FolderListing> Handle(const std::shared_ptr<Channel>& channel, Opened opened,
                                      std::error_code& error) {
    if (opened.id == ReadingThread::kNoListing) {
        error = opened.error;
        return nullptr;
    }
    return std::make_unique<OffThreadListing>(channel, std::move(opened));
}

}  // namespace

OffThreadReader::OffThreadReader(std::shared_ptr<DirectoryReader> inner, ReadWaiter& waiter,
                                 std::shared_ptr<ThreadTally> tally)
    : channel_(std::make_shared<Channel>(std::move(inner), waiter, std::move(tally))) {
    channel_->AddOwner();
}

OffThreadReader::~OffThreadReader() {
    channel_->DropOwner(ReadingThread::kNoListing);
}

std::unique_ptr<FolderListing> OffThreadReader::OpenRoot(const std::string& path,
                                                         std::error_code& error) {
    Channel& channel = *channel_;
    Opened opened;
    if (!channel.Ask(
            [&channel, path] {
                std::error_code rootError;
                std::unique_ptr<FolderListing> root = channel.Inner().OpenRoot(path, rootError);
                return Open(channel, std::move(root), rootError);
            },
            CloseOpened(channel), opened)) {
        error = GivenUp();
        return nullptr;
    }
    return Handle(channel_, std::move(opened), error);
}

}  // namespace quorvel
