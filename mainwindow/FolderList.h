// SPDX-License-Identifier: MIT
#pragma once
// The folder list: the folders from "/" down to the current folder, each one
// step further indented, followed by the current folder's subfolders sorted
// by name. Opening an entry (double click, or Enter on the selected one)
// makes it the current folder and emits Change.
//
// Names are bytes. Subfolders are listed through the scanner's reading layer,
// so a name that is not valid UTF-8 is listed (shown with replacement
// characters) and a folder the user may not read is still listed; each row
// stands for its byte path, and only the display is decoded. A folder that
// cannot be listed (gone, or unreadable) shows its chain alone.
//
// The window's thread never waits for the file system: the chain shows at
// once, and the subfolders are read (and sorted) on a thread of their own
// and shown when they come, a greyed "reading…" row standing in for them
// meanwhile. A folder that never answers leaves that row, and its thread,
// behind; any other folder can still be opened. What a thread reads for a
// folder the list has left since is dropped.

#include <QListView>
#include <cstdint>
#include <memory>
#include <string>

#include <quorvel/DirectoryReader.h>

#include "FolderListModel.h"

namespace quorvel {

class FolderList : public QListView {
    Q_OBJECT

  public:
    explicit FolderList(QWidget* parent = nullptr);
    ~FolderList() override;

    // Sets the reading layer and the current folder without emitting Change.
    // An empty `path` is the start folder (StartFolder); a relative one is
    // taken from there.
    void Start(std::shared_ptr<DirectoryReader> reader, const std::string& path);

    // The current folder as bytes: absolute, no trailing '/' except for "/".
    const std::string& Path() const { return path_; }

    // Makes `path` the current folder; emits Change when that differs from
    // the previous one.
    void SetPath(const std::string& path);

    // The byte path row `row` stands for (empty for no row, and for the
    // "reading…" row).
    std::string ItemPath(int row) const;

    // Whether the current folder's subfolders are still being read.
    bool IsListing() const;

  signals:
    void Change();
    // The current folder's subfolders are shown (none when it could not be
    // listed).
    void Listed();

  protected:
    void keyPressEvent(QKeyEvent* event) override;

  private:
    // Where a listing thread leaves its result; shared with the threads,
    // which must not reach a list that is gone.
    struct Mailbox;

    void Open(const QModelIndex& index);
    void Refresh();
    void Receive(std::uint64_t listing, FolderListModel::Subfolders subfolders);

    FolderListModel* model_;  // owned as a child
    std::shared_ptr<DirectoryReader> reader_;
    std::string path_;
    std::shared_ptr<Mailbox> mailbox_;
    // Numbers the listings asked for; only the latest is shown.
    std::uint64_t listing_ = 0;
};

}  // namespace quorvel
