// SPDX-License-Identifier: MIT
#pragma once
// The rows of the folder list: the folders from "/" down to the current
// folder, then the current folder's subfolders sorted by name.
//
// The chain shows at once; the subfolders come later, read off the window's
// thread (ReadSubfolders), and until then a greyed "reading…" row stands
// below the chain.
//
// Rows stand for byte paths; only what is shown is decoded. A folder may
// hold hundreds of thousands of subfolders, so their names lie end to end in
// one buffer, a row is an index into it, a path is put together when asked
// for, a name is decoded only when its row is shown, and every row of a
// kind shares one icon.

#include <QAbstractListModel>
#include <QIcon>
#include <QString>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include <quorvel/DirectoryReader.h>

namespace quorvel {

class FolderListModel final : public QAbstractListModel {
  public:
    // The row's byte path, as a QByteArray.
    static constexpr int kPathRole = Qt::UserRole;
    // How far the row is indented: the chain's rows 0, 1, 2, ..., the
    // subfolders one more than the current folder.
    static constexpr int kLevelRole = Qt::UserRole + 1;

    // Names end to end: name i is bytes[ends[i - 1], ends[i]), from 0 for
    // the first.
    struct Names {
        std::string bytes;
        std::vector<std::size_t> ends;
        std::string_view operator[](std::size_t i) const {
            const std::size_t start = i == 0 ? 0 : ends[i - 1];
            return std::string_view(bytes).substr(start, ends[i] - start);
        }
    };
    // A folder's subfolders and the order they are shown in: indexes into
    // `names`.
    struct Subfolders {
        Names names;
        std::vector<std::uint32_t> order;
    };
    // Reads the subfolders `listing` lists and sorts them as shown; a null
    // listing (a folder that cannot be listed) has none. Needs no model and
    // runs on any thread.
    static Subfolders ReadSubfolders(FolderListing* listing);

    // `open` marks the chain's rows, `closed` the subfolders'.
    FolderListModel(QIcon open, QIcon closed, QObject* parent = nullptr);

    // Shows `folder` (absolute, no empty components, no trailing '/' unless
    // it is "/"), and the "reading…" row below it.
    void ShowChain(const std::string& folder);
    // The chain's subfolders, in place of the "reading…" row. The chain's
    // rows stay as they are, selection and current row included.
    void ShowSubfolders(Subfolders subfolders);
    // Whether the "reading…" row is shown.
    bool Reading() const { return reading_; }

    // The chain's row count; its last row is the current folder.
    int ChainRows() const { return static_cast<int>(chainEnds_.size()); }
    // The byte path of `row`, or empty when there is no such row.
    std::string PathAt(int row) const;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

  private:
    static std::vector<std::uint32_t> SortedAsShown(const Names& names);
    std::string_view SubfolderName(std::size_t row) const;

    QIcon open_;
    QIcon closed_;
    std::string folder_;
    // Where each of the chain's rows ends in `folder_`; "/" is row 0.
    std::vector<std::size_t> chainEnds_;
    std::vector<QString> chainShown_;
    Names subfolders_;
    // The subfolders' rows in order: indexes into `subfolders_`.
    std::vector<std::uint32_t> order_;
    bool reading_ = false;
};

}  // namespace quorvel
