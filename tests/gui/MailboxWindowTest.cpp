// "Postfach öffnen..." in "Auswertung" against a private Dovecot on 127.0.0.1: the answers of a
// folder in the table, a mail deleted on the server named as gone, the mailbox but never its
// password kept in the INI, an untrusted certificate shown with its fingerprint and refused, and
// the dialog's folder list from the server. A program of its own: it needs no browser engine.

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

#include "answers/mailbox/ImapConnection.h"
#include "app/AnswersForm.h"
#include "app/MailboxDialog.h"
#include "formmail/MailMessage.h"
#include "formmail/Maildir.h"
#include "gui/MessageBox.h"
#include "tests/support/DovecotServer.h"
#include "tests/support/ReceiverMail.h"
#include "tests/support/TempFolder.h"

namespace vantrel::test {

namespace {

std::string mailWithName(int number) {
  return receiverMail(number, {{"Name", "M\xFCller " + std::to_string(number)}});
}

}  // namespace

class TestMailboxWindow : public QObject {
  Q_OBJECT

 private slots:
  void init() {
    if (!DovecotServer::available()) QSKIP("dovecot-imapd is not installed");
    folder_ = std::make_unique<TempFolder>();
    server_ = std::make_unique<DovecotServer>(folder_->path() / "server");
    qputenv("XDG_CACHE_HOME",
            QFile::encodeName(QString::fromStdString((folder_->path() / "cache").string())));
    messages_.clear();
    previous_ = setMessageBoxHandler([this](const QString& text, const QString&, int) {
      messages_.append(text);
      return int(IDOK);
    });
  }

  void cleanup() {
    setMessageBoxHandler(previous_);
    server_.reset();
    folder_.reset();
  }

  void readsTheFolderAndNamesAMailGoneFromTheServer() {
    std::vector<std::filesystem::path> stored;
    for (int number = 0; number < 5; ++number)
      stored.push_back(formmail::storeInMaildir(server_->maildir(), mailWithName(number)).value());
    server_->handOver();
    const QString ini = QString::fromStdString((folder_->path() / "tool.ini").string());
    TAnswersForm form(nullptr);
    form.setIniFile(ini);
    form.readMailbox(choice(true));
    QTRY_VERIFY_WITH_TIMEOUT(!form.reading(), 30000);
    QVERIFY2(messages_.isEmpty(), qPrintable(messages_.join(QLatin1Char('\n'))));
    auto* table = form.findChild<QTableView*>(QStringLiteral("AnswersTable"));
    QCOMPARE(table->model()->rowCount(), 5);

    std::filesystem::remove(stored.at(2));
    form.readMailbox(choice(true));
    QTRY_VERIFY_WITH_TIMEOUT(!form.reading(), 30000);
    QCOMPARE(table->model()->rowCount(), 5);
    const QString summary = form.findChild<QLabel*>(QStringLiteral("SummaryLabel"))->text();
    QVERIFY2(summary.contains(QStringLiteral("1 Antwort(en) nur noch im Zwischenspeicher")),
             qPrintable(summary));

    QFile kept(ini);
    QVERIFY(kept.open(QIODevice::ReadOnly));
    const QByteArray settings = kept.readAll();
    QVERIFY2(settings.contains(QByteArray::fromStdString(server_->imapsAddress())),
             settings.constData());
    QVERIFY(!settings.contains(QByteArray::fromStdString(DovecotServer::password())));
    const std::optional<MailboxChoice> offered = readLastMailbox(ini);
    QVERIFY(offered.has_value());
    QCOMPARE(offered->address.text(), server_->imapsAddress());
    QVERIFY(offered->password.empty());
  }

  void showsAnUntrustedCertificateAndRefusesIt() {
    TAnswersForm form(nullptr);
    form.readMailbox(choice(false));
    QTRY_VERIFY_WITH_TIMEOUT(!form.reading(), 30000);
    QTRY_COMPARE_WITH_TIMEOUT(messages_.size(), 1, 30000);
    const Result<answers::ServerCertificate> shown =
        answers::peekServerCertificate(choice(false).address, answers::ImapConnectOptions{});
    QVERIFY(shown.ok());
    const QString& message = messages_.front();
    QVERIFY2(message.contains(QStringLiteral("nicht vertraut")), qPrintable(message));
    QVERIFY2(message.contains(QString::fromStdString(shown.value().sha256)), qPrintable(message));
    QVERIFY2(message.contains(QStringLiteral("Ausgestellt von: ")), qPrintable(message));
    QCOMPARE(form.findChild<QTableView*>(QStringLiteral("AnswersTable"))->model()->rowCount(), 0);
  }

  void theDialogListsTheFoldersAndWantsAPassword() {
    std::filesystem::create_directories(server_->maildir() / "Anmeldungen" / "cur");
    server_->handOver();
    MailboxChoice initial = choice(true);
    initial.password.clear();
    MailboxDialog dialog(initial);
    dialog.findChild<QPushButton*>(QStringLiteral("LoadFoldersBtn"))->click();
    QCOMPARE(messages_.value(0), QStringLiteral("Bitte das Passwort angeben."));
    dialog.findChild<QLineEdit*>(QStringLiteral("PasswordEd"))
        ->setText(QString::fromStdString(DovecotServer::password()));
    dialog.findChild<QPushButton*>(QStringLiteral("LoadFoldersBtn"))->click();
    QCOMPARE(messages_.size(), 1);
    auto* folders = dialog.findChild<QComboBox*>(QStringLiteral("FolderCombo"));
    QStringList listed;
    for (int i = 0; i < folders->count(); ++i) listed.append(folders->itemText(i));
    listed.sort();
    QCOMPARE(listed, (QStringList{QStringLiteral("Anmeldungen"), QStringLiteral("INBOX")}));
    folders->setEditText(QStringLiteral("Anmeldungen"));
    const MailboxChoice chosen = dialog.choice();
    QCOMPARE(chosen.address.text(), server_->imapsAddress("Anmeldungen"));
    QCOMPARE(chosen.password, DovecotServer::password());
    QCOMPARE(chosen.caFile, server_->certificate());
    QVERIFY(!chosen.rememberPassword);
  }

 private:
  [[nodiscard]] MailboxChoice choice(bool trustTheCertificate) const {
    MailboxChoice chosen;
    chosen.address = answers::parseMailboxAddress(server_->imapsAddress()).value();
    chosen.password = DovecotServer::password();
    if (trustTheCertificate) chosen.caFile = server_->certificate();
    return chosen;
  }

  std::unique_ptr<TempFolder> folder_;
  std::unique_ptr<DovecotServer> server_;
  QStringList messages_;
  MessageBoxHandler previous_;
};

}  // namespace vantrel::test

QTEST_MAIN(vantrel::test::TestMailboxWindow)
#include "MailboxWindowTest.moc"
