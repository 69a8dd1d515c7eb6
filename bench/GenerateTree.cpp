// SPDX-License-Identifier: MIT
// quorvel-bench-tree: builds the benchmark tree, deterministically from a seed.
//
//   quorvel-bench-tree [--seed N] [--entries N | --flat N] FOLDER
//
// --flat N: instead of the tree, one folder holding N empty subfolders.
//
// Beside FOLDER it keeps FOLDER.stamp, written only once the tree is complete;
// when the stamp already names the same seed, size and generator version, the
// tree is left as it is. The stamp's line (folders=..., files=...) is printed
// on standard output either way, so callers learn the expected counts.
//
// FOLDER is deleted and rebuilt only when a stamp of ours says it is a
// benchmark tree; an unknown non-empty folder is refused, never deleted.

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <string_view>

#include "TreePlan.h"
#include "TreeWriter.h"

namespace {

namespace fs = std::filesystem;
using quorvel::bench::TreePlan;
using quorvel::bench::TreeWriter;

// Raise when TreePlan, NameMaker or TreeWriter change what they produce, so
// that trees built by an older generator are rebuilt.
constexpr int kGeneratorVersion = 2;
constexpr std::string_view kStampHead = "quorvel-bench-tree ";

struct Options {
    std::uint64_t seed = 20240601;
    std::uint32_t entries = 1'000'000;
    std::uint32_t flat = 0;
    std::string folder;
};

[[noreturn]] void Usage() {
    std::cerr << "usage: quorvel-bench-tree [--seed N] [--entries N | --flat N] FOLDER\n";
    std::exit(2);
}

Options Parse(int argc, char** argv) {
    Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string_view a = argv[i];
        if ((a == "--seed" || a == "--entries" || a == "--flat") && i + 1 < argc) {
            const unsigned long long v = std::strtoull(argv[++i], nullptr, 10);
            if (a == "--seed") {
                o.seed = v;
            } else {
                if (v > 100'000'000ULL) Usage();
                (a == "--flat" ? o.flat : o.entries) = static_cast<std::uint32_t>(v);
            }
        } else if (!a.empty() && a[0] != '-' && o.folder.empty()) {
            o.folder = a;
        } else {
            Usage();
        }
    }
    while (o.folder.size() > 1 && o.folder.back() == '/') o.folder.pop_back();
    if (o.folder.empty() || o.folder == "/") Usage();
    return o;
}

std::string ReadFirstLine(const fs::path& file) {
    std::ifstream in(file);
    std::string line;
    std::getline(in, line);
    return line;
}

std::string StampLine(const Options& o, const TreePlan& plan) {
    std::ostringstream s;
    s << kStampHead << "version=" << kGeneratorVersion << " seed=" << o.seed
      << " entries=" << o.entries << " folders=" << plan.FolderCount()
      << " files=" << plan.FileCount() << " maxdepth=" << plan.MaxDepth();
    return s.str();
}

std::string FlatStampLine(const Options& o) {
    std::ostringstream s;
    s << kStampHead << "version=" << kGeneratorVersion << " seed=" << o.seed << " flat=" << o.flat
      << " folders=" << o.flat << " files=0 maxdepth=1";
    return s.str();
}

int Run(const Options& o) {
    const fs::path folder = o.folder;
    const fs::path stamp = o.folder + ".stamp";
    // Planning takes milliseconds; it gives the stamp its expected counts.
    const TreePlan plan(o.seed, o.flat ? 0 : o.entries);
    const std::string wanted = o.flat ? FlatStampLine(o) : StampLine(o, plan);

    const bool folderExists = fs::exists(folder);
    const std::string found = fs::exists(stamp) ? ReadFirstLine(stamp) : std::string();
    if (folderExists && found == wanted) {
        std::cerr << "quorvel-bench-tree: " << o.folder << " is up to date\n";
        std::cout << wanted << '\n';
        return 0;
    }
    if (folderExists) {
        if (found.starts_with(kStampHead)) {
            std::cerr << "quorvel-bench-tree: removing the old tree at " << o.folder << '\n';
            fs::remove(stamp);
            fs::remove_all(folder);
        } else if (!fs::is_directory(folder) || !fs::is_empty(folder)) {
            std::cerr << "quorvel-bench-tree: " << o.folder
                      << " exists and is not a benchmark tree; choose another folder\n";
            return 1;
        }
    }
    fs::remove(stamp);
    fs::create_directories(folder);

    const auto start = std::chrono::steady_clock::now();
    if (o.flat) {
        std::cerr << "quorvel-bench-tree: writing " << o.flat << " folders to " << o.folder << '\n';
        quorvel::bench::WriteFlatFolder(o.folder, o.flat, o.seed);
    } else {
        std::cerr << "quorvel-bench-tree: writing " << plan.FolderCount() << " folders and "
                  << plan.FileCount() << " files to " << o.folder << '\n';
        TreeWriter(plan, o.seed).Write(o.folder);
    }
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    std::cerr << "quorvel-bench-tree: done in " << took.count() << " s\n";

    // Written last, and atomically: an interrupted run leaves no stamp, so
    // the next run rebuilds instead of trusting a partial tree.
    const fs::path partial = o.folder + ".stamp.partial";
    {
        std::ofstream out(partial, std::ios::trunc);
        out << wanted << '\n';
        out.close();
        if (!out) throw std::runtime_error("cannot write " + partial.string());
    }
    fs::rename(partial, stamp);
    std::cout << wanted << '\n';
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    try {
        return Run(Parse(argc, argv));
    } catch (const std::exception& e) {
        std::cerr << "quorvel-bench-tree: " << e.what() << '\n';
        return 1;
    }
}
