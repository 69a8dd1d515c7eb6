#include "FolderList.h"

#include <unistd.h>

#include <QApplication>
#include <QCollator>
#include <QKeyEvent>
#include <QStyle>
#include <QStyledItemDelegate>
#include <algorithm>
#include <cerrno>
#include <vector>

#include "ShownText.h"

namespace quorvel {
namespace {

constexpr int kPathRole = Qt::UserRole;
constexpr int kLevelRole = Qt::UserRole + 1;
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
        return index.data(kLevelRole).toInt() * kIndentPx;
    }
};

// "a/b/" and "a/b" are the same folder; "/" stays "/".
std::string WithoutTrailingSlash(std::string path) {
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    return path;
}

std::string Absolute(const std::string& path) {
    if (!path.empty() && path.front() == '/') return WithoutTrailingSlash(path);
    std::string base = FolderList::CurrentDirectory();
    if (path.empty() || path == ".") return base;
    if (base.back() != '/') base.push_back('/');
    return WithoutTrailingSlash(base + path);
}

struct Subfolder {
    std::string name;
    QString shown;
};

}  // namespace

FolderList::FolderList(QWidget* parent) : QListWidget(parent) {
    setItemDelegate(std::make_unique<IndentDelegate>(this).release());
    setSelectionMode(QAbstractItemView::SingleSelection);
    setUniformItemSizes(true);
    connect(this, &QListWidget::itemDoubleClicked, this,
            [this](QListWidgetItem* item) { Open(item); });
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

std::string FolderList::ItemPath(const QListWidgetItem& item) {
    return item.data(kPathRole).toByteArray().toStdString();
}

std::string FolderList::CurrentDirectory() {
    std::string buffer(256, '\0');
    for (int attempt = 0; attempt < 16; ++attempt) {
        if (::getcwd(buffer.data(), buffer.size()) != nullptr) {
            buffer.resize(std::char_traits<char>::length(buffer.c_str()));
            return buffer;
        }
        if (errno != ERANGE) break;
        buffer.resize(buffer.size() * 2);
    }
    return "/";
}

void FolderList::keyPressEvent(QKeyEvent* event) {
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && currentItem()) {
        Open(currentItem());
        return;
    }
    QListWidget::keyPressEvent(event);
}

void FolderList::Open(const QListWidgetItem* item) {
    if (item) SetPath(ItemPath(*item));
}

void FolderList::AddItem(const std::string& itemPath, std::string_view name, int level, bool open) {
    const QIcon icon =
        style()->standardIcon(open ? QStyle::SP_DirOpenIcon : QStyle::SP_DirClosedIcon);
    auto item = std::make_unique<QListWidgetItem>(icon, ShownText(name));
    item->setData(kPathRole, QByteArray::fromStdString(itemPath));
    item->setData(kLevelRole, level);
    addItem(item.release());
}

void FolderList::Refresh() {
    clear();
    // The chain of open folders: "/", then one item per component of the path.
    AddItem("/", "/", 0, true);
    int level = 0;
    for (std::size_t start = 1; start < path_.size();) {
        std::size_t end = path_.find('/', start);
        if (end == std::string::npos) end = path_.size();
        AddItem(path_.substr(0, end), std::string_view(path_).substr(start, end - start), ++level,
                true);
        start = end + 1;
    }
    QListWidgetItem* current = item(count() - 1);

    std::vector<Subfolder> subfolders;
    if (reader_) {
        std::error_code error;
        if (std::unique_ptr<FolderListing> listing = reader_->OpenRoot(path_, error)) {
            DirEntry entry;
            while (listing->Next(entry)) {
                if (!entry.isFolder || entry.name == "." || entry.name == "..") continue;
                subfolders.push_back(Subfolder{std::string(entry.name), ShownText(entry.name)});
            }
        }
    }
    // As a file manager sorts: by the user's language, without regard to
    // case, digit runs by value; names that still compare equal keep a fixed
    // order by bytes. The C locale has no collation of its own (it compares
    // code points, digits included), so it gets the neutral English one.
    QLocale locale;
    if (locale.language() == QLocale::C) locale = QLocale(QLocale::English);
    QCollator collator(locale);
    collator.setNumericMode(true);
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    std::sort(subfolders.begin(), subfolders.end(), [&](const Subfolder& a, const Subfolder& b) {
        const int order = collator.compare(a.shown, b.shown);
        return order != 0 ? order < 0 : a.name < b.name;
    });
    const std::string prefix = path_ == "/" ? "/" : path_ + "/";
    for (const Subfolder& sub : subfolders) AddItem(prefix + sub.name, sub.name, level + 1, false);

    setCurrentItem(current);
}

}  // namespace quorvel
