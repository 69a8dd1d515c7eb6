// SPDX-License-Identifier: MIT
#include "ReadAheadReader.h"

#include <filesystem>
#include <utility>

#include "ReadAheadListing.h"
#include "ReadAheadQueue.h"

namespace quorvel {
namespace {

// The root as an absolute path ending in '/': the workers' paths must not
// depend on a current directory that may change during the walk. Empty when
// it cannot be known; then nothing is read ahead.
std::string AbsoluteRoot(const std::string& path) {
    std::string absolute;
    std::error_code error;
    if (std::filesystem::path(path).is_absolute()) {
        absolute = path;
    } else {
        const std::filesystem::path current = std::filesystem::current_path(error);
        if (error) return {};
        absolute = current.string();
        if (absolute.empty() || absolute.back() != '/') absolute.push_back('/');
        absolute.append(path);
    }
    if (absolute.back() != '/') absolute.push_back('/');
    return absolute;
}

}  // namespace

ReadAheadReader::ReadAheadReader(std::shared_ptr<DirectoryReader> inner, ReadAheadSettings settings,
                                 ReadAheadWalkSide walkSide)
    : inner_(std::move(inner)), settings_(settings), walkSide_(std::move(walkSide)) {}

ReadAheadReader::~ReadAheadReader() {
    Stop();
}

std::unique_ptr<FolderListing> ReadAheadReader::OpenRoot(const std::string& path,
                                                         std::error_code& error) {
    Stop();
    queue_ =
        std::make_shared<ReadAheadQueue>(inner_, settings_.workers, settings_.memoryCap, walkSide_);
    if (settings_.workers == 0) queue_->Stop();
    return ReadAheadListing::OpenRoot(queue_, path, AbsoluteRoot(path), error);
}

void ReadAheadReader::Stop() {
    if (queue_ && queue_->Active()) queue_->Stop();
}

void ReadAheadReader::Quiesce() {
    if (queue_) queue_->Quiesce();
}

ReadAheadReader::Ledger ReadAheadReader::LedgerNow() const {
    if (!queue_) return {};
    const ReadAheadQueue::Ledger ledger = queue_->LedgerNow();
    return Ledger{ledger.charged, ledger.peak, ledger.cap};
}

}  // namespace quorvel
