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

}  // namespace

FolderCountText DescribeFolderCount(Counter nFolderCount, Counter nFileCount,
                                    std::string_view sRootPath,
                                    const std::vector<ReadFailure>* failures) {
    FolderCountText text{QString::number(nFolderCount), {}};
    if (!failures || failures->empty()) return text;

    // The scanner records the root with a trailing '/', like every folder.
    std::string root(sRootPath);
    if (root.empty() || root.back() != '/') root.push_back('/');
    const bool rootUnread = nFolderCount == 0 && nFileCount == 0 &&
                            std::any_of(failures->begin(), failures->end(),
                                        [&](const ReadFailure& f) { return f.path == root; });
    const std::size_t total = failures->size();
    text.caption += rootUnread ? QStringLiteral(" (could not read)")
                               : QStringLiteral(" (%1 unreadable)").arg(total);

    // The heading keeps the first line free of anything that looks like a
    // tag, so Qt shows the tooltip as plain text whatever the paths hold;
    // ShownText keeps each path on its own line.
    QStringList lines;
    lines << (total == 1 ? QStringLiteral("Could not read 1 folder:")
                         : QStringLiteral("Could not read %1 folders:").arg(total));
    const std::size_t listed = std::min(total, kListedReadFailures);
    for (std::size_t i = 0; i < listed; ++i) {
        const ReadFailure& failure = (*failures)[i];
        lines << ShownText(failure.path) + QStringLiteral(": ") + Reason(failure.error);
    }
    if (total > listed) lines << QStringLiteral("and %1 more").arg(total - listed);
    text.details = lines.join(QLatin1Char('\n'));
    return text;
}

}  // namespace quorvel
