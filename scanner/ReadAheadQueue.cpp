// SPDX-License-Identifier: MIT
#include "ReadAheadQueue.h"

#if defined(__linux__)
#include <sys/resource.h>
#include <sys/sysmacros.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
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
// time and gains nothing). Folders on the disk are waited for, not
// computed: then the walk gets one more worker for each slow read (one
// that took longer than reading even thousands of entries from memory
// takes) that gave up its core to wait, for a disk or the network. A thread
// that lost its core to other programs looks the same, but another worker
// would only take more of the cores from the walk; a stall of the host also
// gives up the core: on a block device, the blocks the thread read tell
// that apart (ReadClock). (Whether a core is idle does not tell: on an
// otherwise idle machine a passing delay finds one.)
unsigned FirstWorkers() {
    const unsigned cores = std::thread::hardware_concurrency();
    return cores > 2 ? cores - 1 : 1;
}
// Low enough that a fast SSD's reads (0.1 to 0.5 ms for a folder) reach it:
// the sooner a cold walk has its workers, the sooner it is done.
constexpr std::chrono::microseconds kSlowRead{300};
// A walk of folders in memory still meets a few whose blocks the system
// has dropped meanwhile, and adds workers for them, each of which would
// cost it a tenth of its time from then on: after this many reads in a row
// that did not wait, the worker added last pauses until the next wait. (On
// a cold SSD, with a dozen workers, at most 80 reads came between two that
// waited.)
constexpr std::size_t kQuietReads = 256;

// Times the calling thread may have slept on the queue's lock: a wait
// count kept across them is stale.
thread_local std::uint64_t tLockSleeps = 0;
// Reads a worker keeps its wait count for at most.
constexpr unsigned kReadsPerAsk = 64;

// What the system tells of the calling thread's waits; nothing where it
// does not tell.
ReadAheadQueue::ThreadWaits AskThreadWaits() {
    ReadAheadQueue::ThreadWaits waits;
#if defined(__linux__)
    struct rusage usage {};
    if (::getrusage(RUSAGE_THREAD, &usage) == 0) {
        waits.switches = static_cast<std::uint64_t>(usage.ru_nvcsw);
        waits.blocksRead = static_cast<std::uint64_t>(usage.ru_inblock);
    }
#endif
    return waits;
}

// Whether a read of `folder` that waited for storage shows in the blocks
// its thread has read: only where the system counts them (its I/O
// accounting, present where /proc/self/io is), and only for a file system
// on a block device. Network and FUSE file systems (and btrfs's subvolumes)
// have devices of major number 0, and their reads are made by other
// threads, or none.
#if defined(__linux__)
bool StorageReadsShow(FolderListing& folder) {
    static const bool accounted = ::access("/proc/self/io", R_OK) == 0;
    return accounted && major(static_cast<dev_t>(folder.Identity().device)) != 0;
}
#endif

// Snapshots the walk is done with serve later folders, buffer and all, up
// to this many and this large: a buffer freed on one thread and allocated
// anew on another costs the allocator locks, page faults and returning
// memory to the system, which together cost a worker more than the listing.
// As many as a worker may read ahead of a walk that is busy elsewhere (the
// window's, showing what it finds): with 64, the walk freed the rest, and
// slept on the worker's arena lock 85 times a scan. Their memory stays
// charged, and is the first to go when room is short.
constexpr std::size_t kSpareLimit = 1024;
constexpr std::size_t kSpareCapacityLimit = std::size_t{64} << 10;
// Folders a worker keeps open after reading them, to open their subfolders
// by name: resolving a path from the root costs the system one lookup per
// level, and paths here run to hundreds of levels.
constexpr std::size_t kHeldLimit = 3;
// Set on the workers' threads. Memory is best freed on the thread that
// allocated it: freed on another, once that thread's cache of small chunks
// is full, it takes the lock of the allocating thread's arena, which does
// not spin (warm, the walk and its worker slept on each other's arenas 250
// times a scan).
thread_local bool tWorker = false;
// Spins before a thread sleeps (a pause takes 10 to 40 ns, by processor): on
// the lock, about as long as the walk or a worker holds it when it queues a
// folder's subfolders (10 us; at 1 us, a third of the thread switches of a
// warm walk were sleeps on the lock, each costing more than the spin); for a
// folder a worker is reading, about as long as a folder takes to read from
// memory.
constexpr int kLockSpins = 1000;
constexpr int kWaitSpins = 2000;
// Tasks the walk is done with, left for a worker to free, at most.
constexpr std::size_t kBuryLimit = 1024;
// How far workers read ahead of the walk, in bytes of listings it has not
// reached yet: beyond that they pause until the walk has taken half of it.
// Further ahead gains nothing (the walk reads a listing far faster than
// the disk delivers it, and from memory a worker keeps pace), and costs
// fresh memory and listings that have left the caches when the walk
// reaches them.
constexpr std::size_t kLeadBytes = std::size_t{4} << 20;

