// SPDX-License-Identifier: MIT
#include "FolderCountText.h"

#include <QStringList>
#include <algorithm>
#include <string>
#include <system_error>

#include "ShownText.h"

namespace quorvel {
namespace {

QString Reason(std::error_code error) {
    if (!error) return QStringLiteral("unknown error");
    return QString::fromLocal8Bit(error.message());
}

QString Line(const ReadFailure& failure) {
    return ShownText(failure.path) + QStringLiteral(": ") + Reason(failure.error);
}

QString Line(const LinkNotEntered& link) {
    const QString target = ShownText(link.target);
    return ShownText(link.path) + QStringLiteral(": ") +
           (link.rule == LinkNotEntered::Rule::LeadsToOwnPath
                ? QStringLiteral("link back to %1, which holds it").arg(target)
                : QStringLiteral("link to the folder listed at %1").arg(target));
}

// A folder whose read had not returned when the scan was stopped.
QString UnansweredLine(const ReadFailure& failure) {
    return ShownText(failure.path) + QStringLiteral(": no answer before the scan was stopped");
}

bool Unanswered(const ReadFailure& failure) {
    return failure.error == std::errc::operation_canceled;
}

// A heading, then one line per item while `budget` lasts, then how many more
// there are.
template <class Item, class LineOf>
void AppendPart(QStringList& lines, const QString& heading, const std::vector<Item>& items,
                std::size_t& budget, LineOf lineOf) {
    if (items.empty()) return;
    lines << heading;
    const std::size_t listed = std::min(items.size(), budget);
    for (std::size_t i = 0; i < listed; ++i) lines << lineOf(items[i]);
    budget -= listed;
    // With none of them listed, the heading's count says it all.
    if (listed > 0 && items.size() > listed) {
        lines << QStringLiteral("and %1 more").arg(items.size() - listed);
    }
}

}  // namespace

FolderCountText DescribeFolderCount(Counter nFolderCount, Counter nFileCount,
                                    std::string_view sRootPath,
                                    const std::vector<ReadFailure>* failures,
                                    const std::vector<LinkNotEntered>* links) {
    static const std::vector<ReadFailure> noFailures;
    static const std::vector<LinkNotEntered> noLinks;
    const std::vector<LinkNotEntered>& notEntered = links ? *links : noLinks;
    // Folders that did not answer are told apart from those that failed: the
    // same folder may well be read another time.
    std::vector<ReadFailure> unread;
    std::vector<ReadFailure> unanswered;
    for (const ReadFailure& failure : failures ? *failures : noFailures) {
        (Unanswered(failure) ? unanswered : unread).push_back(failure);
    }
    const QString count = QString::number(nFolderCount);
    FolderCountText text{count, count, {}};
    const std::size_t marked = unread.size() + notEntered.size() + unanswered.size();
    if (marked == 0) return text;

    // The scanner records the root with a trailing '/', like every folder.
    std::string root(sRootPath);
    if (root.empty() || root.back() != '/') root.push_back('/');
    const bool rootUnread = nFolderCount == 0 && nFileCount == 0 &&
                            std::any_of(unread.begin(), unread.end(),
                                        [&](const ReadFailure& f) { return f.path == root; });
    if (rootUnread) {
        text.caption = text.compactCaption = count + QStringLiteral(" (could not read)");
    } else {
        QStringList marks;
        if (const std::size_t missing = unread.size() + notEntered.size(); missing > 0) {
            marks << (notEntered.empty() ? QStringLiteral("%1 unreadable")
                                         : QStringLiteral("%1 not entered"))
                         .arg(missing);
        }
        if (!unanswered.empty()) marks << QStringLiteral("%1 not answered").arg(unanswered.size());
        text.caption =
            count + QStringLiteral(" (") + marks.join(QStringLiteral(", ")) + QLatin1Char(')');
        text.compactCaption = count + QStringLiteral(" (%1)").arg(marked);
    }

    // The headings keep the first line free of anything that looks like a
    // tag, so Qt shows the tooltip as plain text whatever the paths hold;
    // ShownText keeps each path on its own line.
    QStringList lines;
    std::size_t budget = kListedFolders;
    const auto failureLine = [](const ReadFailure& failure) { return Line(failure); };
    const auto linkLine = [](const LinkNotEntered& link) { return Line(link); };
    AppendPart(lines,
               unanswered.size() == 1
                   ? QStringLiteral("1 folder did not answer:")
                   : QStringLiteral("%1 folders did not answer:").arg(unanswered.size()),
               unanswered, budget, UnansweredLine);
    AppendPart(lines,
               unread.size() == 1 ? QStringLiteral("Could not read 1 folder:")
                                  : QStringLiteral("Could not read %1 folders:").arg(unread.size()),
               unread, budget, failureLine);
    AppendPart(lines,
               notEntered.size() == 1
                   ? QStringLiteral("Did not enter 1 link:")
                   : QStringLiteral("Did not enter %1 links:").arg(notEntered.size()),
               notEntered, budget, linkLine);
    text.details = lines.join(QLatin1Char('\n'));
    return text;
}

}  // namespace quorvel
