// SPDX-License-Identifier: MIT
#include "ReadAheadListing.h"

#include <cerrno>
#include <utility>
#include <vector>

#include "WalkKey.h"

namespace quorvel {

struct ReadAheadListing::Place {
    std::shared_ptr<Place> parent;  // null for the root
    std::string name;               // the root's: the path it was opened with
    std::optional<FolderId> identity;
    std::unique_ptr<FolderListing> inner;
    // What a worker listed here, while the walk is in it: opened again, the
    // folder must list the same, or it is not the folder the walk is in.
    const ListingSnapshot* listed = nullptr;
};

namespace {

// Out of descriptors, perhaps because the workers hold a few: errno values,
// compared without calling into the category (there may be no descriptor
// left for what a sanitizer does on such a call).
bool IsDescriptorShortage(std::error_code error) {
    return error.category() == std::generic_category() &&
           (error.value() == EMFILE || error.value() == ENFILE);
}

}  // namespace

ReadAheadListing::ReadAheadListing(std::shared_ptr<ReadAheadQueue> queue,
                                   std::shared_ptr<Place> place, std::string key,
                                   std::string fullPath, std::unique_ptr<ListingSnapshot> snapshot)
    : queue_(std::move(queue)),
      place_(std::move(place)),
      key_(std::move(key)),
      fullPath_(std::move(fullPath)),
      snapshot_(std::move(snapshot)),
      charged_(snapshot_ ? snapshot_->Capacity() : 0) {
    if (!place_->inner) place_->listed = snapshot_.get();
}

ReadAheadListing::~ReadAheadListing() {
    place_->listed = nullptr;
    if (charged_ != 0) queue_->Release(charged_);
    // The walk has left this folder: its descriptor goes now.
    place_->inner.reset();
}

std::unique_ptr<FolderListing> ReadAheadListing::OpenRoot(
    const std::shared_ptr<ReadAheadQueue>& queue, const std::string& path, std::string fullPath,
    std::error_code& error) {
    auto place = std::make_shared<Place>();
    place->name = path;
    place->inner = queue->Inner().OpenRoot(path, error);
    if (!place->inner) return nullptr;
    return ReadHere(queue, std::move(place), std::string(), std::move(fullPath));
}

std::unique_ptr<FolderListing> ReadAheadListing::ReadHere(
    const std::shared_ptr<ReadAheadQueue>& queue, std::shared_ptr<Place> place, std::string key,
    std::string fullPath) {
    auto listing = std::make_unique<ReadAheadListing>(queue, std::move(place), std::move(key),
                                                      std::move(fullPath), nullptr);
    if (!queue->Active()) return listing;
    // Charged to the listing as it grows, so that its destructor releases
    // it even when a read throws half-way.
    ReadAheadListing& self = *listing;
    self.snapshot_ = std::make_unique<ListingSnapshot>();
    const ListingSnapshot::GrowthGate gate = [&self](std::size_t bytes) {
        if (!self.queue_->Reserve(bytes, self.key_)) return false;
        self.charged_ += bytes;
        return true;
    };
    FolderListing& inner = *self.place_->inner;
    DirEntry entry;
    bool complete = true;
    while (inner.Next(entry)) {
        if (!self.snapshot_->Append(entry, gate)) {
            self.heldOverName_.assign(entry.name);
            self.heldOver_ = entry;
            self.heldOver_.name = self.heldOverName_;
            self.heldOverPending_ = true;
            complete = false;
            break;
        }
    }
    if (complete) {
        self.snapshot_->complete = true;
        self.snapshot_->error = inner.Error();
    }
    if (!self.fullPath_.empty()) queue->Publish(self.key_, self.fullPath_, *self.snapshot_);
    return listing;
}

bool ReadAheadListing::Next(DirEntry& entry) {
    if (snapshot_) {
        if (snapshot_->Read(offset_, entry)) {
            ++index_;
            return true;
        }
        if (snapshot_->complete) return false;
    }
    if (heldOverPending_) {
        heldOverPending_ = false;
        entry = heldOver_;
        ++index_;
        return true;
    }
    if (!place_->inner || !place_->inner->Next(entry)) return false;
    ++index_;
    return true;
}

std::error_code ReadAheadListing::Error() const {
    if (snapshot_ && snapshot_->complete) return snapshot_->error;
    return place_->inner ? place_->inner->Error() : std::error_code();
}

FolderId ReadAheadListing::Identity() {
    // Workers do not ask (it costs every folder a call); the walk asks only
    // when it meets a link, so a folder a worker listed is opened for it.
    if (!place_->identity) {
        std::error_code error;
        if (FolderListing* inner = Reach(error)) place_->identity = inner->Identity();
    }
    return place_->identity.value_or(FolderId{});
}

std::unique_ptr<FolderListing> ReadAheadListing::OpenChild(std::string_view name,
                                                           std::error_code& error) {
    std::string key = ChildKey(key_, index_ == 0 ? 0 : index_ - 1);
    if (std::unique_ptr<FolderListing> taken = TakeReadAhead(key, name)) return taken;
    if (queue_->GaveUp()) {
        error = std::make_error_code(std::errc::operation_canceled);
        return nullptr;
    }
    const ReadClock clock = queue_->WalkReadClock();
    // Empty: nothing below the child is read ahead.
    std::string fullPath;
    if (!fullPath_.empty() && NameFitsInPath(name)) fullPath.append(fullPath_).append(name);
    std::unique_ptr<FolderListing> child = OpenByPath(fullPath);
    if (!child) child = OpenThroughParent(name, error);
    if (!child && IsDescriptorShortage(error)) child = OpenAfterShortage(name, error);
    // From a stop on, the walk is the serial one.
    if (!child || !queue_->Active()) return child;
    if (!fullPath.empty()) fullPath.push_back('/');
    auto place = std::make_shared<Place>();
    place->parent = place_;
    place->name = name;
    place->inner = std::move(child);
    FolderListing& read = *place->inner;
    std::unique_ptr<FolderListing> listing =
        ReadHere(queue_, std::move(place), std::move(key), std::move(fullPath));
    queue_->NoteRead(clock.End(&read));
    return listing;
}

std::unique_ptr<FolderListing> ReadAheadListing::TakeReadAhead(std::string& key,
                                                               std::string_view name) {
    if (!queue_->Active()) return nullptr;
    std::string fullPath;
    std::unique_ptr<ListingSnapshot> snapshot = queue_->Take(key, name, fullPath);
    if (!snapshot) return nullptr;
    fullPath.push_back('/');
    auto place = std::make_shared<Place>();
    place->parent = place_;
    place->name = name;
    return std::make_unique<ReadAheadListing>(queue_, std::move(place), std::move(key),
                                              std::move(fullPath), std::move(snapshot));
}

std::unique_ptr<FolderListing> ReadAheadListing::OpenByPath(const std::string& fullPath) {
    // Only when a worker read this folder, which therefore holds no
    // descriptor: reaching the child through it would open every folder above
    // it again. By path it costs what a worker's read costs; what fails that
    // way is tried again through the parent, which meets whatever the serial
    // walk meets.
    if (fullPath.empty() || place_->inner || !queue_->Active()) return nullptr;
    std::error_code ignored;
    return queue_->Inner().OpenRoot(fullPath, ignored);
}

std::unique_ptr<FolderListing> ReadAheadListing::OpenThroughParent(std::string_view name,
                                                                   std::error_code& error) {
    FolderListing* parent = Reach(error);
    return parent ? parent->OpenChild(name, error) : nullptr;
}

std::unique_ptr<FolderListing> ReadAheadListing::OpenAfterShortage(std::string_view name,
                                                                   std::error_code& error) {
    if (!queue_->Active()) return nullptr;
    // Let the workers give back what they hold, then try as the serial walk
    // would have: a shortage it would not have met is not a failure.
    queue_->Quiesce();
    error.clear();
    return OpenThroughParent(name, error);
}

FolderListing* ReadAheadListing::Reach(std::error_code& error) {
    std::vector<Place*> way;  // from this folder up, each without a listing
    for (Place* at = place_.get(); at && !at->inner; at = at->parent.get()) way.push_back(at);
    for (auto step = way.rbegin(); step != way.rend(); ++step) {
        Place& place = **step;
        place.inner = place.parent ? place.parent->inner->OpenChild(place.name, error)
                                   : queue_->Inner().OpenRoot(place.name, error);
        if (!place.inner) return nullptr;
        const bool same = place.listed
                              ? place.listed->Matches(*place.inner)
                              : !place.identity || place.inner->Identity() == *place.identity;
        if (!same) {
            // Changed, renamed or replaced since it was listed: its children
            // now are not those of the folder the walk is in.
            place.inner.reset();
            error = std::error_code(ENOENT, std::generic_category());
            return nullptr;
        }
    }
    return place_->inner.get();
}

}  // namespace quorvel
