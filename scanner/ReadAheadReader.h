// SPDX-License-Identifier: MIT
#pragma once
// Read-ahead: a directory reader that wraps another one and lists folders
// ahead of the walk on worker threads, so that a walk waits for the disk far
// less, while it still gets every listing in its own order.
//
// The guarantee: a walk through it meets exactly what it would meet through
// the reader it wraps (the same entries in the same order, the same read
// failures, the same links), on any tree that does not change during the
// walk; only the time differs. A worker reads a folder completely into
// memory and hands it over; whatever goes wrong for a worker (a folder it
// cannot open or read, a path too long, a name that no path can carry), it
// drops that folder, and the walk opens and reads it itself: by path, as a
// worker does, and when that fails, as the serial walk does, through the
// listing of its parent, which meets whatever the serial walk meets. When
// the tree changes during the walk, a folder may show as it was a moment
// earlier.
//
// Only folders that are not links are read ahead: whether a link is entered
// is the walk's decision. Workers take folders in the walk's pre-order, and
// the memory held by listings in memory (those read ahead and those being
// walked) stays within `memoryCap`; a folder larger than that is streamed to
// the walk as the wrapped reader lists it. Each worker holds at most four
// descriptors: the folder it reads and up to three folders above it, kept
// open so that the folders below them are opened by name instead of by a
// path that the system resolves level by level; none while it waits.
//
// Threads: the walk uses the reader and its listings from one thread, as
// before. The workers call the wrapped reader's OpenRoot concurrently, each
// with the path of a folder (built with '/' from the root's path, made
// absolute with the current directory at OpenRoot), and use each listing it
// returns, and the listings those open, on their own thread: the wrapped
// reader must allow that, as the system reader does. Everything else is C++
// standard library.
//
// Descriptors: when the walk cannot open a folder for want of descriptors
// (EMFILE or ENFILE, in the generic category, as the system reader reports
// them), the workers are stopped, and the open is tried again as the serial
// walk would have made it. A reader that reports a shortage otherwise (a
// Windows reader's system error codes) has that failure recorded as a read
// failure instead; with a handle limit in the millions it does not arise.
//
// One walk at a time: each OpenRoot starts a walk of its own, and Stop ends
// the read-ahead of the latest one (the walk then goes on as the serial one).
// The workers are stopped and joined when the last of the reader and the
// walk's listings is destroyed: once both are gone, no thread touches the
// tree and no descriptor is held for it. A walk that must not block
// (ReadAheadWalkSide.h) has them stopped then, not joined: each ends on its
// own, once its read has returned.

#include <cstddef>
#include <memory>
#include <string>
#include <system_error>

#include <quorvel/DirectoryReader.h>
#include <quorvel/ReadAheadSettings.h>

#include "ReadAheadWalkSide.h"

namespace quorvel {

class ReadAheadQueue;

class ReadAheadReader final : public DirectoryReader {
  public:
    explicit ReadAheadReader(std::shared_ptr<DirectoryReader> inner,
                             ReadAheadSettings settings = {}, ReadAheadWalkSide walkSide = {});
    ~ReadAheadReader() override;
    ReadAheadReader(const ReadAheadReader&) = delete;
    ReadAheadReader& operator=(const ReadAheadReader&) = delete;

    std::unique_ptr<FolderListing> OpenRoot(const std::string& path,
                                            std::error_code& error) override;

    // No more reading ahead for the current walk: what was read ahead is
    // dropped and the workers end after the entry they are reading.
    void Stop();
    // Stop, and return once no worker of the current walk runs.
    void Quiesce();

    // The memory ledger of the current walk (of none: all zero): what is
    // charged now, the most ever charged at once, and the cap.
    struct Ledger {
        std::size_t charged = 0;
        std::size_t peak = 0;
        std::size_t cap = 0;
    };
    Ledger LedgerNow() const;

  private:
    std::shared_ptr<DirectoryReader> inner_;
    ReadAheadSettings settings_;
    ReadAheadWalkSide walkSide_;
    std::shared_ptr<ReadAheadQueue> queue_;
};

}  // namespace quorvel
