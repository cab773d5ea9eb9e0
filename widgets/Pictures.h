#pragma once
// Pictures kept in the controls' resources.

#include <QIcon>
#include <QPixmap>
#include <QString>
#include <functional>

class QLabel;
class QWidget;

namespace vantrel {

// Renders an SVG resource at its own size (or the size given).
QPixmap pictureFromResource(const QString& path, QSize size = QSize());
QIcon iconFromResource(const QString& path);
// Gives the label the size of the SVG resource now and draws it when the label is first shown.
void setPictureWhenShown(QLabel* label, const QString& path);
// Runs `work` when `widget` is first shown: what only a tab the user may never open needs is not
// done at the start.
void whenFirstShown(QWidget* widget, std::function<void()> work);

// The program's own icon (the drawing the installed desktop icons are made from), for the title
// bars of its windows; drawn in the sizes title bars and task bars ask for.
QIcon programIcon();

}  // namespace vantrel
