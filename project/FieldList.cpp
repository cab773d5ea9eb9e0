#include "project/FieldList.h"

#include <algorithm>
#include <stdexcept>

namespace vantrel {

std::optional<MovePlan> planMoveUp(int rowCount, int row) {
  if (row <= 0 || row >= rowCount) return std::nullopt;
  return MovePlan{row - 1, row + 1, row - 1};
}

std::optional<MovePlan> planMoveDown(int rowCount, int row) {
  if (row < 0 || row >= rowCount) return std::nullopt;
  const int insertAt = std::min(row + 2, rowCount);
  return MovePlan{insertAt, row, insertAt - 1};
}

void FieldList::insert(int position, FormField field) {
  if (position < 0) throw std::out_of_range("FieldList::insert");
  const auto at = std::min(static_cast<size_t>(position), rows_.size());
  rows_.insert(rows_.begin() + static_cast<std::ptrdiff_t>(at), std::move(field));
}

void FieldList::remove(int row) {
  if (row < 0 || row >= size()) throw std::out_of_range("FieldList::remove");
  rows_.erase(rows_.begin() + row);
}

std::optional<int> FieldList::moveUp(int row) { return apply(planMoveUp(size(), row), row); }

std::optional<int> FieldList::moveDown(int row) { return apply(planMoveDown(size(), row), row); }

std::optional<int> FieldList::apply(const std::optional<MovePlan>& plan, int row) {
  if (!plan) return std::nullopt;
  FormField copy = at(row);
  insert(plan->insertAt, std::move(copy));
  remove(plan->removeAt);
  return plan->selectAt;
}

}  // namespace vantrel
