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

#include <QListView>
#include <memory>
#include <string>

#include <quorvel/DirectoryReader.h>

namespace quorvel {

class FolderListModel;

class FolderList : public QListView {
    Q_OBJECT

  public:
    explicit FolderList(QWidget* parent = nullptr);

    // Sets the reading layer and the current folder without emitting Change.
    // An empty `path` is the start folder (StartFolder); a relative one is
    // taken from there.
    void Start(std::shared_ptr<DirectoryReader> reader, const std::string& path);

    // The current folder as bytes: absolute, no trailing '/' except for "/".
    const std::string& Path() const { return path_; }

    // Makes `path` the current folder; emits Change when that differs from
    // the previous one.
    void SetPath(const std::string& path);

    // The byte path row `row` stands for (empty for no row).
    std::string ItemPath(int row) const;

  signals:
    void Change();

  protected:
    void keyPressEvent(QKeyEvent* event) override;

  private:
    void Open(const QModelIndex& index);
    void Refresh();

    FolderListModel* model_;  // owned as a child
    std::shared_ptr<DirectoryReader> reader_;
    std::string path_;
};

}  // namespace quorvel
