#pragma once
// What "Auswertung" shows of a tabulation, in the words and numbers a user reads: the summary
// lines, the charts of the choices and the report as a PDF file. The window and the PDF draw
// the same charts from the same counts.

#include <QString>
#include <QStringList>
#include <functional>
#include <string>
#include <vector>

#include "answers/AnswerReader.h"
#include "answers/AnswerStatistics.h"

class QChart;

namespace vantrel {

// "Sehr zufrieden: 2 (50,0 %)"
QString choiceLabel(const answers::ChoiceCount& choice);

// "2026-12-07T17:20:05Z" in local time with its zone, "07.12.2026 18:20:05 MEZ" (the zone as the
// system names it); a text in another form stays as it is.
QString receivedTime(const std::string& utc);

// A text a poster wrote, for the places where Qt would read markup (chart titles and labels):
// shown exactly as written, never as markup.
QString plainForChart(const std::string& utf8);

// The number of answers and their time span, then what the read skipped and its first problems
// (in German).
QStringList summaryLines(const answers::AnswerReport& report, const answers::ReadSummary& summary);

// A horizontal bar chart of a choice field: one bar per choice, in the report's order from the
// top, each labelled with its count and share. The caller owns the chart.
QChart* makeChoiceChart(const answers::FieldStatistics& field);

// The height a chart of `choices` bars needs to show every label.
int chartHeightFor(std::size_t choices);

// Writes the whole report as a PDF file: title, summary, each field with its chart or its
// texts (a text field's from `textsOf` when the report holds none). False when the file cannot
// be written.
[[nodiscard]] bool writeReportPdf(
    const QString& file, const answers::AnswerReport& report, const answers::ReadSummary& summary,
    const std::function<std::vector<std::string>(const std::string& name)>& textsOf = {});

}  // namespace vantrel
