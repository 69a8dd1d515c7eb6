// SPDX-License-Identifier: MIT
#include "BatchBuffer.h"

#include <array>
#include <utility>

namespace quorvel {
namespace {

// A listing keeps its buffer while it is open, and a walk holds a few open
// at a time on its way down: more spares than that are never used.
constexpr std::size_t kSpareCount = 4;

// The spares of one thread. Trivially destructible, so that it stays usable
// after the thread's other thread-local objects are gone: the main thread
// destroys those before static ones, which may still close a listing.
struct Spares {
    std::array<char*, kSpareCount> buffers;  // owned: each from a released unique_ptr
    std::size_t count;
    bool closed;  // the thread is ending: buffers given back are freed
};
thread_local Spares tSpares;

// Frees a thread's spares when it ends (a worker thread ends with every
// walk); made on the thread's first spare.
struct SparesRelease {
    SparesRelease() = default;
    SparesRelease(const SparesRelease&) = delete;
    SparesRelease& operator=(const SparesRelease&) = delete;
    ~SparesRelease() {
        tSpares.closed = true;
        while (tSpares.count > 0) std::unique_ptr<char[]> freed(tSpares.buffers[--tSpares.count]);
    }
};

}  // namespace

BatchBuffer::BatchBuffer() {
    if (tSpares.count > 0) {
        bytes_.reset(tSpares.buffers[--tSpares.count]);
    } else {
        bytes_ = std::make_unique_for_overwrite<char[]>(kSize);
    }
}

void BatchBuffer::Reset() {
    if (!bytes_ || tSpares.closed || tSpares.count == kSpareCount) {
        bytes_.reset();
        return;
    }
    thread_local SparesRelease release;
    tSpares.buffers[tSpares.count++] = bytes_.release();
}

}  // namespace quorvel
