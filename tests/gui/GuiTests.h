#pragma once
// The GUI test classes; main() in GuiTestMain.cpp runs them all.

#include <QObject>

namespace vantrel::test {

class TestControls : public QObject {
  Q_OBJECT
 private slots:
  void spinEditTakesOnlyDigitsAndSigns();
  void spinEditReadsAsTypedUntilItLosesTheFocus();
  void spinEditTextThatIsNoNumberReadsAsTheLowerLimit();
  void spinEditLimitsApplyWhenTheProgramSetsAValue();
  void textBoxesRefuseWhatWindows1252CannotHold();
  void refusedCharacterIsExplainedUnderTheBox();
  void settingsLabelKeepsTheAddressOnOneLine();
  void textBoxesWithoutALimitTakeMoreThan32767Characters();
  void imageBtnShowsPressedOnlyWhileHeldOverIt();
  void imageBtnRightPressShowsPressedButNeverClicks();
};

class TestAnswers : public QObject {
  Q_OBJECT
 private slots:
  void knownAnswersShowAsTableAndChartsWithTheFormsCaptions();
  void tableGoesOutAsCsvAndReadsBackTheSame();
  void reportGoesOutAsPdfWithTitleCountsAndCaptions();
  void cancelStopsALongRead();
  void emptyTableShowsItsWholeHeaderAndEscapeCloses();
  void surveysAreChosenAndPostedTextStaysPlain();
};

class TestMainForm : public QObject {
  Q_OBJECT
 private slots:
  void programFolderIsTheExecutablesFolder();
  void startsWithTheThreeTabsAndTheirStartValues();
  void closingAlwaysAsksAndCancelKeepsTheWindow();
  void endeButtonClosesThroughTheSameQuestion();
  void placementAndAutoStartSurviveARestart();
  void placementIsWrittenPlainAndReadInBothForms();
  void restoredPlacementKeepsTheWindowOnTheScreen();
  void maximizedWindowKeepsItsNormalOuterRectangle();
  void progressBarGrowsInPlaceAndShrinksByRepaint();
  void progressReachesTheWindowAsAPostedEvent();
  void generalErrorHandlerShowsTheExceptionAndCarriesOn();
  void handlersConnectedThroughTheGuardReportWhatTheyThrow();
  void wwwButtonOpensTheMakersAddress();
  void ueberButtonShowsANewAboutBoxEachTime();
  void outsideSendersReportProgressOverTheSessionBus();
  void qtsOwnTextsAreGerman();
};

class TestFieldList : public QObject {
  Q_OBJECT
 private slots:
  void newFieldAppendsWhatTheEditorHolds();
  void newFieldAfterACancelledEditShowsThatRowsValues();
  void editWritesBackInPlaceAndKeepsTheSelection();
  void editOfAnUnknownTypeKeepsTheEditorsType();
  void withoutSelectionNothingHappens();
  void deleteAsksAndOnlyOkRemoves();
  void escapePressesDeleteOnlyOnTheFirstTab();
  void movesFollowTheSelectedRow();
  void nameColumnIsEditedInPlaceUnfiltered();
  void doubleClickEditsTheSelectedRow();
  void doubleClickOnTheSelectedNameOpensOnlyTheEditor();
};

class TestFieldEditor : public QObject {
  Q_OBJECT
 private slots:
  void startsWithItsInitialValuesAndTabOrder();
  void nameFilterNoticeThenCloses();
  void nameThatFiltersToNothingGivesBothMessages();
  void emptyNameGivesOnlyTheNameMessage();
  void optionFieldsAndCheckBoxesNeedContent();
  void cancelClosesWithoutAnyCheck();
  void spinEditConfirmedWithEnterKeepsTheTypedText();
  void spinEditConfirmedWithAClickIsBroughtIntoItsLimits();
  void sizesConfirmedWithEnterAreStoredAsTypedInTheActiveWindow();
  void opensCentredOnTheScreenWhereverTheMainWindowIs();
};

class TestProjectCommands : public QObject {
  Q_OBJECT
 private slots:
  void newResetsTheProjectAfterAsking();
  void saveAfterNewAsksForANameThenSavesInPlace();
  void openReadsEverythingBackAndNamesTheProject();
  void surveyKeyIsProposedKeptPerProjectFileAndPosted();
  void failedOpenChangesNothingOnScreen();
  void failedSaveKeepsNameTitleAndOldFile();
  void sizesAreSavedAsTypedBeforeConfirming();
  void sizesAreSavedAsTypedWhileAFileDialogHasTheFocus();
};

class TestPreview : public QObject {
  Q_OBJECT
 private slots:
  void nothingIsShownBeforeThePreviewIsAskedFor();
  void selectingThePreviewRewritesAndShowsThePage();
  void homeButtonRegeneratesAndReloadDoesNot();
  void pageThatCannotBeWrittenIsReportedAndNotShown();
  void f5ReloadsWhatThePreviewShows();
  void tabGoesThroughThePageBetweenItsButtonsAndTheBottomBar();
};

class TestKeyboard : public QObject {
  Q_OBJECT
 private slots:
  void toolBarCommandsHaveTheirShortcuts();
  void shortcutsLeaveTheFocusAndWhatWasTypedAlone();
  void enterOnARowOpensTheFieldEditor();
  void tabWalksEveryWindowInScreenOrder();
  void deleteInTheListAsksAsEscapeDoes();
  void withoutASelectedRowNoBandAndNoRowCommands();
  void tabReachesTheToolBarAndThePictureButtons();
  void pictureButtonsAreKeptByTheKeyboardNotByTheMouse();
  void mnemonicsAreUniqueOnEveryTab();
  void mnemonicsReachTheirControls();
  void fieldEditorMnemonicsReachTheirControls();
};

class TestBuild : public QObject {
  Q_OBJECT
 private slots:
  void emptyAddressSendsTheUserToTheFirstTab();
  void emptyOutputNameStopsAfterThePage();
  void existingOutputIsReplacedOnlyAfterYes();
  void browsingForAnExistingOutputFileAsksNothing();
  void missingPrototypeLeavesNothingAndStartsNothing();
  void builtProgramCarriesTheChosenIcon();
  void iconStartsFromTheFileOrTheStandardIcon();
  void pictureThatCannotBeLoadedChangesNothing();
  void pictureThatCannotBeLoadedIsNamedInGerman();
  void buildsInAFolderWindows1252CannotHold();
  void aFormPostingToTheRespondentsOwnComputerIsBuiltOnlyAfterYes();
  void programsAreSignedWithTheCertificateOfTheSettings();
};

class TestTarget : public QObject {
  Q_OBJECT
 private slots:
  void targetChoiceNamesTheOutputAndIsRemembered();
  void eachTargetWritesTheIconAtItsOwnViewersOffset();
  void receiverAddressIsTheUsersAndRefusedWhenUnusable();
  void aWindowsProgramWithoutWineSaysWhereItWasWritten();
};

}  // namespace vantrel::test
