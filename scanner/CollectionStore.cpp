// SPDX-License-Identifier: MIT
#include "CollectionStore.h"

#include <quorvel/PathSeparator.h>

#include <algorithm>
#include <cassert>
#include <cstring>
#include <utility>

namespace quorvel::collection {
namespace {

// Names here are short, but a full name store is 256 KiB per block: the
// unused end of a block holds at most one record.
constexpr std::size_t kBlockSize = 256 * 1024;

BlockStore::Growth GrowthFor(bool hugePages) {
    return hugePages ? BlockStore::Growth::kHugeWhenLarge : BlockStore::Growth::kFixed;
}

std::size_t VarintSize(std::uint64_t value) {
    std::size_t size = 1;
    while (value >= 0x80) {
        value >>= 7;
        ++size;
    }
    return size;
}

char* WriteVarint(char* out, std::uint64_t value) {
    while (value >= 0x80) {
        *out++ = static_cast<char>((value & 0x7F) | 0x80);
        value >>= 7;
    }
    *out++ = static_cast<char>(value);
    return out;
}

std::uint64_t ReadVarint(const char*& in) {
    std::uint64_t value = 0;
    for (int shift = 0;; shift += 7) {
        const auto byte = static_cast<unsigned char>(*in++);
        value |= static_cast<std::uint64_t>(byte & 0x7F) << shift;
        if (byte < 0x80) return value;
    }
}

}  // namespace

// --- folders -------------------------------------------------------------------

FolderTable::FolderTable(std::string root, bool hugePages)
    : root_(std::move(root)),
      bytes_(kBlockSize, GrowthFor(hugePages)),
      at_(HugePageAllocator<BlockPos>(hugePages)) {}

std::size_t FolderTable::Add(std::size_t parent, std::string_view name, bool fullPath) {
    const std::size_t i = at_.size();
    assert(parent == Collection::kRoot || parent < i);
    const std::uint64_t distance = parent == Collection::kRoot ? i + 1 : i - parent;
    const std::uint64_t head = (std::uint64_t{name.size()} << 1) | (fullPath ? 1 : 0);
    // The index slot first: a failing push_back must not leave a record
    // without an item.
    if (at_.size() == at_.capacity()) at_.reserve(std::max<std::size_t>(64, at_.size() * 2));
    const auto [pos, out] = bytes_.Extend(VarintSize(distance) + VarintSize(head) + name.size());
    char* end = WriteVarint(WriteVarint(out, distance), head);
    if (!name.empty()) std::memcpy(end, name.data(), name.size());
    at_.push_back(pos);
    return i;
}

FolderRecord FolderTable::At(std::size_t i) const {
    BlockPos pos = at_[i];
    const char* in = bytes_.Locate(pos);
    const std::uint64_t distance = ReadVarint(in);
    const std::uint64_t head = ReadVarint(in);
    FolderRecord record;
    record.parent = distance == i + 1 ? Collection::kRoot : i - distance;
    record.name = std::string_view(in, head >> 1);
    record.fullPath = (head & 1) != 0;
    return record;
}

std::size_t FolderTable::RelativeSize(std::size_t folder) const {
    std::size_t size = 0;
    for (std::size_t f = folder; f != Collection::kRoot;) {
        const FolderRecord record = At(f);
        size += record.name.size() + (record.parent != Collection::kRoot ? 1 : 0);
        f = record.parent;
    }
    return size;
}

// Written from its end: the names come innermost first, and no chain of
// them needs to be kept on the way.
void FolderTable::AppendRelative(std::size_t folder, std::string& out) const {
    const std::size_t begin = out.size();
    std::size_t at = begin + RelativeSize(folder);
    out.resize(at);
    for (std::size_t f = folder; f != Collection::kRoot;) {
        const FolderRecord record = At(f);
        at -= record.name.size();
        if (!record.name.empty())
            std::memcpy(out.data() + at, record.name.data(), record.name.size());
        if (record.parent != Collection::kRoot) out[--at] = kPathSeparator;
        f = record.parent;
    }
    assert(at == begin);
}

std::size_t FolderTable::MemoryBytes() const {
    return bytes_.MemoryBytes() + at_.capacity() * sizeof(BlockPos) + root_.capacity();
}

// --- files ---------------------------------------------------------------------

FileTable::FileTable(bool hugePages)
    : bytes_(kBlockSize, GrowthFor(hugePages)), groups_(HugePageAllocator<BlockPos>(hugePages)) {}

void FileTable::Add(std::size_t folder, std::string_view name) {
    const bool startsGroup = count_ % kGroup == 0;
    const bool namesFolder = startsGroup || folder != lastFolder_;
    const std::uint64_t code = folder == Collection::kRoot ? 0 : std::uint64_t{folder} + 1;
    const std::uint64_t head = (std::uint64_t{name.size()} << 1) | (namesFolder ? 1 : 0);
    if (startsGroup && groups_.size() == groups_.capacity())
        groups_.reserve(std::max<std::size_t>(64, groups_.size() * 2));
    const auto [pos, out] =
        bytes_.Extend(VarintSize(head) + (namesFolder ? VarintSize(code) : 0) + name.size());
    char* end = WriteVarint(out, head);
    if (namesFolder) end = WriteVarint(end, code);
    if (!name.empty()) std::memcpy(end, name.data(), name.size());
    if (startsGroup) groups_.push_back(pos);
    last_ = pos;
    lastFolder_ = folder;
    ++count_;
}

BlockPos FileTable::Read(BlockPos pos, FileRecord& record) const {
    const char* start = bytes_.Locate(pos);
    const char* in = start;
    const std::uint64_t head = ReadVarint(in);
    if ((head & 1) != 0) {
        const std::uint64_t code = ReadVarint(in);
        record.folder = code == 0 ? Collection::kRoot : static_cast<std::size_t>(code - 1);
    }
    record.name = std::string_view(in, head >> 1);
    return BlockStore::After(pos, static_cast<std::size_t>(in - start) + record.name.size());
}

FileRecord FileTable::At(std::size_t i) const {
    FileRecord record;
    if (i + 1 == count_) {
        record.folder = lastFolder_;
        Read(last_, record);
        return record;
    }
    ForEach(i, i + 1, [&record](std::size_t, const FileRecord& found) { record = found; });
    return record;
}

std::size_t FileTable::MemoryBytes() const {
    return bytes_.MemoryBytes() + groups_.capacity() * sizeof(BlockPos);
}

}  // namespace quorvel::collection
