// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

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
};

}  // namespace quorvel::textpane
