#include "gui/Clock.h"

namespace vantrel {
namespace {

DateSource& currentSource() {
  static DateSource source;
  return source;
}

}  // namespace

QDate currentLocalDate() {
  const auto& source = currentSource();
  return source ? source() : QDate::currentDate();
}

DateSource setDateSource(DateSource source) {
  auto previous = std::move(currentSource());
  currentSource() = std::move(source);
  return previous;
}

}  // namespace vantrel
