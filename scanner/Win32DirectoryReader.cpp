// SPDX-License-Identifier: MIT
// The directory-reading layer over the Windows API: each folder is listed
// with FindFirstFileExW and FindNextFileW (basic information, large fetches)
// under its full path in the \\?\ long form, so no 260-character limit
// applies; a path may be up to 32,767 UTF-16 units long. Names come back in
// UTF-16 and leave as WTF-8 (Wtf8.h); the root's path goes the other way.
//
// Links: an entry with the directory and the reparse-point attributes (a
// junction, a symbolic link to a folder, a mounted volume) is a link. It
// counts as a folder when it leads to one, and that folder is identified by
// opening it through the link; one that leads nowhere, or to a file, counts
// as a file, as on Linux. A folder's identity is its volume's serial number
// and its file index.
//
// Errors are Windows error codes turned into errno values, in the generic
// category, so that a caller meets the same reasons on every platform.
//
// A listing keeps no state outside itself, so any thread may use it.

#include <windows.h>

#include <cerrno>
#include <cwchar>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include <quorvel/DirectoryReader.h>

#include "Win32Handle.h"
#include "Wtf8.h"

namespace quorvel {
namespace {

// The longest path the long form allows, in UTF-16 units.
constexpr std::size_t kMaxLongPath = 32'767;
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

std::error_code Errno(int value) {
    return {value, std::generic_category()};
}

int ErrnoOf(DWORD code) {
    switch (code) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_INVALID_DRIVE:
        case ERROR_BAD_NETPATH:
        case ERROR_BAD_NET_NAME:
            return ENOENT;
        case ERROR_ACCESS_DENIED:
        case ERROR_SHARING_VIOLATION:
        case ERROR_LOCK_VIOLATION:
            return EACCES;
        case ERROR_DIRECTORY:
            return ENOTDIR;
        case ERROR_INVALID_NAME:
        case ERROR_BAD_PATHNAME:
        case ERROR_INVALID_PARAMETER:
            return EINVAL;
        case ERROR_FILENAME_EXCED_RANGE:
            return ENAMETOOLONG;
        case ERROR_NOT_ENOUGH_MEMORY:
        case ERROR_OUTOFMEMORY:
            return ENOMEM;
        case ERROR_TOO_MANY_OPEN_FILES:
        case ERROR_NO_SYSTEM_RESOURCES:
            return EMFILE;
        case ERROR_CANT_RESOLVE_FILENAME:
            return ELOOP;
        default:
            return EIO;
    }
}

bool IsFolder(DWORD attributes) {
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// What `path` leads to, links followed; nullopt when it cannot be opened.
std::optional<BY_HANDLE_FILE_INFORMATION> InformationOf(const std::wstring& path) {
    const UniqueFileHandle file(::CreateFileW(path.c_str(), 0, kShareAll, nullptr, OPEN_EXISTING,
                                              FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    BY_HANDLE_FILE_INFORMATION information{};
    if (!file || !::GetFileInformationByHandle(file.get(), &information)) return std::nullopt;
    return information;
}

FolderId IdOf(const BY_HANDLE_FILE_INFORMATION& information) {
    return {information.dwVolumeSerialNumber,
            (std::uint64_t{information.nFileIndexHigh} << 32) | information.nFileIndexLow};
}

// The folder's path without its closing '\\', except where that would leave
// a bare drive ("\\?\C:"), which names the volume rather than its root.
std::wstring WithoutClosingSeparator(const std::wstring& folder) {
    if (folder.size() >= 2 && folder[folder.size() - 2] == L':') return folder;
    return folder.substr(0, folder.size() - 1);
}

class Win32FolderListing final : public FolderListing {
  public:
    // `folder` is in the long form and ends in '\\'. Without a search handle
    // the listing is empty.
    Win32FolderListing(std::wstring folder, UniqueFindHandle search, const WIN32_FIND_DATAW& first)
        : folder_(std::move(folder)), search_(std::move(search)), record_(first) {}

    bool Next(DirEntry& entry) override {
        if (!search_) return false;
        if (!std::exchange(holdsFirst_, false) && !::FindNextFileW(search_.get(), &record_)) {
            const DWORD code = ::GetLastError();
            if (code != ERROR_NO_MORE_FILES) error_ = Errno(ErrnoOf(code));
            search_.Reset();
            return false;
        }
        // The system ends every name with a NUL; should one ever fill the
        // field, the whole field is the name.
        const std::wstring_view name(record_.cFileName,
                                     ::wcsnlen(record_.cFileName, std::size(record_.cFileName)));
        name_.clear();
        wtf8::AppendFromUtf16(name, name_);
        entry.name = name_;
        Describe(name, entry);
        return true;
    }

    std::error_code Error() const override { return error_; }

    FolderId Identity() override {
        if (!identity_) {
            const auto information = InformationOf(WithoutClosingSeparator(folder_));
            identity_ = information ? IdOf(*information) : FolderId{};
        }
        return *identity_;
    }

    std::unique_ptr<FolderListing> OpenChild(std::string_view name,
                                             std::error_code& error) override;

  private:
    // Fills everything but the name.
    void Describe(std::wstring_view name, DirEntry& entry) const {
        const DWORD attributes = record_.dwFileAttributes;
        entry.isFolder = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        entry.isLink = (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
        entry.linkTarget = {};
        if (!entry.isFolder || !entry.isLink) return;
        std::wstring path = folder_;
        path.append(name);
        const auto target = InformationOf(path);
        if (target && IsFolder(target->dwFileAttributes)) {
            entry.linkTarget = IdOf(*target);
        } else {
            entry.isFolder = false;
        }
    }

    const std::wstring folder_;
    UniqueFindHandle search_;
    WIN32_FIND_DATAW record_;
    bool holdsFirst_ = true;
    std::string name_;
    std::error_code error_;
    std::optional<FolderId> identity_;
};

// Lists `folder` (long form, ending in '\\').
std::unique_ptr<FolderListing> OpenFolder(std::wstring folder, std::error_code& error) {
    if (folder.size() + 1 > kMaxLongPath) {
        error = Errno(ENAMETOOLONG);
        return nullptr;
    }
    const std::wstring pattern = folder + L'*';
    WIN32_FIND_DATAW first{};
    UniqueFindHandle search(::FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &first,
                                               FindExSearchNameMatch, nullptr,
                                               FIND_FIRST_EX_LARGE_FETCH));
    if (!search) {
        // The code alone does not tell: Windows versions (and wine) answer a
        // path that names a file with different ones, and a drive root, which
        // has no "." or "..", answers "file not found" when it is empty.
        const DWORD code = ::GetLastError();
        const DWORD attributes = ::GetFileAttributesW(WithoutClosingSeparator(folder).c_str());
        if (IsFolder(attributes) && code == ERROR_FILE_NOT_FOUND) {
            return std::make_unique<Win32FolderListing>(std::move(folder), UniqueFindHandle(),
                                                        first);
        }
        error = attributes != INVALID_FILE_ATTRIBUTES && !IsFolder(attributes)
                    ? Errno(ENOTDIR)
                    : Errno(ErrnoOf(code));
        return nullptr;
    }
    return std::make_unique<Win32FolderListing>(std::move(folder), std::move(search), first);
}

std::unique_ptr<FolderListing> Win32FolderListing::OpenChild(std::string_view name,
                                                             std::error_code& error) {
    std::wstring child = folder_;
    if (!wtf8::AppendToUtf16(name, child)) {
        error = Errno(EINVAL);
        return nullptr;
    }
    child += L'\\';
    return OpenFolder(std::move(child), error);
}

// `path` made absolute by the system's rules (the current drive and folder,
// "." and ".." resolved) and put in the long form, ending in '\\'.
std::wstring LongFormOf(const std::wstring& path, std::error_code& error) {
    std::wstring full(MAX_PATH, L'\0');
    for (;;) {
        const DWORD needed =
            ::GetFullPathNameW(path.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
        if (needed == 0) {
            error = Errno(ErrnoOf(::GetLastError()));
            return {};
        }
        if (needed < full.size()) {
            full.resize(needed);
            break;
        }
        full.resize(needed);  // `needed` counts the closing NUL here
    }
    if (full.back() != L'\\') full += L'\\';
    if (full.starts_with(L"\\\\?\\") || full.starts_with(L"\\\\.\\")) return full;
    if (full.starts_with(L"\\\\")) return L"\\\\?\\UNC\\" + full.substr(2);
    return L"\\\\?\\" + full;
}

class Win32Reader final : public DirectoryReader {
  public:
    std::unique_ptr<FolderListing> OpenRoot(const std::string& path,
                                            std::error_code& error) override {
        // A NUL would end the path early and list another folder under this
        // one's name; bytes that are not WTF-8 name no folder at all.
        std::wstring wide;
        if (path.find('\0') != std::string::npos || !wtf8::AppendToUtf16(path, wide)) {
            error = Errno(EINVAL);
            return nullptr;
        }
        std::wstring folder = LongFormOf(wide, error);
        if (folder.empty()) return nullptr;
        return OpenFolder(std::move(folder), error);
    }
};

}  // namespace

std::shared_ptr<DirectoryReader> SystemDirectoryReader() {
    static const auto reader = std::make_shared<Win32Reader>();
    return reader;
}

}  // namespace quorvel
