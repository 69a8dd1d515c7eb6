// SPDX-License-Identifier: MIT
#pragma once
// Collection: one of the two lists that a scan makes, its folder list or its
// file list. Append-only, in the order the entries were found, and handed out
// shared: a list stays readable, unchanged, for as long as anyone holds it,
// also after its scanner is gone.
//
// Each path is kept once, as its parent folder and its name: a folder costs
// its name, the index of its parent and a few bytes; a file its name and a
// byte or two. An item is therefore not stored as one run of bytes, and
// reading one builds its path:
//
//   list[i].String(), list.AppendTo(i, out)   item i, at a cost bounded by
//                                              its depth
//   list.ForEach([](std::string_view path) { ... })
//                                              every item in order, without
//                                              an allocation per item; the
//                                              view is valid during the call
//
// The items are the scan's own paths, byte for byte:
//   folder list: the folder's path relative to the root (no trailing
//     separator), or, for a folder added while FullPath was set, the root, that
//     path and a separator;
//   file list: the root, the folder's relative path and a separator (nothing
//     for a file directly in the root), and the file's name.
// PartOf(i) gives the structure instead: the folder that holds item i (an index
// into the folder list, or kRoot), its name, and its form.
//
// Reading is safe from any number of threads at once while nothing is
// appended; appending and reading are not safe on two threads at once.

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <limits>
#include <memory>
#include <string>
#include <string_view>
#include <type_traits>

namespace quorvel {

class Collection {
    struct Impl;
    // Only the list's own factories can name it, so make_shared may build a
    // list while nobody else can.
    struct Key {
        explicit Key() = default;
    };

  public:
    // The folder that holds an entry directly in the scan's root.
    static constexpr std::size_t kRoot = std::numeric_limits<std::size_t>::max();

    // One item. It refers to its list, which must outlive it, and builds the
    // path when asked: there is no std::string_view of it to keep, as the
    // path is nowhere stored whole.
    class Item {
      public:
        std::string String() const { return list_->String(index_); }
        void AppendTo(std::string& out) const { list_->AppendTo(index_, out); }
        // Bytes of the path.
        std::size_t size() const { return list_->Size(index_); }
        explicit operator std::string() const { return String(); }
        friend bool operator==(const Item& item, std::string_view text) {
            return item.list_->Equals(item.index_, text);
        }

      private:
        friend class Collection;
        Item(const Collection& list, std::size_t index) : list_(&list), index_(index) {}
        const Collection* list_;
        std::size_t index_;
    };

    // Iterates over Item handles; ForEach is the cheap way through a list.
    class const_iterator {
      public:
        using iterator_category = std::forward_iterator_tag;
        using value_type = Item;
        using difference_type = std::ptrdiff_t;
        using pointer = void;
        using reference = Item;

        const_iterator() = default;
        Item operator*() const { return Item(*list_, index_); }
        const_iterator& operator++() {
            ++index_;
            return *this;
        }
        const_iterator operator++(int) {
            const_iterator before = *this;
            ++index_;
            return before;
        }
        bool operator==(const const_iterator& other) const { return index_ == other.index_; }

      private:
        friend class Collection;
        const_iterator(const Collection& list, std::size_t index) : list_(&list), index_(index) {}
        const Collection* list_ = nullptr;
        std::size_t index_ = 0;
    };

    // How item i is made (see the top of this file). `name` stays valid, in
    // place, for the life of the list.
    struct Part {
        std::size_t folder = kRoot;
        std::string_view name;
        // The item begins with the root: always in a file list; in a folder
        // list, for a folder added while FullPath was set (and then it ends in
        // a separator as well).
        bool fromRoot = false;
    };

    // A folder list for a scan of `root`, which ends in the separator. With
    // `hugePages`, storage past 8 MiB comes in 2 MiB blocks that Linux may
    // back with huge pages (clsDirwalk::HugePageLists).
    static std::shared_ptr<Collection> NewFolderList(std::string root, bool hugePages = false);
    // A file list whose files lie in the folders of `folders`; it keeps what
    // it needs of that list, which may go first.
    static std::shared_ptr<Collection> NewFileList(const Collection& folders,
                                                   bool hugePages = false);
    Collection(Key, std::unique_ptr<Impl> impl);
    ~Collection();
    Collection(const Collection&) = delete;
    Collection& operator=(const Collection&) = delete;

    // Appends a folder (to a folder list) or a file (to a file list) named
    // `name`, held by the folder `folder` of the folder list, which must be
    // there already (or kRoot). AddFolder returns the new folder's index;
    // `fullPath` chooses its item's form. Throw std::logic_error for the
    // wrong kind of list, std::out_of_range for a folder that is not there.
    std::size_t AddFolder(std::size_t folder, std::string_view name, bool fullPath);
    void AddFile(std::size_t folder, std::string_view name);

    bool IsFolderList() const;
    std::size_t Count() const { return size(); }
    std::size_t size() const;
    bool empty() const { return size() == 0; }
    // The scan's root, as the items hold it.
    std::string_view Root() const;

    Item operator[](std::size_t i) const { return Item(*this, i); }
    const_iterator begin() const { return const_iterator(*this, 0); }
    const_iterator end() const { return const_iterator(*this, size()); }
    void AppendTo(std::size_t i, std::string& out) const;
    std::string String(std::size_t i) const;
    std::size_t Size(std::size_t i) const;
    bool Equals(std::size_t i, std::string_view text) const;

    // Items [first, last) in order: visit(std::string_view path).
    template <class Visit>
    void ForEach(std::size_t first, std::size_t last, Visit&& visit) const {
        VisitItems(first, last, &CallItem<Visit>, Erase(visit));
    }
    template <class Visit>
    void ForEach(Visit&& visit) const {
        ForEach(0, size(), visit);
    }

    // Item i's parts; the latest item's at once, any other's after reading
    // at most a few neighbours. PartsOf visits [first, last) in order:
    // visit(std::size_t i, const Part& part).
    Part PartOf(std::size_t i) const;
    template <class Visit>
    void PartsOf(std::size_t first, std::size_t last, Visit&& visit) const {
        VisitParts(first, last, &CallPart<Visit>, Erase(visit));
    }

    // Bytes held by the list and by the folders it shares with its pair.
    std::size_t MemoryBytes() const;

  private:
    using ItemCall = void (*)(void* visit, std::string_view path);
    using PartCall = void (*)(void* visit, std::size_t i, const Part& part);
    template <class Visit>
    static void* Erase(Visit& visit) {
        return const_cast<void*>(static_cast<const void*>(std::addressof(visit)));
    }
    template <class Visit>
    static void CallItem(void* visit, std::string_view path) {
        (*static_cast<std::remove_reference_t<Visit>*>(visit))(path);
    }
    template <class Visit>
    static void CallPart(void* visit, std::size_t i, const Part& part) {
        (*static_cast<std::remove_reference_t<Visit>*>(visit))(i, part);
    }
    void VisitItems(std::size_t first, std::size_t last, ItemCall call, void* visit) const;
    void VisitParts(std::size_t first, std::size_t last, PartCall call, void* visit) const;

    std::unique_ptr<Impl> impl_;
};

}  // namespace quorvel
