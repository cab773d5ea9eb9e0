#pragma once
// The GUI tests of the tool's look: themed glyph buttons, the about box, fonts and pictures.

#include <QObject>

namespace vantrel::test {

class TestLook : public QObject {
  Q_OBJECT
 private slots:
  void glyphStripIsCutIntoOneImagePerState();
  void glyphFollowsTheButtonsState();
  void glyphSitsLeftOfTheCaptionAndThePairIsCentred();
  void kindOkIsTheDefaultButtonThatAcceptsItsDialog();
  void kindCancelRejectsAndCustomButtonsLeaveTheDialogOpen();
  void aboutBoxHasItsTitleSizeAndTexts();
  void aboutBoxShowsTheYearOfItsCreation();
  void aboutBoxIsCentredOnTheScreenNotOverItsOwner();
  void aboutBoxButtonOpensTheMakersAddressAndStaysOpen();
  void aboutBoxClosesWithItsOkButton();
  void layoutFontsMapToInstalledNeighbours();
  void everyPictureRendersAtItsSize();
};

}  // namespace vantrel::test
