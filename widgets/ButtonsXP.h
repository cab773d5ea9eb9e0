#pragma once
// TBitBtnXP: a push button that shows a glyph beside its caption and is drawn by the
// platform's style. The glyph comes as a strip of one to four images of equal width, one per
// state: normal, disabled, pressed, held down (checked). A missing disabled image is made
// from the normal one; a missing pressed or held-down image is the normal one.

#include <QPixmap>
#include <QPushButton>

namespace vantrel {

class TBitBtnXP : public QPushButton {
  Q_OBJECT
  Q_PROPERTY(QPixmap Glyph READ Glyph WRITE setGlyph)
  Q_PROPERTY(int NumGlyphs READ NumGlyphs WRITE setNumGlyphs)
  Q_PROPERTY(int Spacing READ Spacing WRITE setSpacing)

 public:
  // Predefined buttons: Custom leaves caption, glyph and result to the caller.
  enum class Kind { Custom, OK, Cancel };
  // What a click does to the dialog the button sits in.
  enum class ModalResult { None, OK, Cancel };
  enum class GlyphState { Normal = 0, Disabled = 1, Pressed = 2, Down = 3 };

  static constexpr int kMaxGlyphs = 4;
  static constexpr int kDefaultSpacing = 4;

  explicit TBitBtnXP(QWidget* parent = nullptr);
  explicit TBitBtnXP(const QString& caption, QWidget* parent = nullptr);
  TBitBtnXP(Kind kind, QWidget* parent = nullptr);

  QPixmap Glyph() const { return glyph_; }
  // Takes the strip; its number of images is guessed from its proportions (width a multiple
  // of the height), as for square glyphs.
  void setGlyph(const QPixmap& strip);
  // Takes the strip with a stated number of images, 1 to 4.
  void setGlyph(const QPixmap& strip, int numGlyphs);
  int NumGlyphs() const { return numGlyphs_; }
  void setNumGlyphs(int numGlyphs);
  int Spacing() const { return spacing_; }
  void setSpacing(int spacing);

  Kind kind() const { return kind_; }
  void setKind(Kind kind);
  ModalResult modalResult() const { return modalResult_; }

  // The image drawn for a state, and the one for the button's state now.
  QPixmap glyphFor(GlyphState state) const;
  QPixmap currentGlyph() const;
  // Where glyph and caption are drawn, the pair centred in the button's contents (before
  // the style shifts a pressed button's contents).
  QRect glyphRect() const;
  QRect captionRect() const;

  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  void endDialog();
  QSize glyphSize() const;
  QSize captionSize() const;
  QRect labelArea() const;

  QPixmap glyph_;
  int numGlyphs_ = 1;
  int spacing_ = kDefaultSpacing;
  Kind kind_ = Kind::Custom;
  ModalResult modalResult_ = ModalResult::None;
};

}  // namespace vantrel
