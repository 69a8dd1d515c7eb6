// SPDX-License-Identifier: MIT
#pragma once
// A directory reader that makes every call of the reader it wraps on a
// thread of its own, so that the walk's thread never waits in the file
// system: it waits for each answer through its ReadWaiter, in slices, and
// may give a read up.
//
// One thread serves all the listings of one reader, in the order the walk
// asks, as the walk would have used them itself: the wrapped reader sees one
// thread at a time, as it expects. The walk's side holds handles; closing one
// is a request the thread carries out in its turn. So a thread held in a read
// that does not return owns whatever it holds, and frees it when the read
// returns; and once the walk has given up a read, every later call fails at
// once with ECANCELED: nothing of that thread reaches the walk again.
//
// Entries come in batches, the first with the listing's open, so that a
// folder costs the walk one wait rather than one per entry.
//
// The thread starts with the first call, is counted in the tally, and ends
// once the reader and all its listings are gone and it has done what they
// asked. Where the system has no thread to give, the calls run on the
// caller's thread.

#include <cstddef>
#include <memory>
#include <string>
#include <system_error>

#include <quorvel/DirectoryReader.h>

#include "ReadWaiter.h"
#include "ThreadTally.h"

namespace quorvel {

class OffThreadReader final : public DirectoryReader {
  public:
    // A batch holds at most this many entries, and stops growing once its
    // names take this many bytes.
    static constexpr std::size_t kBatchEntries = 1024;
    static constexpr std::size_t kBatchBytes = 64 * 1024;

    // `waiter` is used only during calls of the walk, on its thread; the
    // thread is counted in `tally` (none: not counted).
    OffThreadReader(std::shared_ptr<DirectoryReader> inner, ReadWaiter& waiter,
                    std::shared_ptr<ThreadTally> tally);
    ~OffThreadReader() override;
    OffThreadReader(const OffThreadReader&) = delete;
    OffThreadReader& operator=(const OffThreadReader&) = delete;

    std::unique_ptr<FolderListing> OpenRoot(const std::string& path,
                                            std::error_code& error) override;

    class Channel;

  private:
    std::shared_ptr<Channel> channel_;
};

}  // namespace quorvel
