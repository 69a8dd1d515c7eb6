// SPDX-License-Identifier: MIT
#include "FuseTree.h"

#include <algorithm>
#include <cassert>
#include <utility>

namespace quorvel::testing::fusefs {

Tree::Tree() {
    Node root;
    root.parent = kRootId;
    root.folder = true;
    nodes_.push_back(std::move(root));
}

NodeId Tree::Add(NodeId folder, std::string_view name, bool isFolder) {
    Node node;
    node.parent = folder;
    node.name = name;
    node.folder = isFolder;
    nodes_.push_back(std::move(node));
    const NodeId id = nodes_.size();
    At(folder).children.push_back(Node::Child{nextOffset_++, id});
    return id;
}

NodeId Tree::Folder(std::string_view path) {
    NodeId at = kRootId;
    while (!path.empty()) {
        const std::size_t slash = path.find('/');
        const std::string_view name = path.substr(0, slash);
        path = slash == std::string_view::npos ? std::string_view() : path.substr(slash + 1);
        if (name.empty() || name == ".") continue;
        NodeId next = Lookup(at, name);
        if (next == 0) next = Add(at, name, true);
        if (!At(next).folder) return 0;
        at = next;
    }
    return at;
}

NodeId Tree::File(std::string_view path) {
    const std::size_t slash = path.rfind('/');
    const NodeId folder =
        Folder(slash == std::string_view::npos ? std::string_view() : path.substr(0, slash));
    const std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
    if (folder == 0 || name.empty() || Lookup(folder, name) != 0) return 0;
    return Add(folder, name, false);
}

NodeId Tree::Find(std::string_view path) const {
    NodeId at = kRootId;
    while (!path.empty() && at != 0) {
        const std::size_t slash = path.find('/');
        const std::string_view name = path.substr(0, slash);
        path = slash == std::string_view::npos ? std::string_view() : path.substr(slash + 1);
        if (!name.empty() && name != ".") at = Lookup(at, name);
    }
    return at;
}

NodeId Tree::Lookup(NodeId folder, std::string_view name) const {
    const Node& node = At(folder);
    if (!node.folder || node.removed) return 0;
    for (const Node::Child& child : node.children) {
        if (At(child.node).name == name) return child.node;
    }
    return 0;
}

std::string Tree::PathOf(NodeId id) const {
    if (id == kRootId) return ".";
    std::vector<const std::string*> names;
    for (NodeId at = id; at != kRootId; at = At(at).parent) names.push_back(&At(at).name);
    std::string path;
    for (auto name = names.rbegin(); name != names.rend(); ++name) {
        if (!path.empty()) path += '/';
        path += **name;
    }
    return path;
}

std::chrono::microseconds Tree::LatencyOf(NodeId folder) const {
    for (NodeId at = folder;; at = At(at).parent) {
        if (At(at).faults.latency) return *At(at).faults.latency;
        if (at == kRootId) return {};
    }
}

std::vector<ListedEntry> Tree::EntriesAfter(NodeId folder, std::uint64_t offset) const {
    const Node& node = At(folder);
    assert(node.folder);
    std::vector<ListedEntry> entries;
    if (offset < 1) entries.push_back(ListedEntry{1, ".", folder, true, true});
    if (offset < 2) entries.push_back(ListedEntry{2, "..", node.parent, true, true});
    const auto first = std::upper_bound(
        node.children.begin(), node.children.end(), offset,
        [](std::uint64_t off, const Node::Child& child) { return off < child.offset; });
    for (auto child = first; child != node.children.end(); ++child) {
        const Node& entry = At(child->node);
        entries.push_back(ListedEntry{child->offset, entry.name, child->node, entry.folder, false});
    }
    return entries;
}

bool Tree::HasEntriesAfter(NodeId folder, std::uint64_t offset) const {
    const Node& node = At(folder);
    return offset < 2 || (!node.children.empty() && node.children.back().offset > offset);
}

void Tree::MarkRemoved(NodeId id) {
    Node& node = At(id);
    node.removed = true;
    for (const Node::Child& child : node.children) MarkRemoved(child.node);
}

bool Tree::Apply(NodeId folder, const Change& change) {
    Node& node = At(folder);
    switch (change.kind) {
        case Change::Kind::AddFile:
        case Change::Kind::AddFolder:
            if (change.name.empty() || Lookup(folder, change.name) != 0) return false;
            Add(folder, change.name, change.kind == Change::Kind::AddFolder);
            return true;
        case Change::Kind::Remove:
        case Change::Kind::Rename: {
            const NodeId id = Lookup(folder, change.name);
            if (id == 0) return false;
            const bool rename = change.kind == Change::Kind::Rename;
            if (rename && (change.newName.empty() || Lookup(folder, change.newName) != 0)) {
                return false;
            }
            std::erase_if(node.children, [id](const Node::Child& c) { return c.node == id; });
            if (!rename) {
                MarkRemoved(id);
                return true;
            }
            At(id).name = change.newName;
            node.children.push_back(Node::Child{nextOffset_++, id});
            return true;
        }
    }
    return false;
}

}  // namespace quorvel::testing::fusefs
