// SPDX-License-Identifier: MIT
#include "FolderList.h"

#include <QKeyEvent>
#include <QStyle>
#include <QStyledItemDelegate>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>

#include "FolderListModel.h"
#include "StartFolder.h"

namespace quorvel {
namespace {

constexpr int kIndentPx = 10;

// Indents each item by its level, the way a folder tree would.
class IndentDelegate final : public QStyledItemDelegate {
  public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        QStyleOptionViewItem indented(option);
        indented.rect.setLeft(option.rect.left() + Indent(index));
        QStyledItemDelegate::paint(painter, indented, index);
    }

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        QSize size = QStyledItemDelegate::sizeHint(option, index);
        size.rwidth() += Indent(index);
        return size;
    }

  private:
    static int Indent(const QModelIndex& index) {
        return index.data(FolderListModel::kLevelRole).toInt() * kIndentPx;
    }
};

// "a//b/" and "a/b" are the same folder; "/" stays "/". A shell's $PWD may
// hold such a path, and each empty component would show as a nameless item.
std::string Tidy(const std::string& path) {
    std::string tidy;
    tidy.reserve(path.size());
    for (const char c : path) {
        if (c != '/' || tidy.empty() || tidy.back() != '/') tidy.push_back(c);
    }
    if (tidy.size() > 1 && tidy.back() == '/') tidy.pop_back();
    return tidy;
}

std::string Absolute(const std::string& path) {
    if (!path.empty() && path.front() == '/') return Tidy(path);
    std::string base = StartFolder();
    if (path.empty() || path == ".") return Tidy(base);
    return Tidy(base + "/" + path);
}

}  // namespace

struct FolderList::Mailbox {
    std::mutex mutex;
    FolderList* list = nullptr;  // null once the list is gone

    // On the listing's thread: the list gets the result in its own turn.
    void Deliver(std::uint64_t listing, FolderListModel::Subfolders subfolders) {
        const std::lock_guard lock(mutex);
        if (!list) return;
        QMetaObject::invokeMethod(
            list,
            [list = list, listing, subfolders = std::move(subfolders)]() mutable {
                list->Receive(listing, std::move(subfolders));
            },
            Qt::QueuedConnection);
    }
};

FolderList::FolderList(QWidget* parent)
    : QListView(parent),
      model_(std::make_unique<FolderListModel>(style()->standardIcon(QStyle::SP_DirOpenIcon),
                                               style()->standardIcon(QStyle::SP_DirClosedIcon),
                                               this)
                 .release()) {
    setModel(model_);
    setItemDelegate(std::make_unique<IndentDelegate>(this).release());
    setSelectionMode(QAbstractItemView::SingleSelection);
    // Every row is one line of text after one icon: the view sizes one row,
    // not each of what may be hundreds of thousands.
    setUniformItemSizes(true);
    mailbox_ = std::make_shared<Mailbox>();
    mailbox_->list = this;
    connect(this, &QAbstractItemView::doubleClicked, this,
            [this](const QModelIndex& index) { Open(index); });
}

// A result posted and not yet received goes with the list (Qt drops the
// events of an object it destroys).
FolderList::~FolderList() {
    const std::lock_guard lock(mailbox_->mutex);
    mailbox_->list = nullptr;
}

void FolderList::Start(std::shared_ptr<DirectoryReader> reader, const std::string& path) {
    reader_ = std::move(reader);
    path_ = Absolute(path);
    Refresh();
}

void FolderList::SetPath(const std::string& path) {
    std::string absolute = Absolute(path);
    if (absolute == path_) return;
    path_ = std::move(absolute);
    Refresh();
    emit Change();
}

std::string FolderList::ItemPath(int row) const {
    return model_->PathAt(row);
}

bool FolderList::IsListing() const {
    return model_->Reading();
}

void FolderList::keyPressEvent(QKeyEvent* event) {
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) &&
        currentIndex().isValid()) {
        Open(currentIndex());
        return;
    }
    QListView::keyPressEvent(event);
}

void FolderList::Open(const QModelIndex& index) {
    // Not the "reading…" row: an empty path would be the start folder.
    if (const std::string path = model_->PathAt(index.row()); index.isValid() && !path.empty()) {
        SetPath(path);
    }
}

void FolderList::Refresh() {
    model_->ShowChain(path_);
    setCurrentIndex(model_->index(model_->ChainRows() - 1));
    const auto read = [reader = reader_, path = path_, mailbox = mailbox_, listing = ++listing_] {
        FolderListModel::Subfolders subfolders;
        // A folder whose reading fails in any way shows its chain alone, as
        // one that cannot be listed: nothing may leave this thread.
        try {
            std::error_code error;
            const std::unique_ptr<FolderListing> folder =
                reader ? reader->OpenRoot(path, error) : nullptr;
            subfolders = FolderListModel::ReadSubfolders(folder.get());
        } catch (...) {
            subfolders = {};
        }
        mailbox->Deliver(listing, std::move(subfolders));
    };
    try {
        std::thread(read).detach();
    } catch (const std::system_error&) {
        read();  // no thread to be had: read here, as before threads
    }
}

void FolderList::Receive(std::uint64_t listing, FolderListModel::Subfolders subfolders) {
    if (listing != listing_) return;  // for a folder left since
    model_->ShowSubfolders(std::move(subfolders));
    emit Listed();
}

}  // namespace quorvel
