#pragma once
// The ordered list of form fields: the order of the page, the project file and the program.

#include <optional>
#include <vector>

#include "project/FormField.h"

namespace vantrel {

// A move is done as the list view does it: insert a copy, remove the original, select the copy.
struct MovePlan {
  int insertAt = 0;  // may equal the list's length: the copy is appended
  int removeAt = 0;  // index of the original after the insertion
  int selectAt = 0;  // index of the copy after the removal
};

// Nothing when the row cannot move (no row, or the first row moving up).
[[nodiscard]] std::optional<MovePlan> planMoveUp(int rowCount, int row);
// Moving the last row down appends its copy and removes the original: the order stays.
[[nodiscard]] std::optional<MovePlan> planMoveDown(int rowCount, int row);

class FieldList {
 public:
  [[nodiscard]] int size() const { return static_cast<int>(rows_.size()); }
  [[nodiscard]] bool empty() const { return rows_.empty(); }
  [[nodiscard]] const FormField& at(int row) const { return rows_.at(static_cast<size_t>(row)); }
  FormField& at(int row) { return rows_.at(static_cast<size_t>(row)); }
  [[nodiscard]] const std::vector<FormField>& rows() const { return rows_; }

  void append(FormField field) { rows_.push_back(std::move(field)); }
  // A position beyond the end appends.
  void insert(int position, FormField field);
  void remove(int row);
  void clear() { rows_.clear(); }

  // Returns the moved row's new index, or nothing when it does not move.
  [[nodiscard]] std::optional<int> moveUp(int row);
  [[nodiscard]] std::optional<int> moveDown(int row);

  bool operator==(const FieldList&) const = default;

 private:
  std::optional<int> apply(const std::optional<MovePlan>& plan, int row);

  std::vector<FormField> rows_;
};

}  // namespace vantrel
