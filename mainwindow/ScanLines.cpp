// SPDX-License-Identifier: MIT
#include "ScanLines.h"

#include <charconv>
#include <limits>
#include <stdexcept>

namespace quorvel {
namespace {

ShownSize Plus(ShownSize a, ShownSize b) {
    return ShownSize{a.bytes + b.bytes, a.units + b.units};
}

// ASCII text of `n` bytes.
ShownSize Ascii(std::uint64_t n) {
    return ShownSize{n, n};
}

std::uint64_t Digits(std::size_t n) {
    std::uint64_t digits = 1;
    for (; n >= 10; n /= 10) ++digits;
    return digits;
}

void AppendNumber(std::string& out, std::size_t n) {
    char digits[24];
    const auto result = std::to_chars(digits, digits + sizeof digits, n);
    out.append(digits, result.ptr);
}

}  // namespace

ScanLists::ScanLists(const clsDirwalk& scanner)
    : folders_(scanner.Folders()), files_(scanner.Files()), byNumber_(scanner.FoldersByNumber()) {
    if (!folders_ || !files_ || !byNumber_) throw std::logic_error("ScanLists: no scan yet");
    root_ = ShownSizeOf(folders_->Root());
}

ShownSize ScanLists::Relative(std::size_t folder) {
    if (folder == Collection::kRoot) return {};
    if (folder >= relative_.size()) {
        folders_->PartsOf(relative_.size(), folders_->size(),
                          [this](std::size_t, const Collection::Part& part) {
                              ShownSize size = ShownSizeOf(part.name);
                              if (part.folder != Collection::kRoot) {
                                  const Size parent = relative_[part.folder];
                                  size = Plus(size, Plus(Ascii(1), {parent.bytes, parent.units}));
                              }
                              if (size.bytes > std::numeric_limits<std::uint32_t>::max())
                                  throw std::length_error("ScanLists: a path of 4 GiB or more");
                              relative_.push_back(Size{static_cast<std::uint32_t>(size.bytes),
                                                       static_cast<std::uint32_t>(size.units)});
                          });
    }
    return ShownSize{relative_[folder].bytes, relative_[folder].units};
}

void ScanLists::AppendFolderPath(std::size_t folder, std::string& out) const {
    if (folder == Collection::kRoot) {
        out.append(folders_->Root());
        return;
    }
    const std::size_t begin = out.size();
    folders_->AppendTo(folder, out);
    if (!folders_->PartOf(folder).fromRoot) {
        out.insert(begin, folders_->Root());
        out.push_back(kPathSeparator);
    }
}

ScanLines::ScanLines(std::shared_ptr<ScanLists> lists, Kind kind)
    : lists_(std::move(lists)), kind_(kind) {}

std::size_t ScanLines::LineCount() const {
    switch (kind_) {
        case Kind::FolderList:
            return lists_->Folders().size();
        case Kind::FileList:
            return lists_->Files().size();
        case Kind::FoldersFound:
        case Kind::FilesFound:
            break;
    }
    return found_;
}

void ScanLines::AppendFound(std::size_t number, std::string_view name, std::size_t folder,
                            bool isFolder, std::string& out) const {
    if (folder != pathFolder_) {
        path_.clear();
        lists_->AppendFolderPath(folder, path_);
        pathFolder_ = folder;
    }
    // A folder's own paths come without their separator.
    const std::string_view full =
        std::string_view(path_).substr(0, path_.size() - (isFolder ? 1 : 0));
    AppendNumber(out, number);
    out.append(")-");
    AppendShown(out, name);
    out.push_back('\t');
    AppendShown(out, full.substr(lists_->Folders().Root().size()));
    out.push_back('\t');
    AppendShown(out, full);
}

void ScanLines::AppendLine(std::size_t line, std::string& out) const {
    switch (kind_) {
        case Kind::FolderList:
        case Kind::FileList: {
            const Collection& list =
                kind_ == Kind::FolderList ? lists_->Folders() : lists_->Files();
            path_.clear();
            pathFolder_.reset();
            list.AppendTo(line, path_);
            AppendShown(out, path_);
            return;
        }
        case Kind::FoldersFound: {
            const std::size_t folder = lists_->FoldersByNumber()[line];
            AppendFound(line + 1, lists_->Folders().PartOf(folder).name, folder, true, out);
            return;
        }
        case Kind::FilesFound: {
            const Collection::Part part = lists_->Files().PartOf(line);
            AppendFound(line + 1, part.name, part.folder, false, out);
            return;
        }
    }
}

// In order, the lists build each path from the one before.
void ScanLines::ForEachLine(std::size_t first, std::size_t last,
                            const std::function<void(std::string_view)>& visit) const {
    std::string line;
    switch (kind_) {
        case Kind::FolderList:
        case Kind::FileList:
            (kind_ == Kind::FolderList ? lists_->Folders() : lists_->Files())
                .ForEach(first, last, [&](std::string_view item) {
                    line.clear();
                    AppendShown(line, item);
                    visit(line);
                });
            return;
        case Kind::FilesFound:
            lists_->Files().PartsOf(first, last, [&](std::size_t i, const Collection::Part& part) {
                line.clear();
                AppendFound(i + 1, part.name, part.folder, false, line);
                visit(line);
            });
            return;
        case Kind::FoldersFound:
            TextPaneSource::ForEachLine(first, last, visit);
            return;
    }
}

void ScanLines::MeasureLines(std::size_t first, std::span<LineSize> sizes) const {
    ScanLists& lists = *lists_;
    const ShownSize root = lists.Root();
    const auto put = [&sizes, first](std::size_t line, ShownSize size) {
        sizes[line - first] = LineSize{size.bytes, size.units};
    };
    // "n)-" name, tab, relative, tab, root and relative.
    const auto found = [&](std::size_t line, std::string_view name, ShownSize relative) {
        const ShownSize head = Ascii(Digits(line + 1) + 2 + 1);
        return Plus(Plus(head, ShownSizeOf(name)),
                    Plus(Plus(relative, Ascii(1)), Plus(root, relative)));
    };
    // A file's folder as shown before its name, with its separator.
    const auto folderOf = [&lists](const Collection::Part& part) {
        return part.folder == Collection::kRoot ? ShownSize{}
                                                : Plus(lists.Relative(part.folder), Ascii(1));
    };
    const std::size_t last = first + sizes.size();
    switch (kind_) {
        case Kind::FolderList:
            lists.Folders().PartsOf(first, last, [&](std::size_t i, const Collection::Part& part) {
                const ShownSize relative = lists.Relative(i);
                put(i, part.fromRoot ? Plus(Plus(root, relative), Ascii(1)) : relative);
            });
            return;
        case Kind::FileList:
            lists.Files().PartsOf(first, last, [&](std::size_t i, const Collection::Part& part) {
                put(i, Plus(Plus(root, folderOf(part)), ShownSizeOf(part.name)));
            });
            return;
        case Kind::FoldersFound:
            for (std::size_t line = first; line < last; ++line) {
                const std::size_t folder = lists.FoldersByNumber()[line];
                put(line, found(line, lists.Folders().PartOf(folder).name, lists.Relative(folder)));
            }
            return;
        case Kind::FilesFound:
            lists.Files().PartsOf(first, last, [&](std::size_t i, const Collection::Part& part) {
                put(i, found(i, part.name, folderOf(part)));
            });
            return;
    }
}

}  // namespace quorvel