// A moment's pause in a spin loop, letting the other hyperthread run.
void Pause() {
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#endif
}

}  // namespace

struct ReadAheadQueue::Task {
    std::string key;
    std::string path;  // no trailing '/'
    std::size_t nameStart = 0;
    std::unique_ptr<ListingSnapshot> snapshot;  // once read
    std::size_t charged = 0;                    // its own bytes and its snapshot's
    std::atomic<bool> done = false;             // a worker has finished with it
    bool abandoned = false;                     // dropped while a worker read it
    bool madeByWalk = false;                    // made on the walk's thread
    bool published = false;                     // its subfolders were queued
    bool blocked = false;                       // its read was slow, and waited

    bool Names(std::string_view name) const { return Name() == name; }
    std::string_view Name() const { return std::string_view(path).substr(nameStart); }
    bool IsBelow(const Task& folder) const {
        return key.size() > folder.key.size() && key.starts_with(folder.key);
    }
};

// A folder a worker has read and keeps open.
struct ReadAheadQueue::Held {
    std::shared_ptr<const Task> task;
    std::unique_ptr<FolderListing> listing;
};

void ReadAheadQueue::SpinningMutex::lock() {
    for (int spin = 0; spin < kLockSpins; ++spin) {
        if (!held_.load(std::memory_order_relaxed) && try_lock()) return;
        Pause();
    }
    ++tLockSleeps;
    mutex_.lock();
    held_.store(true, std::memory_order_relaxed);
}

std::string ReadAheadQueue::ChildKey(const std::string& key, std::uint32_t index) {
    // Short, so that the keys of most trees fit in a string's own storage:
    // every folder's key is made twice and compared many times.
    char position[5];
    std::size_t length = 0;
    if (index < 0x80) {
        position[length++] = static_cast<char>(index);
    } else if (index < 0x4000) {
        position[length++] = static_cast<char>(0x80 | (index >> 8));
        position[length++] = static_cast<char>(index & 0xFF);
    } else {
        position[length++] = static_cast<char>(0xC0);
        for (int shift = 24; shift >= 0; shift -= 8) {
            position[length++] = static_cast<char>((index >> shift) & 0xFF);
        }
    }
    std::string child;
    child.reserve(key.size() + length);
    child.append(key).append(position, length);
    return child;
}

bool ReadAheadQueue::IsChildKey(std::string_view child, std::string_view parent) {
    if (child.size() <= parent.size() || !child.starts_with(parent)) return false;
    const auto first = static_cast<unsigned char>(child[parent.size()]);
    const std::size_t length = first < 0x80 ? 1 : first < 0xC0 ? 2 : 5;
    return child.size() - parent.size() == length;
}

bool ReadAheadQueue::NameFitsInPath(std::string_view name) {
    // Two scans for one character each: find_first_of would scan the set
    // once for every character of the name.
    return !name.empty() && name != "." && name != ".." &&
           name.find('/') == std::string_view::npos && name.find('\0') == std::string_view::npos;
}

ReadAheadQueue::ReadAheadQueue(std::shared_ptr<DirectoryReader> inner, unsigned workers,
                               std::size_t memoryCap)
    : inner_(std::move(inner)), workerCount_(workers), memoryCap_(memoryCap) {
    // Recycling must not allocate under the lock.
    spare_.reserve(kSpareLimit);
}

ReadAheadQueue::~ReadAheadQueue() {
    Quiesce();
}

