// SPDX-License-Identifier: MIT
#pragma once
// How clsDirwalk reads ahead: the settings a program may give it, and
// whether this platform reads ahead at all.

#include <cstddef>

namespace quorvel {

// Whether clsDirwalk reads ahead when asked to on this platform.
#ifdef _WIN32
inline constexpr bool kReadAheadAvailable = false;
#else
inline constexpr bool kReadAheadAvailable = true;
#endif

struct ReadAheadSettings {
    // Threads listing folders ahead of the walk, at most; 0 is the serial
    // walk. A walk starts with one for each core besides its own (folders in
    // memory are read by computing; more threads would only compete for the
    // cores), and adds one each time it waits for a folder whose read waited
    // for a disk or the network: such reads wait for the device, not for a
    // core, so more threads than cores pays there. Those added pause again
    // while reads stop waiting (a few folders of a walk in memory may come
    // from the disk), the last added first. The default is the benchmark's
    // choice (bench/README.md in the sources): across a network, each
    // worker up to about 32 shortens the walk; from a disk, more than a
    // dozen neither gains nor costs.
    unsigned workers = 32;
    // Memory held by the listings in memory, in bytes.
    std::size_t memoryCap = std::size_t{64} << 20;
};

}  // namespace quorvel
