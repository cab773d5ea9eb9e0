#pragma once
// Outside processes report progress to the main window over the session D-Bus, the way a
// window message would: service "example.brixtel.VantrelFormulare", object "/MainForm",
// method WMUser(wParam, lParam) of interface "example.brixtel.VantrelFormulare.Progress".

#include <QObject>
#include <QPointer>

namespace vantrel {

inline constexpr const char* kProgressService = "example.brixtel.VantrelFormulare";
inline constexpr const char* kProgressPath = "/MainForm";
inline constexpr const char* kProgressInterface = "example.brixtel.VantrelFormulare.Progress";

class ProgressBus : public QObject {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "example.brixtel.VantrelFormulare.Progress")

 public:
  explicit ProgressBus(QObject* mainWindow);

  // Registers on the session bus when one runs; false when there is none.
  bool registerOnSessionBus();

 public slots:
  // Posted, not called: the report waits in the queue like any other message.
  Q_SCRIPTABLE void WMUser(int wParam, int lParam);

 private:
  QPointer<QObject> mainWindow_;
};

}  // namespace vantrel