std::unique_ptr<ListingSnapshot> ReadAheadQueue::Take(const std::string& key, std::string_view name,
                                                      std::string& path) {
    Snapshots dropped;
    std::unique_ptr<ListingSnapshot> taken;
    bool wake = false;
    bool waited = false;
    bool slowWait = false;
    bool waitedForDevice = false;
    bool helpWaited = false;
    Tasks::node_type freedHere;  // after the lock
    {
        std::unique_lock lock(mutex_);
        bool freed = SettleReleasesLocked(dropped);
        DropBeforeLocked(key, dropped);
        // Nothing before `key` is left, nor enters while the walk waits (a
        // worker abandons it): the folder is first wherever it is, and
        // finding it there takes no search through the maps.
        if (const auto reading = FindFirst(reading_, key);
            reading != reading_.end() && reading->second->Names(name)) {
            const std::shared_ptr<Task> task = reading->second;
            waited = true;
            const auto waitStart = std::chrono::steady_clock::now();
            helpWaited = HelpWhileWaitingLocked(lock, *task, dropped);
            lock.unlock();
            // Spins a moment before it sleeps: most reads from memory end
            // sooner than a sleep and a wake-up take.
            for (int spin = 0; spin < kWaitSpins && !task->done.load(); ++spin) Pause();
            lock.lock();
            if (!task->done.load()) {
                walkWaitsFor_ = task.get();
                walkWoken_.wait(lock, [&task] { return task->done.load(); });
                walkWaitsFor_ = nullptr;
            }
            slowWait = std::chrono::steady_clock::now() - waitStart > kSlowRead;
            waitedForDevice = task->blocked;
        }
        if (const auto ready = FindFirst(ready_, key); ready != ready_.end()) {
            Task& task = *ready->second;
            charged_ -= task.charged - task.snapshot->Capacity();
            readyBytes_ -= task.snapshot->Capacity();
            walkCaughtUp_.store(waited && !slowWait, std::memory_order_relaxed);
            if (task.Names(name)) {
                taken = std::move(task.snapshot);
                // A copy: the task, and its path, are freed on the worker's
                // thread, whose memory they are (freed here, they would take
                // the lock of its arena against it).
                path.reserve(task.path.size() + 1);  // and the '/' the walk adds
                path.assign(task.path);
            } else {
                RecycleLocked(std::move(task.snapshot), dropped);
            }
            BuryLocked(ready_.extract(ready), freedHere);
            freed = true;
        } else if (const auto waiting = FindFirst(waiting_, key); waiting != waiting_.end()) {
            walkCaughtUp_.store(true, std::memory_order_relaxed);  // unless its read is slow
            charged_ -= waiting->second->charged;
            BuryLocked(waiting_.extract(waiting), freedHere);
            freed = true;
        }
        freed = freed || !dropped.empty();
        wake = freed && std::exchange(memoryShort_, false);
        if (leadFull_ && readyBytes_ <= kLeadBytes / 2) {
            leadFull_ = false;
            wake = true;
        }
    }
    if (wake) workAvailable_.notify_all();
    if ((slowWait && waitedForDevice) || helpWaited) AddWorker();
    return taken;
}

bool ReadAheadQueue::HelpWhileWaitingLocked(std::unique_lock<SpinningMutex>& lock,
                                            const Task& awaited, Snapshots& dropped) {
    std::vector<Held> held;
    std::vector<std::shared_ptr<Task>> children;
    // Only while reads are quick. Where they wait for a device, another
    // worker is the help: the walk, reading, would take its folder a read's
    // wait after it is there.
    while (!awaited.done.load() && readsSinceWait_ >= kQuietReads &&
           activeWorkers_ <= FirstWorkerCount() && CanStartLocked()) {
        // After the folder waited for, so needed later: it is read by the
        // time the walk gets there.
        Claim claim = ClaimLocked(waiting_.begin());
        lock.unlock();
        children.clear();
        const ReadClock::Result timing = ReadClaimed(claim, held, children, walkWaits_, {});
        held.clear();  // the walk holds no descriptor of the queue's
        lock.lock();
        FinishLocked(claim, timing, children, dropped);
        if (timing.slow) walkCaughtUp_.store(false, std::memory_order_relaxed);
        // A worker is added once the lock is released.
        if (timing.waited) return true;
    }
    return false;
}

ReadAheadQueue::Tasks::iterator ReadAheadQueue::FindFirst(Tasks& tasks, std::string_view key) {
    return !tasks.empty() && tasks.begin()->first == key ? tasks.begin() : tasks.end();
}

void ReadAheadQueue::BuryLocked(Tasks::node_type task, Tasks::node_type& freedHere) {
    if (task.mapped()->madeByWalk) {
        freedHere = std::move(task);
        return;
    }
    // A worker made it: freed there it costs no lock in the allocator, which
    // freeing it here would take against the worker's own allocations.
    if (buried_.size() >= kBuryLimit) return;
    try {
        buried_.push_back(std::move(task));
    } catch (const std::bad_alloc&) {
        // Freed here after all.
    }
}

