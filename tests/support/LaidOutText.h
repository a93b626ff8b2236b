// A laid-out document's text, one string per laid-out line: each line of a
// text section as the line breaker cut it (images and controls left out,
// trailing blanks dropped, leading blanks kept, since they show), and for
// a table row its cells side by side, line k of each cell joined by a TAB.
// Sections without text (gaps, rules) give no line. Used by render_html
// and by tests that check where lines break.
#pragma once

#include <algorithm>
#include <string>
#include <vector>

#include "htmlview/HtmlDocument.h"
#include "htmlview/HtmlTables.h"
#include "htmlview/HtmlTextSection.h"

inline std::vector<std::string> LaidOutLines(const TCell& cell);

inline std::vector<std::string> LaidOutLines(const TSectionBase& section)
{
    std::vector<std::string> lines;
    if (const auto* table = dynamic_cast<const ThtmlTable*>(&section)) {
        const auto caption = [&] {
            if (table->Caption)
                for (std::string& line : LaidOutLines(*table->Caption->Cell))
                    lines.push_back(std::move(line));
        };
        if (table->TopCaption)
            caption();
        for (const auto& row : table->Rows) {
            std::vector<std::vector<std::string>> cells;
            std::size_t tallest = 0;
            for (const auto& cell : *row) {
                if (cell->Filler() || cell->RowSpan == 0)
                    continue;
                cells.push_back(LaidOutLines(*cell->Cell));
                tallest = std::max(tallest, cells.back().size());
            }
            for (std::size_t k = 0; k < tallest; ++k) {
                std::string line;
                for (std::size_t c = 0; c < cells.size(); ++c) {
                    if (c > 0)
                        line += '\t';
                    if (k < cells[c].size())
                        line += cells[c][k];
                }
                lines.push_back(line);
            }
        }
        if (!table->TopCaption)
            caption();
        return lines;
    }
    const auto* text = dynamic_cast<const TSection*>(&section);
    if (!text)
        return lines;
    for (const LineRec& rec : text->Lines) {
        std::string line;
        for (int i = rec.Start; i < rec.Start + rec.Ln && i < int(text->Buff.size()); ++i) {
            const char c = text->Buff[std::size_t(i)];
            if (c != ImagePlaceholder && c != ControlPlaceholder && c != '\0')
                line += c;
        }
        line.erase(line.find_last_not_of(' ') + 1);
        lines.push_back(line);
    }
    return lines;
}

inline std::vector<std::string> LaidOutLines(const TCell& cell)
{
    std::vector<std::string> lines;
    for (const auto& section : cell)
        for (std::string& line : LaidOutLines(*section))
            lines.push_back(std::move(line));
    return lines;
}
