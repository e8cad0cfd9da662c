#include "bids/TsvText.h"

#include "bids/ExportError.h"
#include "bids/Json.h"

#include <algorithm>
#include <set>

namespace solvane::bids {

namespace {

std::vector<std::string> split(std::string_view line) {
    if (!line.empty() && line.back() == '\r')
        line.remove_suffix(1);
    std::vector<std::string> cells;
    for (;;) {
        const std::size_t tab = line.find('\t');
        cells.emplace_back(line.substr(0, tab));
        if (tab == std::string_view::npos)
            return cells;
        line.remove_prefix(tab + 1);
    }
}

} // namespace

std::string cell(std::string_view text) {
    if (text.empty())
        return "n/a";
    std::string out = validUtf8(text);
    std::replace_if(
        out.begin(), out.end(),
        [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == '\x7F'; }, ' ');
    return out;
}

std::string tsvLine(const std::vector<std::string>& cells) {
    std::string line;
    for (std::size_t i = 0; i < cells.size(); ++i)
        line += (i == 0 ? "" : "\t") + cell(cells[i]);
    return line + '\n';
}

std::string withRows(const std::optional<std::string>& existing,
                     const std::vector<std::string>& columns, const std::vector<TsvRow>& rows,
                     const std::string& name) {
    std::string table = existing && !existing->empty() ? *existing : tsvLine(columns);
    const std::string_view header(table.data(), std::min(table.find('\n'), table.size()));
    const std::vector<std::string> present = split(header);
    const auto id = std::find(present.begin(), present.end(), columns.front());
    if (id == present.end())
        throw ExportError(name + " has no column " + columns.front() +
                          ": it is left as it is, and no row can be added to it");
    const auto idColumn = static_cast<std::size_t>(id - present.begin());

    std::set<std::string, std::less<>> ids;
    for (std::size_t at = table.find('\n'); at != std::string::npos && at + 1 < table.size();) {
        const std::size_t end = table.find('\n', at + 1);
        const std::vector<std::string> line = split(std::string_view(table).substr(
            at + 1, end == std::string::npos ? std::string::npos : end - at - 1));
        if (idColumn < line.size())
            ids.insert(line[idColumn]);
        at = end;
    }
    for (const TsvRow& row : rows) {
        const auto value = row.find(columns.front());
        if (value == row.end() || !ids.insert(value->second).second)
            continue;
        if (!table.empty() && table.back() != '\n')
            table += '\n';
        std::vector<std::string> cells;
        for (const std::string& column : present) {
            const auto given = row.find(column);
            cells.push_back(given == row.end() ? std::string() : given->second);
        }
        table += tsvLine(cells);
    }
    return table;
}

} // namespace solvane::bids
