#pragma once
// Pictures kept in the controls' resources.

#include <QIcon>
#include <QPixmap>
#include <QString>

namespace vantrel {

// Renders an SVG resource at its own size (or the size given).
QPixmap pictureFromResource(const QString& path, QSize size = QSize());
QIcon iconFromResource(const QString& path);

}  // namespace vantrel