void ReadAheadQueue::DropBeforeLocked(std::string_view key, Snapshots& dropped) {
    for (auto at = waiting_.begin(); at != waiting_.end() && at->first < key;) {
        charged_ -= at->second->charged;
        at = waiting_.erase(at);
    }
    for (auto at = ready_.begin(); at != ready_.end() && at->first < key;) {
        Task& task = *at->second;
        charged_ -= task.charged - task.snapshot->Capacity();
        readyBytes_ -= task.snapshot->Capacity();
        RecycleLocked(std::move(task.snapshot), dropped);
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
    std::vector<std::shared_ptr<Task>> children;
    ChildTasks(key, path, snapshot, children);
    Snapshots dropped;
    std::size_t wake = 0;
    {
        const std::lock_guard lock(mutex_);
        SettleReleasesLocked(dropped);
        // The walk reads a folder itself after a worker dropped it, perhaps
        // after its subfolders were queued.
        wake = std::min(QueueLocked(children, true), idleWorkers_);
        if (!CanStartLocked()) wake = 0;
        if (waiting_.empty()) return;
    }
    while (workers_.size() < FirstWorkerCount() && AddWorker()) {
    }
    for (; wake > 0; --wake) workAvailable_.notify_one();
}

void ReadAheadQueue::ChildTasks(const std::string& key, std::string_view folder,
                                const ListingSnapshot& snapshot,
                                std::vector<std::shared_ptr<Task>>& children) {
    if (!folder.empty() && folder.back() == '/') folder.remove_suffix(1);
    std::size_t offset = 0;
    DirEntry entry;
    for (std::uint32_t index = 0; snapshot.Read(offset, entry); ++index) {
        if (!entry.isFolder || entry.isLink || !NameFitsInPath(entry.name)) continue;
        auto task = std::make_shared<Task>();
        task->madeByWalk = !tWorker;
        task->key = ChildKey(key, index);
        task->path.reserve(folder.size() + 1 + entry.name.size());
        task->path.append(folder).append(1, '/').append(entry.name);
        task->nameStart = folder.size() + 1;
        task->charged = kTaskBytes + task->key.size() + task->path.size();
        children.push_back(std::move(task));
    }
}

std::size_t ReadAheadQueue::QueueLocked(std::vector<std::shared_ptr<Task>>& tasks, bool again) {
    if (stopped_) return 0;
    std::size_t added = 0;
    // Siblings in their order, and nothing waiting between them (what is
    // below a folder waits only once it is read): all go just before the
    // folder that waits after the first, found once. A wrong hint only
    // costs the search it would have saved.
    auto next = waiting_.end();
    for (std::shared_ptr<Task>& task : tasks) {
        if (again && (waiting_.contains(task->key) || reading_.contains(task->key) ||
                      ready_.contains(task->key))) {
            continue;
        }
        if (charged_ + task->charged > memoryCap_) break;
        charged_ += task->charged;
        const std::string_view taskKey = task->key;
        if (added == 0) next = waiting_.lower_bound(taskKey);
        waiting_.emplace_hint(next, taskKey, std::move(task));
        ++added;
    }
    return added;
}

bool ReadAheadQueue::Reserve(std::size_t bytes, const std::string& key) {
    Snapshots dropped;
    const std::lock_guard lock(mutex_);
    SettleReleasesLocked(dropped);
    return ReserveLocked(bytes, key, dropped);
}

bool ReadAheadQueue::ReserveLocked(std::size_t bytes, std::string_view key, Snapshots& dropped) {
    while (charged_ + bytes > memoryCap_) {
        if (!spare_.empty()) {
            charged_ -= spare_.back()->Capacity();
            dropped.push_back(std::move(spare_.back()));
            spare_.pop_back();
            continue;
        }
        if (ready_.empty() || ready_.rbegin()->first <= key) return false;
        // The listing needed last gives way; it is read again later.
        const auto last = std::prev(ready_.end());
        Task& task = *last->second;
        charged_ -= task.snapshot->Capacity();
        readyBytes_ -= task.snapshot->Capacity();
        task.charged -= task.snapshot->Capacity();
        dropped.push_back(std::move(task.snapshot));
        waiting_.insert(ready_.extract(last));
    }
    charged_ += bytes;
    return true;
}

void ReadAheadQueue::Release(std::unique_ptr<ListingSnapshot> snapshot, std::size_t bytes) {
    if (stopped_) return;
    const std::size_t kept = snapshot && snapshot->Capacity() <= bytes ? snapshot->Capacity() : 0;
    walkReleasedBytes_ += bytes - kept;
    if (kept == 0) return;
    try {
        walkReleased_.push_back(std::move(snapshot));
    } catch (const std::bad_alloc&) {
        walkReleasedBytes_ += kept;  // and the snapshot is freed here
    }
}

bool ReadAheadQueue::SettleReleasesLocked(Snapshots& dropped) {
    const bool any = walkReleasedBytes_ != 0 || !walkReleased_.empty();
    charged_ -= std::exchange(walkReleasedBytes_, 0);
    for (std::unique_ptr<ListingSnapshot>& snapshot : walkReleased_) {
        RecycleLocked(std::move(snapshot), dropped);
    }
    walkReleased_.clear();
    return any;
}

void ReadAheadQueue::RecycleLocked(std::unique_ptr<ListingSnapshot> snapshot, Snapshots& dropped) {
    if (!snapshot) return;
    if (!stopped_ && spare_.size() < kSpareLimit && snapshot->Capacity() <= kSpareCapacityLimit) {
        snapshot->Clear();
        spare_.push_back(std::move(snapshot));
        return;
    }
    charged_ -= snapshot->Capacity();
    dropped.push_back(std::move(snapshot));
}

std::unique_ptr<ListingSnapshot> ReadAheadQueue::Spare() {
    Snapshots dropped;
    const std::lock_guard lock(mutex_);
    SettleReleasesLocked(dropped);
    if (spare_.empty()) return std::make_unique<ListingSnapshot>();
    std::unique_ptr<ListingSnapshot> spare = std::move(spare_.back());
    spare_.pop_back();
    return spare;
}

void ReadAheadQueue::Stop() {
    Snapshots dropped;
    {
        const std::lock_guard lock(mutex_);
        if (stopped_) return;
        stopped_ = true;
        SettleReleasesLocked(dropped);
        for (std::unique_ptr<ListingSnapshot>& spare : spare_) {
            charged_ -= spare->Capacity();
            dropped.push_back(std::move(spare));
        }
        spare_.clear();
        for (auto& [key, task] : waiting_) charged_ -= task->charged;
        for (auto& [key, task] : ready_) {
            charged_ -= task->charged;
            dropped.push_back(std::move(task->snapshot));
        }
        for (auto& [key, task] : reading_) task->abandoned = true;
        waiting_.clear();
        ready_.clear();
        readyBytes_ = 0;
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
    if (stopped_) return false;
    bool unpausing = false;
    const std::size_t index = workers_.size();
    {
        const std::lock_guard lock(mutex_);
        readsSinceWait_ = 0;
        if (activeWorkers_ < index) {
            ++activeWorkers_;
            unpausing = true;
        } else if (index < workerCount_) {
            activeWorkers_ = index + 1;
        } else {
            return false;
        }
    }
    if (unpausing) {
        unparked_.notify_all();
        return true;
    }
    try {
        workers_.emplace_back([this, index](const std::stop_token& stop) { Work(stop, index); });
        return true;
    } catch (const std::system_error&) {
        // The system is out of threads: fewer folders read ahead, nothing
        // else changes.
        const std::lock_guard lock(mutex_);
        activeWorkers_ = std::min(activeWorkers_, index);
        return false;
    }
}

ReadAheadQueue::ThreadWaits ReadAheadQueue::WaitCount::Before() {
    if (readsLeft_ == 0 || otherSleeps_ != tLockSleeps) Asked(AskThreadWaits());
    --readsLeft_;
    return waits_;
}

void ReadAheadQueue::WaitCount::Asked(ThreadWaits waits) {
    waits_ = waits;
    otherSleeps_ = tLockSleeps;
    readsLeft_ = kReadsPerAsk;
}

ReadAheadQueue::ReadClock::ReadClock(WaitCount* count)
    : start_(std::chrono::steady_clock::now()),
      count_(count),
      before_(count ? count->Before() : AskThreadWaits()) {}

ReadAheadQueue::ReadClock::Result ReadAheadQueue::ReadClock::End(FolderListing* folder) const {
    Result result;
    result.slow = std::chrono::steady_clock::now() - start_ > kSlowRead;
    if (!result.slow) return result;
#if defined(__linux__)
    const ThreadWaits after = AskThreadWaits();
    if (count_) count_->Asked(after);
    // A passing stall of the host gives up the core too, warm or cold: a
    // worker added for it only takes a core from the walk.
    result.waited = after.switches != before_.switches && (after.blocksRead != before_.blocksRead ||
                                                           !folder || !StorageReadsShow(*folder));
#else
    (void)folder;
    result.waited = true;
#endif
    return result;
}

void ReadAheadQueue::NoteRead(ReadClock::Result read) {
    if (!read.slow) return;
    walkCaughtUp_.store(false, std::memory_order_relaxed);
    if (read.waited) AddWorker();
}

std::size_t ReadAheadQueue::FirstWorkerCount() const {
    static const unsigned firstWorkers = FirstWorkers();
    return std::min(firstWorkers, workerCount_);
}

bool ReadAheadQueue::CanStartLocked() const {
    if (stopped_ || waiting_.empty() || readyBytes_ >= kLeadBytes) return false;
    // Asked under the lock several times a folder: the usual answer first,
    // before looking into a spare or the maps' ends (cache misses, with the
    // other thread waiting for the lock).
    if (charged_ + kStartBytes <= memoryCap_) return true;
    // A spare snapshot brings its charged buffer.
    const std::size_t spareRoom = spare_.empty() ? 0 : spare_.back()->Capacity();
    return charged_ + kStartBytes <= memoryCap_ + spareRoom ||
           (!ready_.empty() && ready_.rbegin()->first > waiting_.begin()->first);
}

void ReadAheadQueue::Work(const std::stop_token& stop, std::size_t index) {
    // Freed outside the lock, once a worker has let go of it.
    Snapshots dropped;
    std::vector<std::shared_ptr<Task>> children;
    // The way down to the folder read last, as far as it is kept open: each
    // the parent of the next.
    std::vector<Held> held;
    std::vector<Tasks::node_type> buried;
    WaitCount waits;
    tWorker = true;
    std::unique_lock lock(mutex_);
    for (;;) {
        const bool paused = index >= activeWorkers_;
        if (!held.empty() && (paused || !CanStartLocked())) {
            // Never wait holding a descriptor.
            lock.unlock();
            held.clear();
            lock.lock();
            continue;
        }
        if (paused) {
            waits.Forget();
            if (!unparked_.wait(lock, stop, [this, index] { return index < activeWorkers_; })) {
                return;
            }
            continue;
        }
        ++idleWorkers_;
        const bool started = workAvailable_.wait(lock, stop, [this, &waits, index] {
            // Paused meanwhile: it waits elsewhere.
            if (index >= activeWorkers_ || CanStartLocked()) return true;
            waits.Forget();
            // Work there is, room there is not: wake us when some is freed,
            // or when the walk has caught up enough.
            if (readyBytes_ >= kLeadBytes) {
                leadFull_ = true;
            } else if (!waiting_.empty()) {
                memoryShort_ = true;
            }
            return false;
        });
        --idleWorkers_;
        if (!started) return;
        if (index >= activeWorkers_) continue;
        // Where the walk has caught up with the workers on folders read
        // from memory, it reads the folder it needs next itself, and workers
        // take the ones after it: waiting for a worker to finish that
        // folder, and being woken, would cost the walk more than reading it.
        // Not so for folders that must come from the disk: a worker started
        // on it earlier has it sooner.
        auto next = waiting_.begin();
        if (walkCaughtUp_.load(std::memory_order_relaxed) && waiting_.size() > 1) ++next;
        Claim claim = ClaimLocked(next);
        lock.unlock();
        dropped.clear();
        children.clear();
        buried.clear();
        const ReadClock::Result timing = ReadClaimed(claim, held, children, waits, stop);
        lock.lock();
        buried.swap(buried_);
        FinishLocked(claim, timing, children, dropped);
    }
}

ReadAheadQueue::Claim ReadAheadQueue::ClaimLocked(Tasks::iterator next) {
    // Moved between the maps as nodes: no allocation under the lock.
    Tasks::node_type node = waiting_.extract(next);
    Claim claim{node.mapped(), nullptr};
    claim.task->done = false;  // a listing given way to memory is read again
    reading_.insert(std::move(node));
    if (!spare_.empty()) {
        claim.snapshot = std::move(spare_.back());
        spare_.pop_back();
        claim.task->charged += claim.snapshot->Capacity();
    }
    return claim;
}

ReadAheadQueue::ReadClock::Result ReadAheadQueue::ReadClaimed(
    Claim& claim, std::vector<Held>& held, std::vector<std::shared_ptr<Task>>& children,
    WaitCount& waits, const std::stop_token& stop) {
    const ReadClock clock(&waits);
    ReadClock::Result timing;
    claim.read = false;
    try {
        if (!claim.snapshot) claim.snapshot = std::make_unique<ListingSnapshot>();
        claim.read = ReadFolder(claim.task, *claim.snapshot, held, children, clock, timing, stop);
    } catch (...) {
        // Whatever goes wrong, the folder is given up: an exception, like a
        // read error, is for the walk to meet when it reads the folder
        // itself.
        claim.read = false;
    }
    if (!claim.read) timing = clock.End(nullptr);
    return timing;
}

void ReadAheadQueue::FinishLocked(Claim& claim, ReadClock::Result timing,
                                  std::vector<std::shared_ptr<Task>>& children,
                                  Snapshots& dropped) {
    Task& task = *claim.task;
    Tasks::node_type node;
    if (!task.abandoned) node = reading_.extract(task.key);
    if (task.abandoned || !claim.read) {
        // Not read, or no longer wanted: the walk reads it itself if it
        // still needs it, and meets whatever made this read fail.
        charged_ -= task.charged - (claim.snapshot ? claim.snapshot->Capacity() : 0);
        task.charged = 0;
        RecycleLocked(std::move(claim.snapshot), dropped);
    } else {
        const std::size_t added = QueueLocked(children, task.published);
        task.published = true;
        const std::size_t wakes = CanStartLocked() ? std::min(added, idleWorkers_) : 0;
        for (std::size_t wake = wakes; wake > 0; --wake) workAvailable_.notify_one();
        task.snapshot = std::move(claim.snapshot);
        readyBytes_ += task.snapshot->Capacity();
        // Folders are mostly read in the walk's order.
        ready_.insert(ready_.end(), std::move(node));
    }
    task.blocked = timing.waited;
    task.done = true;
    if (timing.waited) {
        readsSinceWait_ = 0;
    } else if (++readsSinceWait_ >= kQuietReads && activeWorkers_ > FirstWorkerCount()) {
        --activeWorkers_;
        readsSinceWait_ = 0;
        // The one paused may be idle, and take a wake-up meant for work.
        workAvailable_.notify_all();
    }
    // Only a walk that sleeps needs waking: a wake-up without a sleeper is
    // a system call all the same.
    if (walkWaitsFor_ == &task) walkWoken_.notify_one();
}

bool ReadAheadQueue::ReadFolder(const std::shared_ptr<Task>& folder, ListingSnapshot& snapshot,
                                std::vector<Held>& held,
                                std::vector<std::shared_ptr<Task>>& children,
                                const ReadClock& clock, ReadClock::Result& timing,
                                const std::stop_token& stop) {
    Task& task = *folder;
    while (!held.empty() && !task.IsBelow(*held.back().task)) held.pop_back();
    std::error_code error;
    std::unique_ptr<FolderListing> listing;
    if (!held.empty() && IsChildKey(task.key, held.back().task->key)) {
        listing = held.back().listing->OpenChild(task.Name(), error);
    } else {
        listing = inner_->OpenRoot(task.path, error);
    }
    if (!listing) return false;
    const ListingSnapshot::GrowthGate gate = [this, &task](std::size_t bytes) {
        Snapshots dropped;
        const std::lock_guard lock(mutex_);
        // Behind the walk already: give up, and take no room from others.
        if (task.abandoned || !ReserveLocked(bytes, task.key, dropped)) return false;
        task.charged += bytes;
        return true;
    };
    DirEntry entry;
    for (unsigned n = 1; listing->Next(entry); ++n) {
        if (n % 64 == 0 && stop.stop_requested()) return false;
        if (!snapshot.Append(entry, gate)) return false;
    }
    if (listing->Error()) return false;
    snapshot.complete = true;
    timing = clock.End(listing.get());
    ChildTasks(task.key, task.path, snapshot, children);
    if (!children.empty()) {
        // Its subfolders come next.
        if (held.size() == kHeldLimit) held.erase(held.begin());
        held.push_back(Held{folder, std::move(listing)});
    }
    return true;
}

}  // namespace quorvel
