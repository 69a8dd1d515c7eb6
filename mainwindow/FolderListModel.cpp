// SPDX-License-Identifier: MIT
#include "FolderListModel.h"

#include <QCollator>
#include <QCollatorSortKey>
#include <QLocale>
#include <algorithm>
#include <numeric>

#include "ShownText.h"

namespace quorvel {
namespace {

// The text a name shows, for collating it: for printable ASCII without a
// backslash, nearly every name, the name itself, widened into `buffer` and
// not copied again. Only valid until `buffer` changes.
QString CollationText(std::string_view name, std::u16string& buffer) {
    buffer.resize(name.size());
    for (std::size_t i = 0; i < name.size(); ++i) {
        const auto c = static_cast<unsigned char>(name[i]);
        if (c < 0x20 || c > 0x7E || c == '\\') return ShownText(name);
        buffer[i] = c;
    }
    return QString::fromRawData(reinterpret_cast<const QChar*>(buffer.data()),
                                static_cast<qsizetype>(buffer.size()));
}

}  // namespace

FolderListModel::FolderListModel(QIcon open, QIcon closed, QObject* parent)
    : QAbstractListModel(parent), open_(std::move(open)), closed_(std::move(closed)) {}

FolderListModel::Subfolders FolderListModel::ReadSubfolders(FolderListing* listing) {
    Subfolders subfolders;
    if (listing) {
        DirEntry entry;
        while (listing->Next(entry)) {
            if (!entry.isFolder || entry.name == "." || entry.name == "..") continue;
            subfolders.names.bytes.append(entry.name);
            subfolders.names.ends.push_back(subfolders.names.bytes.size());
        }
    }
    subfolders.order = SortedAsShown(subfolders.names);
    return subfolders;
}

void FolderListModel::ShowChain(const std::string& folder) {
    beginResetModel();
    folder_ = folder;
    chainEnds_.assign(1, 1);
    chainShown_.assign(1, QStringLiteral("/"));
    for (std::size_t start = 1; start < folder_.size();) {
        std::size_t end = folder_.find('/', start);
        if (end == std::string::npos) end = folder_.size();
        chainEnds_.push_back(end);
        chainShown_.push_back(ShownText(std::string_view(folder_).substr(start, end - start)));
        start = end + 1;
    }
    subfolders_ = {};
    order_.clear();
    reading_ = true;
    endResetModel();
}

void FolderListModel::ShowSubfolders(Subfolders subfolders) {
    const int chain = ChainRows();
    if (reading_) {
        beginRemoveRows(QModelIndex(), chain, chain);
        reading_ = false;
        endRemoveRows();
    }
    if (!order_.empty()) {
        beginRemoveRows(QModelIndex(), chain, chain + static_cast<int>(order_.size()) - 1);
        order_.clear();
        endRemoveRows();
    }
    if (subfolders.order.empty()) return;
    beginInsertRows(QModelIndex(), chain, chain + static_cast<int>(subfolders.order.size()) - 1);
    subfolders_ = std::move(subfolders.names);
    order_ = std::move(subfolders.order);
    endInsertRows();
}

// As a file manager sorts: by the user's language, without regard to case,
// digit runs by value; names that still compare equal keep a fixed order by
// bytes. The C locale has no collation of its own (it compares code points,
// digits included), so it gets the neutral English one.
//
// Collating two names costs far more than comparing bytes, and a sort
// compares each name about log2(n) times: each name is collated once, into
// a key whose byte order is the collation order, and the sort compares keys.
std::vector<std::uint32_t> FolderListModel::SortedAsShown(const Names& names) {
    QLocale locale;
    if (locale.language() == QLocale::C) locale = QLocale(QLocale::English);
    QCollator collator(locale);
    collator.setNumericMode(true);
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    const std::size_t count = names.ends.size();
    std::vector<QCollatorSortKey> keys;
    keys.reserve(count);
    std::u16string buffer;
    for (std::size_t i = 0; i < count; ++i) {
        keys.push_back(collator.sortKey(CollationText(names[i], buffer)));
    }
    std::vector<std::uint32_t> order(count);
    std::iota(order.begin(), order.end(), 0U);
    std::sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) {
        const int byKey = keys[a].compare(keys[b]);
        return byKey != 0 ? byKey < 0 : names[a] < names[b];
    });
    return order;
}

std::string_view FolderListModel::SubfolderName(std::size_t row) const {
    return subfolders_[order_[row - chainEnds_.size()]];
}

std::string FolderListModel::PathAt(int row) const {
    const auto at = static_cast<std::size_t>(row);
    // While reading, the row past the chain is the "reading…" row.
    if (row < 0 || at >= chainEnds_.size() + (reading_ ? 0 : order_.size())) return {};
    if (at < chainEnds_.size()) return folder_.substr(0, chainEnds_[at]);
    std::string path = folder_;
    if (path != "/") path.push_back('/');
    path.append(SubfolderName(at));
    return path;
}

int FolderListModel::rowCount(const QModelIndex& parent) const {
    if (parent.isValid()) return 0;
    return static_cast<int>(chainEnds_.size() + (reading_ ? 1 : order_.size()));
}

QVariant FolderListModel::data(const QModelIndex& index, int role) const {
    if (!checkIndex(index, CheckIndexOption::IndexIsValid)) return {};
    const auto row = static_cast<std::size_t>(index.row());
    const bool inChain = row < chainEnds_.size();
    if (!inChain && reading_) {
        if (role == Qt::DisplayRole) return QStringLiteral("reading\u2026");
        if (role == kLevelRole) return static_cast<int>(chainEnds_.size());
        return {};
    }
    switch (role) {
        case Qt::DisplayRole:
            return inChain ? chainShown_[row] : ShownText(SubfolderName(row));
        case Qt::DecorationRole:
            return inChain ? open_ : closed_;
        case kPathRole:
            return QByteArray::fromStdString(PathAt(index.row()));
        case kLevelRole:
            return static_cast<int>(inChain ? row : chainEnds_.size());
        default:
            return {};
    }
}

Qt::ItemFlags FolderListModel::flags(const QModelIndex& index) const {
    // The "reading…" row is greyed, and cannot be opened.
    if (!index.isValid() || (reading_ && index.row() >= ChainRows())) return Qt::NoItemFlags;
    return Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemNeverHasChildren;
}

}  // namespace quorvel
