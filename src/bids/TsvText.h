#pragma once
// The tab-separated tables of a BIDS dataset: cells that cannot break a table (no tab, no
// line break, no control character, valid UTF-8, n/a for nothing), and the tables that
// several exports add to (participants.tsv, sessions.tsv), which keep every byte, column
// and row they hold and gain rows only for the ids they lack.

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace solvane::bids {

/// `text` as one cell: "n/a" when empty, control characters (tabs, line breaks) as blanks.
std::string cell(std::string_view text);
/// The cells as one line of a table, with its line end.
std::string tsvLine(const std::vector<std::string>& cells);

/// One row of a table that is added to: values by column name; the first column of the
/// table is its id.
using TsvRow = std::map<std::string, std::string, std::less<>>;

/// The table `existing` (nothing when there is none yet) with `rows` appended whose id it
/// does not hold yet. A table that is made has `columns`; an existing one keeps its own,
/// and a row gives n/a in the columns it has no value for. Throws ExportError, naming
/// `name`, when the existing table has no column of the id.
std::string withRows(const std::optional<std::string>& existing,
                     const std::vector<std::string>& columns, const std::vector<TsvRow>& rows,
                     const std::string& name);

} // namespace solvane::bids
