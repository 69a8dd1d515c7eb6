// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>

namespace quorvel::textpane {

// Lines that a pane shows without holding their text: it asks for the few it
// paints or hands out, and keeps only where each group of lines begins. A
// source only grows: a line, once counted, never changes, and lines are
// never taken away. The pane learns of new lines when told
// (TextPane::SourceGrew), not by itself.
class TextPaneSource {
  public:
    // A line's bytes and its UTF-16 units, without its '\n'.
    struct LineSize {
        std::uint64_t bytes = 0;
        std::uint64_t units = 0;
    };

    virtual ~TextPaneSource() = default;

    virtual std::size_t LineCount() const = 0;
    // Appends line `line`: well-formed UTF-8 without any '\n', exactly as
    // many bytes as MeasureLines gives for it.
    virtual void AppendLine(std::size_t line, std::string& out) const = 0;
    // The sizes of the lines from `first` on, one per element of `sizes`,
    // in order: a pane measures every line once, as it is added, in runs.
    virtual void MeasureLines(std::size_t first, std::span<LineSize> sizes) const = 0;
    // Lines [first, last) in order, each valid during its call: for reading
    // much of the text at once (a copy, what assistive technology is told),
    // which a source may do faster than line by line.
    virtual void ForEachLine(std::size_t first, std::size_t last,
                             const std::function<void(std::string_view)>& visit) const {
        std::string line;
        for (std::size_t i = first; i < last; ++i) {
            line.clear();
            AppendLine(i, line);
            visit(line);
        }
    }
};

}  // namespace quorvel::textpane
