// SPDX-License-Identifier: MIT
#include "ListedOrder.h"

#include <dirent.h>

#include <algorithm>
#include <memory>
#include <stdexcept>

namespace quorvel::testing {

std::vector<std::string> ListedOrder(const std::string& folder) {
    const std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(folder.c_str()), ::closedir);
    if (!dir) throw std::runtime_error("ListedOrder: cannot list " + folder);
    std::vector<std::string> names;
    while (const dirent* entry = ::readdir(dir.get())) {
        const std::string_view name = entry->d_name;
        if (name != "." && name != "..") names.emplace_back(name);
    }
    return names;
}

bool ListsBefore(const std::string& folder, std::string_view first, std::string_view second) {
    for (const std::string& name : ListedOrder(folder)) {
        if (name == first) return true;
        if (name == second) return false;
    }
    throw std::runtime_error("ListsBefore: neither name is listed in " + folder);
}

std::vector<std::string> Sorted(std::vector<std::string> items) {
    std::sort(items.begin(), items.end());
    return items;
}

}  // namespace quorvel::testing
