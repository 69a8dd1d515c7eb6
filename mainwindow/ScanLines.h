// SPDX-License-Identifier: MIT
#pragma once
// The lines of the window's four panes, computed from one scan's lists
// instead of kept as text: the lists hold every path once, and a pane asks
// only for the lines it shows.
//
//   txtFolders       line i: folder list item i
//   txtFiles         line i: file list item i
//   txtFoldersFound  line n - 1: "n)-" name, tab, relative path, tab, full
//                    path of the folder numbered n (FoldersByNumber)
//   txtFilesFound    line n - 1: "n)-" name, tab, folder's relative path, tab,
//                    folder's full path of file n (file list item n - 1)
//
// each piece shown as ShownText shows it, exactly the text that the
// EntryFound handler builds. A found pane has as many lines as events were
// shown (Add), a list pane as its list has items.
//
// Sizes: a line's shown size is the sum of its pieces' (a '/' between two
// names is shown as itself and changes neither), so each folder's relative
// path is measured once, from its parent's, and a line costs its name.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <quorvel/Collection.h>
#include <quorvel/PathSeparator.h>
#include <quorvel/clsDirwalk.h>

#include "ShownText.h"
#include "TextPaneSource.h"

namespace quorvel {

static_assert(kPathSeparator == '/',
              "the window measures a path by its names, which needs a separator shown as itself");

// One scan's lists with the shown size of every folder's relative path.
class ScanLists {
  public:
    explicit ScanLists(const clsDirwalk& scanner);

    const Collection& Folders() const { return *folders_; }
    const Collection& Files() const { return *files_; }
    const std::vector<std::uint32_t>& FoldersByNumber() const { return *byNumber_; }
    ShownSize Root() const { return root_; }
    // The folder's relative path, shown; nothing for kRoot. Measures the
    // folders added since it was last asked.
    ShownSize Relative(std::size_t folder);
    // The root, the folder's relative path and a separator, as the scanner
    // passes it to EntryFound (the root alone for kRoot).
    void AppendFolderPath(std::size_t folder, std::string& out) const;

  private:
    struct Size {
        std::uint32_t bytes;
        std::uint32_t units;
    };
    std::shared_ptr<const Collection> folders_;
    std::shared_ptr<const Collection> files_;
    std::shared_ptr<const std::vector<std::uint32_t>> byNumber_;
    ShownSize root_;
    std::vector<Size> relative_;
};

// A pane's lines: its kind and how many there are.
class ScanLines final : public textpane::TextPaneSource {
  public:
    enum class Kind { FolderList, FileList, FoldersFound, FilesFound };

    ScanLines(std::shared_ptr<ScanLists> lists, Kind kind);

    // One more event shown (found panes only).
    void Add() { ++found_; }
    std::size_t LineCount() const override;
    void AppendLine(std::size_t line, std::string& out) const override;
    void MeasureLines(std::size_t first, std::span<LineSize> sizes) const override;
    void ForEachLine(std::size_t first, std::size_t last,
                     const std::function<void(std::string_view)>& visit) const override;

  private:
    void AppendFound(std::size_t number, std::string_view name, std::size_t folder, bool isFolder,
                     std::string& out) const;

    std::shared_ptr<ScanLists> lists_;
    Kind kind_;
    std::size_t found_ = 0;
    mutable std::string path_;  // reused for every line built
    // The folder path AppendFound built last: a listing's lines mostly
    // share it with the line before.
    mutable std::optional<std::size_t> pathFolder_;
};

}  // namespace quorvel
