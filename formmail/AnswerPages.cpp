#include "formmail/AnswerPages.h"

namespace vantrel::formmail {
namespace {

constexpr std::string_view kBackLink =
    "<p><a href=\"javascript:history.back()\">Zurück zum Formular</a></p>\n";

std::string page(std::string_view title, std::string_view bodyHtml) {
  std::string html =
      "<!DOCTYPE html>\n<html lang=\"de\">\n<head>\n<meta charset=\"utf-8\">\n"
      "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n<title>";
  html += title;
  html += "</title>\n</head>\n<body>\n<h1>";
  html += title;
  html += "</h1>\n";
  html += bodyHtml;
  html += "</body>\n</html>\n";
  return html;
}

std::string paragraph(std::string_view text) { return "<p>" + std::string(text) + "</p>\n"; }

}  // namespace

std::string escapeHtml(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size());
  for (char c : utf8) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '\'':
        out += "&#39;";
        break;
      case '\0':
        out += "\uFFFD";  // the replacement character, in UTF-8
        break;
      default:
        out += c;
    }
  }
  return out;
}

std::string successPage() {
  return page("Vielen Dank!", paragraph("Ihre Angaben wurden übermittelt."));
}

std::string missingFieldsPage(const std::vector<std::string>& missingUtf8) {
  std::string body = paragraph("Bitte füllen Sie noch diese Felder aus:") + "<ul>\n";
  for (const auto& name : missingUtf8) body += "<li>" + escapeHtml(name) + "</li>\n";
  body += "</ul>\n";
  body += paragraph("Es wurde nichts versendet.");
  body += kBackLink;
  return page("Angaben fehlen", body);
}

std::string recipientRefusedPage() {
  return page(
      "Empfänger nicht erlaubt",
      paragraph("An die im Formular eingetragene Adresse darf dieser Server keine Formulare "
                "versenden. Es wurde nichts versendet.") +
          std::string(kBackLink));
}

std::string tooLargePage() {
  return page("Zu viele Daten", paragraph("Das Formular enthält zu viele oder zu lange Angaben. "
                                          "Es wurde nichts versendet.") +
                                    std::string(kBackLink));
}

std::string tooManyPostsPage() {
  return page(
      "Zu viele Einsendungen",
      paragraph("Von Ihrer Adresse kamen in der letzten Minute zu viele Einsendungen. Bitte warten "
                "Sie eine Minute und senden Sie das Formular dann erneut.") +
          std::string(kBackLink));
}

std::string methodNotAllowedPage() {
  return page("Methode nicht erlaubt",
              paragraph("Diese Adresse nimmt nur ausgefüllte Formulare an, "
                        "die mit der Methode POST gesendet werden."));
}

std::string unsupportedFormatPage() {
  return page("Unbekanntes Format",
              paragraph("Die Formulardaten haben ein unbekanntes Format. Es wurde "
                        "nichts versendet.") +
                  std::string(kBackLink));
}

std::string incompletePostPage() {
  return page("Unvollständige Daten", paragraph("Die Formulardaten sind nicht vollständig "
                                                "angekommen. Es wurde nichts versendet.") +
                                          std::string(kBackLink));
}

std::string surveyRefusedPage() {
  return page("Ungültige Umfrage-Kennung",
              paragraph("Die Adresse, an die dieses Formular sendet, enthält eine ungültige "
                        "Umfrage-Kennung. Es wurde nichts versendet. Bitte wenden Sie sich an "
                        "den Betreiber dieser Seite."));
}

std::string spooledPage() {
  return page(
      "Versand verzögert",
      paragraph("Der Mailserver ist zurzeit nicht erreichbar. Ihre Angaben wurden gespeichert und "
                "werden zugestellt, sobald er wieder erreichbar ist. Bitte senden Sie das Formular "
                "nicht noch einmal."));
}

std::string notStoredPage() {
  return page(
      "Versand nicht möglich",
      paragraph("Ihre Angaben konnten zurzeit nicht gespeichert werden. Bitte versuchen Sie es "
                "später noch einmal.") +
          std::string(kBackLink));
}

std::string mailRefusedPage() {
  return page("Versand abgelehnt",
              paragraph("Der Mailserver hat Ihre Angaben abgelehnt; sie wurden nicht "
                        "zugestellt. Ein erneuter Versuch hilft nicht. Bitte wenden Sie sich auf "
                        "anderem Weg an den Empfänger des Formulars.") +
                  std::string(kBackLink));
}

std::string notConfiguredPage() {
  return page(
      "Formular-Empfang nicht eingerichtet",
      paragraph("Dieser Server ist für den Empfang von Formularen nicht richtig eingerichtet. "
                "Es wurde nichts versendet.") +
          std::string(kBackLink));
}

std::string notFoundPage() {
  return page("Nicht gefunden",
              paragraph("Unter dieser Adresse gibt es keinen Formular-Empfänger."));
}

std::string redirectText(std::string_view location) {
  return "Weiter: " + std::string(location) + "\n";
}

}  // namespace vantrel::formmail
