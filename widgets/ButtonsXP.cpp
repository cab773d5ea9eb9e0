#include "widgets/ButtonsXP.h"

#include <QDialog>
#include <QStyleOptionButton>
#include <QStyleOptionFocusRect>
#include <QStylePainter>
#include <algorithm>

#include "widgets/Pictures.h"

namespace vantrel {
namespace {

int imagesInStrip(const QPixmap& strip) {
  if (strip.isNull() || strip.height() <= 0 || strip.width() % strip.height() != 0) return 1;
  return std::clamp(strip.width() / strip.height(), 1, TBitBtnXP::kMaxGlyphs);
}

}  // namespace

TBitBtnXP::TBitBtnXP(QWidget* parent) : QPushButton(parent) {
  // Connected first, so the dialog's result is settled before the owner's own handlers run.
  connect(this, &QPushButton::clicked, this, &TBitBtnXP::endDialog);
}

TBitBtnXP::TBitBtnXP(const QString& caption, QWidget* parent) : TBitBtnXP(parent) {
  setText(caption);
}

TBitBtnXP::TBitBtnXP(Kind kind, QWidget* parent) : TBitBtnXP(parent) { setKind(kind); }

void TBitBtnXP::setGlyph(const QPixmap& strip) { setGlyph(strip, imagesInStrip(strip)); }

void TBitBtnXP::setGlyph(const QPixmap& strip, int numGlyphs) {
  glyph_ = strip;
  setNumGlyphs(numGlyphs);
}

void TBitBtnXP::setNumGlyphs(int numGlyphs) {
  numGlyphs_ = std::clamp(numGlyphs, 1, kMaxGlyphs);
  updateGeometry();
  update();
}

void TBitBtnXP::setSpacing(int spacing) {
  spacing_ = std::max(0, spacing);
  updateGeometry();
  update();
}

void TBitBtnXP::setKind(Kind kind) {
  kind_ = kind;
  switch (kind) {
    case Kind::OK:
      setText(QStringLiteral("OK"));
      setGlyph(pictureFromResource(QStringLiteral(":/controls/pictures/glyph_ok.svg")));
      modalResult_ = ModalResult::OK;
      setDefault(true);
      break;
    case Kind::Cancel:
      setText(QStringLiteral("Abbrechen"));
      setGlyph(pictureFromResource(QStringLiteral(":/controls/pictures/glyph_cancel.svg")));
      modalResult_ = ModalResult::Cancel;
      break;
    case Kind::Custom:
      break;
  }
}

void TBitBtnXP::endDialog() {
  auto* dialog = qobject_cast<QDialog*>(window());
  if (!dialog) return;
  if (modalResult_ == ModalResult::OK) dialog->accept();
  if (modalResult_ == ModalResult::Cancel) dialog->reject();
}

QPixmap TBitBtnXP::glyphFor(GlyphState state) const {
  if (glyph_.isNull()) return QPixmap();
  const QSize size = glyphSize();
  const auto imageOf = [&](int index) {
    return glyph_.copy(QRect(QPoint(index * size.width(), 0), size));
  };
  const int index = static_cast<int>(state);
  if (index < numGlyphs_) return imageOf(index);
  if (state == GlyphState::Disabled) {
    QStyleOptionButton option;
    option.initFrom(this);
    return style()->generatedIconPixmap(QIcon::Disabled, imageOf(0), &option);
  }
  return imageOf(0);
}

QPixmap TBitBtnXP::currentGlyph() const {
  if (!isEnabled()) return glyphFor(GlyphState::Disabled);
  if (isDown()) return glyphFor(GlyphState::Pressed);
  if (isChecked()) return glyphFor(GlyphState::Down);
  return glyphFor(GlyphState::Normal);
}

QSize TBitBtnXP::glyphSize() const {
  if (glyph_.isNull()) return QSize(0, 0);
  return QSize(glyph_.width() / numGlyphs_, glyph_.height());
}

QSize TBitBtnXP::captionSize() const {
  if (text().isEmpty()) return QSize(0, 0);
  return fontMetrics().size(Qt::TextShowMnemonic, text());
}

QRect TBitBtnXP::labelArea() const {
  QStyleOptionButton option;
  initStyleOption(&option);
  return style()->subElementRect(QStyle::SE_PushButtonContents, &option, this);
}

QRect TBitBtnXP::glyphRect() const {
  const QSize glyph = glyphSize();
  const QSize caption = captionSize();
  const int gap = glyph.isEmpty() || caption.isEmpty() ? 0 : spacing_;
  const QRect area = labelArea();
  const int left = area.left() + (area.width() - (glyph.width() + gap + caption.width())) / 2;
  const int top = area.top() + (area.height() - glyph.height()) / 2;
  return QRect(QPoint(left, top), glyph);
}

QRect TBitBtnXP::captionRect() const {
  const QSize glyph = glyphSize();
  const QSize caption = captionSize();
  const int gap = glyph.isEmpty() || caption.isEmpty() ? 0 : spacing_;
  const QRect area = labelArea();
  const int left = glyphRect().left() + glyph.width() + gap;
  const int top = area.top() + (area.height() - caption.height()) / 2;
  return QRect(QPoint(left, top), caption);
}

QSize TBitBtnXP::sizeHint() const {
  const QSize glyph = glyphSize();
  const QSize caption = captionSize();
  const int gap = glyph.isEmpty() || caption.isEmpty() ? 0 : spacing_;
  const QSize contents(glyph.width() + gap + caption.width(),
                       std::max({glyph.height(), caption.height(), fontMetrics().height()}));
  QStyleOptionButton option;
  initStyleOption(&option);
  return style()->sizeFromContents(QStyle::CT_PushButton, &option, contents, this);
}

QSize TBitBtnXP::minimumSizeHint() const { return sizeHint(); }

void TBitBtnXP::paintEvent(QPaintEvent* /*event*/) {
  QStylePainter painter(this);
  QStyleOptionButton option;
  initStyleOption(&option);
  // The look has a pressed, a disabled and a normal state, nothing for the pointer passing by.
  option.state &= ~QStyle::State_MouseOver;
  option.text.clear();
  option.icon = QIcon();
  painter.drawControl(QStyle::CE_PushButtonBevel, option);

  QRect glyph = glyphRect();
  QRect caption = captionRect();
  if (option.state & (QStyle::State_Sunken | QStyle::State_On)) {
    const QPoint shift(style()->pixelMetric(QStyle::PM_ButtonShiftHorizontal, &option, this),
                       style()->pixelMetric(QStyle::PM_ButtonShiftVertical, &option, this));
    glyph.translate(shift);
    caption.translate(shift);
  }
  if (!glyph.isEmpty()) painter.drawPixmap(glyph.topLeft(), currentGlyph());
  if (!caption.isEmpty()) {
    int flags = Qt::AlignLeft | Qt::AlignVCenter | Qt::TextShowMnemonic;
    if (!style()->styleHint(QStyle::SH_UnderlineShortcut, &option, this))
      flags |= Qt::TextHideMnemonic;
    style()->drawItemText(&painter, caption, flags, palette(), isEnabled(), text(),
                          QPalette::ButtonText);
  }
  if (option.state & QStyle::State_HasFocus) {
    QStyleOptionFocusRect focus;
    focus.QStyleOption::operator=(option);
    focus.rect = style()->subElementRect(QStyle::SE_PushButtonFocusRect, &option, this);
    painter.drawPrimitive(QStyle::PE_FrameFocusRect, focus);
  }
}

}  // namespace vantrel
