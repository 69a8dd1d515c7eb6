// SPDX-License-Identifier: MIT
#include "ScanPanes.h"

#include "TextPane.h"

namespace quorvel {

ScanPanes::ScanPanes(const clsDirwalk& scanner, TextPane& foldersFound, TextPane& filesFound)
    : scanner_(scanner), folders_{foldersFound, nullptr}, files_{filesFound, nullptr} {}

bool ScanPanes::Bind() {
    if (lists_) return true;
    if (!scanner_.Folders()) return false;
    lists_ = std::make_shared<ScanLists>(scanner_);
    for (Found* found : {&folders_, &files_}) {
        found->lines =
            std::make_shared<ScanLines>(lists_, found == &folders_ ? ScanLines::Kind::FoldersFound
                                                                   : ScanLines::Kind::FilesFound);
        found->pane.AppendSource(std::make_unique<textpane::TextPaneSourceRows>(found->lines));
    }
    folderList_ = ListRows(ScanLines::Kind::FolderList);
    fileList_ = ListRows(ScanLines::Kind::FileList);
    return true;
}

std::unique_ptr<textpane::TextPaneSourceRows> ScanPanes::ListRows(ScanLines::Kind kind) {
    return std::make_unique<textpane::TextPaneSourceRows>(
        std::make_shared<ScanLines>(lists_, kind));
}

bool ScanPanes::ShowFound(std::string_view name, bool isFolder, Counter number) {
    if (!Bind()) return false;
    Found& found = isFolder ? folders_ : files_;
    const auto line = static_cast<std::size_t>(number) - 1;
    const bool next =
        !found.byHand && number >= 1 && line == found.lines->LineCount() &&
        (isFolder ? line < lists_->FoldersByNumber().size() &&
                        lists_->Folders().PartOf(lists_->FoldersByNumber()[line]).name == name
                  : line < lists_->Files().size() && lists_->Files().PartOf(line).name == name);
    if (!next) {
        found.byHand = true;
        return false;
    }
    found.lines->Add();
    found.pane.SourceGrew();
    return true;
}

void ScanPanes::MeasureLists() {
    if (!Bind() || !folderList_ || !fileList_) return;
    folderList_->ExtendToSource();
    fileList_->ExtendToSource();
}

void ScanPanes::ShowFolders(TextPane& pane) {
    if (!Bind() || !folderList_) return;
    folderList_->ExtendToSource();
    pane.AppendSource(std::move(folderList_));
}

void ScanPanes::ShowFiles(TextPane& pane) {
    if (!Bind() || !fileList_) return;
    fileList_->ExtendToSource();
    pane.AppendSource(std::move(fileList_));
}

}  // namespace quorvel
