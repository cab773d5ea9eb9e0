#pragma once
// TAboutBox: the modal information window about the maker. It lives only while it is shown;
// the year of its notice line is the year of the moment it was made.

#include <QDialog>

class QLabel;

namespace vantrel {

class TBitBtnXP;

class TAboutBox : public QDialog {
  Q_OBJECT

 public:
  static constexpr int kClientWidth = 664;
  static constexpr int kClientHeight = 453;

  explicit TAboutBox(QWidget* owner = nullptr);

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void FormCreate();
  void BitBtnXP1Click();
  void buildPanel();

  // The controls, reached from outside by their object names only.
  QWidget* Panel1 = nullptr;
  QLabel* ProgramIcon = nullptr;
  QLabel* ProductName = nullptr;
  QLabel* Copyright = nullptr;
  QLabel* Comments = nullptr;
  QLabel* Label1 = nullptr;
  QLabel* Label2 = nullptr;
  QLabel* Label3 = nullptr;
  TBitBtnXP* BitBtnXP1 = nullptr;
  TBitBtnXP* OKButton = nullptr;
};

}  // namespace vantrel
