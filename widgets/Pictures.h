#pragma once
// Pictures kept in the controls' resources.

#include <QIcon>
#include <QPixmap>
#include <QString>

namespace vantrel {

// Renders an SVG resource at its own size (or the size given).
QPixmap pictureFromResource(const QString& path, QSize size = QSize());
QIcon iconFromResource(const QString& path);

// The program's own icon (the drawing the installed desktop icons are made from), for the title
// bars of its windows; drawn in the sizes title bars and task bars ask for.
QIcon programIcon();

}  // namespace vantrel
