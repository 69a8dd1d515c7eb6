#include "ReadAheadQueue.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <system_error>
#include <thread>
#include <utility>

namespace quorvel {
namespace {

// What a queued folder costs besides its path and key: the task, its map
// node and the shared pointer's block, roughly.
constexpr std::size_t kTaskBytes = 160;
// A worker starts a folder only with at least this much room (or room it can
// take from listings needed later): most folders fit in it.
constexpr std::size_t kStartBytes = 4096;
// Workers start one for each core the walk leaves free: reading folders that
// are in memory is work for a core, and more threads than cores only add
// contention (measured on two cores: a second worker costs a fifth more CPU
// time and gains nothing). Folders on the disk (or across the network) are
// waited for, not computed: then the walk gets one more worker each time it
// waits longer than a read from memory takes, even of a folder of thousands
// of entries. (A worker that lost its core to another program looks the
// same; that costs some CPU time, not a result.)
unsigned FirstWorkers() {
    const unsigned cores = std::thread::hardware_concurrency();
    return cores > 2 ? cores - 1 : 1;
}
constexpr std::chrono::microseconds kSlowRead{1000};

}  // namespace

struct ReadAheadQueue::Task {
    std::string key;
    std::string path;  // no trailing '/'
    std::size_t nameStart = 0;
    std::unique_ptr<ListingSnapshot> snapshot;  // once read
    std::size_t charged = 0;                    // its own bytes and its snapshot's
    std::atomic<bool> done = false;             // a worker has finished with it
    bool abandoned = false;                     // dropped while a worker read it
    bool published = false;                     // its subfolders were queued

