#pragma once
// The rows a rule's selection returned: row 0 holds the column headings, rows 1 to
// RowCount() the values; columns count from 1. Cells outside the table read "".

#include <string>
#include <utility>
#include <vector>

namespace sproutsmith::rules {

class ResultTable {
 public:
  // Starts a new result: sets the headings and drops every row.
  void SetHeadings(std::vector<std::string> headings) { cells_.assign(1, std::move(headings)); }
  // REQUIRES: headings were set. A short row is padded with "" to the column count.
  void AddRow(std::vector<std::string> values) {
    values.resize(cells_.empty() ? 0 : cells_[0].size());
    cells_.push_back(std::move(values));
  }
  void Clear() { cells_.clear(); }

  int RowCount() const { return cells_.empty() ? 0 : static_cast<int>(cells_.size()) - 1; }
  int ColumnCount() const { return cells_.empty() ? 0 : static_cast<int>(cells_[0].size()); }

  const std::string& Heading(int column) const { return Cell(0, column); }
  const std::string& Cell(int row, int column) const {
    static const std::string kEmpty;
    if (row < 0 || row >= static_cast<int>(cells_.size())) return kEmpty;
    if (column < 1 || column > static_cast<int>(cells_[row].size())) return kEmpty;
    return cells_[row][column - 1];
  }
  // REQUIRES: 0 <= row <= RowCount(), 1 <= column <= ColumnCount().
  void SetCell(int row, int column, std::string value) {
    cells_.at(row).at(column - 1) = std::move(value);
  }

 private:
  std::vector<std::vector<std::string>> cells_;
};

}  // namespace sproutsmith::rules
