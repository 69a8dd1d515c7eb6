// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <memory>
#include <string_view>

#include <quorvel/BasicTypes.h>
#include <quorvel/clsDirwalk.h>

#include "ScanLines.h"
#include "TextPaneSourceRows.h"

namespace quorvel {

class TextPane;

// What one scan driver pass shows of its scanner's lists in the four panes,
// as views of the lists (ScanLines) rather than copies.
//
// The found panes show the events: each event that is the scanner's next
// one (the next number, the name its list holds) adds a line to its pane's
// view. Any other (a handler called by hand, events switched off and on
// again) is not, and its pane is then appended to by hand from there on.
//
// The list panes are measured while the walk runs (MeasureLists, at the
// walk's yields), so that showing them when it has ended costs only what
// came since.
class ScanPanes {
  public:
    // `scanner` is the pass's: it must outlive every call made during the
    // walk, and its lists exist once its walk has begun.
    ScanPanes(const clsDirwalk& scanner, TextPane& foldersFound, TextPane& filesFound);

    // Adds the entry's line to its found pane; false when it is not the
    // scanner's next entry, for the caller to append by hand.
    bool ShowFound(std::string_view name, bool isFolder, Counter number);
    void MeasureLists();
    // Shows the lists as they are now, once the walk has ended.
    void ShowFolders(TextPane& pane);
    void ShowFiles(TextPane& pane);

  private:
    struct Found {
        TextPane& pane;
        std::shared_ptr<ScanLines> lines;
        bool byHand = false;
    };
    // Takes the scanner's lists, once they are there.
    bool Bind();
    std::unique_ptr<textpane::TextPaneSourceRows> ListRows(ScanLines::Kind kind);

    const clsDirwalk& scanner_;
    std::shared_ptr<ScanLists> lists_;
    Found folders_;
    Found files_;
    std::unique_ptr<textpane::TextPaneSourceRows> folderList_;
    std::unique_ptr<textpane::TextPaneSourceRows> fileList_;
};

}  // namespace quorvel