    bool Names(std::string_view name) const {
        return std::string_view(path).substr(nameStart) == name;
    }
};

std::string ReadAheadQueue::ChildKey(const std::string& key, std::uint32_t index) {
    std::string child;
    child.reserve(key.size() + 4);
    child.append(key);
    for (int shift = 24; shift >= 0; shift -= 8) child.push_back(static_cast<char>(index >> shift));
    return child;
}

bool ReadAheadQueue::NameFitsInPath(std::string_view name) {
    return !name.empty() && name != "." && name != ".." &&
           name.find_first_of(std::string_view("/\0", 2)) == std::string_view::npos;
}

ReadAheadQueue::ReadAheadQueue(std::shared_ptr<DirectoryReader> inner, unsigned workers,
                               std::size_t memoryCap)
    : inner_(std::move(inner)), workerCount_(workers), memoryCap_(memoryCap) {}

ReadAheadQueue::~ReadAheadQueue() {
    Quiesce();
}

std::unique_ptr<ListingSnapshot> ReadAheadQueue::Take(const std::string& key, std::string_view name,
                                                      std::string& path) {
    std::vector<std::unique_ptr<ListingSnapshot>> dropped;
    std::unique_ptr<ListingSnapshot> taken;
    bool wake = false;
    bool slowWait = false;
    {
        std::unique_lock lock(mutex_);
        DropBeforeLocked(key, dropped);
        if (const auto reading = reading_.find(key);
            reading != reading_.end() && reading->second->Names(name)) {
            const std::shared_ptr<Task> task = reading->second;
            const auto waitStart = std::chrono::steady_clock::now();
            lock.unlock();
            // Spins a moment before it sleeps: most reads from memory end
            // sooner than a sleep and a wake-up take.
            task->done.wait(false);
            lock.lock();
            slowWait = std::chrono::steady_clock::now() - waitStart > kSlowRead;
        }
        if (const auto ready = ready_.find(key); ready != ready_.end()) {
            Task& task = *ready->second;
            if (task.Names(name)) {
                taken = std::move(task.snapshot);
                path = std::move(task.path);
                charged_ -= task.charged - taken->Capacity();
            } else {
                charged_ -= task.charged;
                dropped.push_back(std::move(task.snapshot));
            }
            ready_.erase(ready);
        } else if (const auto waiting = waiting_.find(key); waiting != waiting_.end()) {
            charged_ -= waiting->second->charged;
            waiting_.erase(waiting);
        }
        wake = !dropped.empty() && std::exchange(memoryShort_, false);
    }
    if (wake) workAvailable_.notify_all();
    if (slowWait) AddWorker();
    return taken;
}

void ReadAheadQueue::DropBeforeLocked(std::string_view key,
                                      std::vector<std::unique_ptr<ListingSnapshot>>& dropped) {
    for (auto at = waiting_.begin(); at != waiting_.end() && at->first < key;) {
        charged_ -= at->second->charged;
        at = waiting_.erase(at);
    }
    for (auto at = ready_.begin(); at != ready_.end() && at->first < key;) {
        charged_ -= at->second->charged;
        dropped.push_back(std::move(at->second->snapshot));
        at = ready_.erase(at);
    }
    // Their workers release what they charged when they finish.
    for (auto at = reading_.begin(); at != reading_.end() && at->first < key;) {
        at->second->abandoned = true;
        at = reading_.erase(at);
    }
}

void ReadAheadQueue::Publish(const std::string& key, const std::string& path,
                             const ListingSnapshot& snapshot) {
    std::size_t wake = 0;
    {
        const std::lock_guard lock(mutex_);
        // The walk reads a folder itself after a worker dropped it, perhaps
        // after its subfolders were queued.
        wake = std::min(PublishLocked(key, path, snapshot, true), idleWorkers_);
        if (waiting_.empty()) return;
    }
    static const unsigned firstWorkers = FirstWorkers();
    while (workers_.size() < std::min(firstWorkers, workerCount_) && AddWorker()) {
    }
    for (; wake > 0; --wake) workAvailable_.notify_one();
}

std::size_t ReadAheadQueue::PublishLocked(const std::string& key, const std::string& path,
                                          const ListingSnapshot& snapshot, bool again) {
    if (stopped_) return 0;
    std::size_t added = 0;
    std::size_t offset = 0;
    DirEntry entry;
    for (std::uint32_t index = 0; snapshot.Read(offset, entry); ++index) {
        if (!entry.isFolder || entry.isLink || !NameFitsInPath(entry.name)) continue;
        std::string childKey = ChildKey(key, index);
        if (again && (waiting_.contains(childKey) || reading_.contains(childKey) ||
                      ready_.contains(childKey))) {
            continue;
        }
        auto task = std::make_shared<Task>();
        task->path.reserve(path.size() + entry.name.size() + 1);  // and the '/' the walk adds
        task->path.append(path).append(entry.name);
        task->nameStart = path.size();
        task->charged = kTaskBytes + childKey.size() + task->path.size();
        if (charged_ + task->charged > memoryCap_) break;
        charged_ += task->charged;
        task->key = childKey;
        waiting_.emplace(std::move(childKey), std::move(task));
        ++added;
    }
    return added;
}

bool ReadAheadQueue::Reserve(std::size_t bytes, const std::string& key) {
    std::vector<std::unique_ptr<ListingSnapshot>> dropped;
    const std::lock_guard lock(mutex_);
    return ReserveLocked(bytes, key, dropped);
}

bool ReadAheadQueue::ReserveLocked(std::size_t bytes, std::string_view key,
                                   std::vector<std::unique_ptr<ListingSnapshot>>& dropped) {
    while (charged_ + bytes > memoryCap_) {
        if (ready_.empty() || ready_.rbegin()->first <= key) return false;
        // The listing needed last gives way; it is read again later.
        const auto last = std::prev(ready_.end());
        Task& task = *last->second;
        charged_ -= task.snapshot->Capacity();
        task.charged -= task.snapshot->Capacity();
        dropped.push_back(std::move(task.snapshot));
        waiting_.emplace(last->first, std::move(last->second));
        ready_.erase(last);
    }
    charged_ += bytes;
    return true;
}

void ReadAheadQueue::Release(std::size_t bytes) {
    bool wake = false;
    {
        const std::lock_guard lock(mutex_);
        charged_ -= bytes;
        wake = std::exchange(memoryShort_, false);
    }
    if (wake) workAvailable_.notify_all();
}

void ReadAheadQueue::Stop() {
    std::vector<std::unique_ptr<ListingSnapshot>> dropped;
    {
        const std::lock_guard lock(mutex_);
        if (stopped_) return;
        stopped_ = true;
        for (auto& [key, task] : waiting_) charged_ -= task->charged;
        for (auto& [key, task] : ready_) {
            charged_ -= task->charged;
            dropped.push_back(std::move(task->snapshot));
        }
        for (auto& [key, task] : reading_) task->abandoned = true;
        waiting_.clear();
        ready_.clear();
        reading_.clear();
    }
    for (std::jthread& worker : workers_) worker.request_stop();
    workAvailable_.notify_all();
}

void ReadAheadQueue::Quiesce() {
    Stop();
    for (std::jthread& worker : workers_) {
        if (worker.joinable()) worker.join();
    }
    workers_.clear();
}

bool ReadAheadQueue::AddWorker() {
    if (stopped_ || workers_.size() >= workerCount_) return false;
    try {
        workers_.emplace_back([this](const std::stop_token& stop) { Work(stop); });
        return true;
    } catch (const std::system_error&) {
        // The system is out of threads: fewer folders read ahead, nothing
        // else changes.
        return false;
    }
}

void ReadAheadQueue::NoteRead(std::chrono::steady_clock::duration took) {
    if (took > kSlowRead) AddWorker();
}

bool ReadAheadQueue::CanStartLocked() const {
    if (stopped_ || waiting_.empty()) return false;
    return charged_ + kStartBytes <= memoryCap_ ||
           (!ready_.empty() && ready_.rbegin()->first > waiting_.begin()->first);
}

void ReadAheadQueue::Work(const std::stop_token& stop) {
    std::unique_lock lock(mutex_);
    for (;;) {
        ++idleWorkers_;
        const bool started = workAvailable_.wait(lock, stop, [this] {
            if (CanStartLocked()) return true;
            // Work there is, room there is not: wake us when some is freed.
            if (!waiting_.empty()) memoryShort_ = true;
            return false;
        });
        --idleWorkers_;
        if (!started) return;
        const std::shared_ptr<Task> task = waiting_.begin()->second;
        waiting_.erase(waiting_.begin());
        task->done = false;  // a listing given way to memory is read again
        reading_.emplace(task->key, task);
        lock.unlock();

        std::unique_ptr<ListingSnapshot> snapshot = ReadFolder(*task, stop);
        std::vector<std::unique_ptr<ListingSnapshot>> dropped;

        lock.lock();
        if (!task->abandoned) reading_.erase(task->key);
        if (task->abandoned || !snapshot) {
            // Not read, or no longer wanted: the walk reads it itself if
            // it still needs it, and meets whatever made this read fail.
            charged_ -= task->charged;
            task->charged = 0;
            dropped.push_back(std::move(snapshot));
        } else {
            const std::size_t added =
                PublishLocked(task->key, task->path + '/', *snapshot, task->published);
            task->published = true;
            for (std::size_t wake = std::min(added, idleWorkers_); wake > 0; --wake) {
                workAvailable_.notify_one();
            }
            task->snapshot = std::move(snapshot);
            ready_.emplace(task->key, task);
        }
        task->done = true;
        task->done.notify_all();
        if (!dropped.empty()) {
            lock.unlock();
            dropped.clear();
            lock.lock();
        }
    }
}

std::unique_ptr<ListingSnapshot> ReadAheadQueue::ReadFolder(Task& task,
                                                            const std::stop_token& stop) {
    // Whatever goes wrong, a worker gives up the folder: an exception, like a
    // read error, is for the walk to meet when it reads the folder itself.
    try {
        std::error_code error;
        const std::unique_ptr<FolderListing> listing = inner_->OpenRoot(task.path, error);
        if (!listing) return nullptr;
        auto snapshot = std::make_unique<ListingSnapshot>();
        const ListingSnapshot::GrowthGate gate = [this, &task](std::size_t bytes) {
            std::vector<std::unique_ptr<ListingSnapshot>> dropped;
            const std::lock_guard lock(mutex_);
            // Behind the walk already: give up, and take no room from others.
            if (task.abandoned || !ReserveLocked(bytes, task.key, dropped)) return false;
            task.charged += bytes;
            return true;
        };
        DirEntry entry;
        for (unsigned n = 1; listing->Next(entry); ++n) {
            if (n % 64 == 0 && stop.stop_requested()) return nullptr;
            if (!snapshot->Append(entry, gate)) return nullptr;
        }
        if (listing->Error()) return nullptr;
        snapshot->complete = true;
        return snapshot;
    } catch (...) {
        return nullptr;
    }
}

}  // namespace quorvel
