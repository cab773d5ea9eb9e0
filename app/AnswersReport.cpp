#include "app/AnswersReport.h"

#include <QDateTime>
#include <QGraphicsLayout>
#include <QGraphicsScene>
#include <QLocale>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPrinter>
#include <QTextOption>
#include <QtCharts/QBarCategoryAxis>
#include <QtCharts/QBarSet>
#include <QtCharts/QChart>
#include <QtCharts/QHorizontalBarSeries>
#include <QtCharts/QValueAxis>
#include <algorithm>
#include <cmath>

#include "base/UserMessages.h"

namespace vantrel {
namespace {

const QLocale kGerman(QLocale::German, QLocale::Germany);

// How wide a chart is laid out before it is drawn; the PDF scales it to the page.
constexpr int kChartLayoutWidth = 640;
constexpr int kChartFrameHeight = 90;  // title and value axis
constexpr int kChartBarHeight = 30;

QString fromUtf8(const std::string& text) { return QString::fromStdString(text); }

// The step between the ticks of a count axis up to `most`: at most about eight ticks.
std::uint64_t countStepFor(std::uint64_t most) {
  constexpr std::uint64_t kMostTicks = 8;
  for (std::uint64_t power = 1;; power *= 10) {
    for (const std::uint64_t factor : {1u, 2u, 5u}) {
      if (most <= factor * power * kMostTicks) return factor * power;
    }
  }
}

QString count(std::uint64_t value) { return kGerman.toString(static_cast<qulonglong>(value)); }

// The page of a PDF being written, top to bottom; a piece that does not fit on what is left of
// the page starts a new one.
class PdfPage {
 public:
  PdfPage(QPrinter& printer, QPainter& painter)
      : printer_(printer),
        painter_(painter),
        area_(printer.pageLayout().paintRectPixels(printer.resolution())) {
    area_.moveTo(0, 0);
    y_ = area_.top();
  }

  int width() const { return area_.width(); }
  // Distances are given in points, whatever the printer's resolution.
  int points(double value) const { return static_cast<int>(value * printer_.resolution() / 72.0); }

  void makeRoom(int height) {
    if (y_ + height <= area_.bottom() || y_ == area_.top()) return;
    printer_.newPage();
    y_ = area_.top();
  }

  // Lines break between words, and inside a word only when it is longer than a line.
  void text(const QString& text, const QFont& font, double pointsAfter = 0) {
    painter_.setFont(font);
    QTextOption wrap;
    wrap.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    const QRectF bounds = painter_.boundingRect(QRectF(0, 0, width(), 1 << 24), text, wrap);
    const int height = static_cast<int>(std::ceil(bounds.height()));
    makeRoom(height);
    painter_.drawText(QRectF(0, y_, width(), height), text, wrap);
    y_ += height + points(pointsAfter);
  }

  void chart(QChart* chart, int layoutHeight) {
    const int height = width() * layoutHeight / kChartLayoutWidth;
    makeRoom(height);
    QGraphicsScene scene;
    scene.addItem(chart);  // the scene owns the chart from here on
    chart->resize(kChartLayoutWidth, layoutHeight);
    if (chart->layout()) chart->layout()->activate();
    const QRectF source(0, 0, kChartLayoutWidth, layoutHeight);
    scene.render(&painter_, QRectF(0, y_, width(), height), source);
    y_ += height + points(12);
  }

  void space(double pointsHigh) { y_ += points(pointsHigh); }

 private:
  QPrinter& printer_;
  QPainter& painter_;
  QRect area_;
  int y_ = 0;
};

QFont fontOf(double points, bool bold) {
  QFont font(QStringLiteral("DejaVu Sans"));
  font.setPointSizeF(points);
  font.setBold(bold);
  return font;
}

}  // namespace

QString choiceLabel(const answers::ChoiceCount& choice) {
  return QStringLiteral("%1: %2 (%3 %)")
      .arg(plainForChart(choice.caption), count(choice.count),
           kGerman.toString(choice.percent, 'f', 1));
}

QString receivedTime(const std::string& utc) {
  const QDateTime time = QDateTime::fromString(fromUtf8(utc), Qt::ISODate);
  if (!time.isValid()) return fromUtf8(utc);
  const QDateTime local = time.toLocalTime();
  return local.toString(QStringLiteral("dd.MM.yyyy HH:mm:ss")) + QLatin1Char(' ') +
         local.timeZoneAbbreviation();
}

QString plainForChart(const std::string& utf8) { return fromUtf8(utf8).toHtmlEscaped(); }

QStringList summaryLines(const answers::AnswerReport& report, const answers::ReadSummary& summary) {
  QStringList lines;
  const std::uint64_t mails =
      summary.answers + summary.duplicates + summary.withoutAnswerPart + summary.broken;
  if (mails == 0 && !summary.cancelled) {
    lines.append(QStringLiteral("Keine Mails gefunden: hier ist nichts auszuwerten."));
    return lines;
  }
  QString answers = report.answers == 1 ? QStringLiteral("1 Antwort")
                                        : QStringLiteral("%1 Antworten").arg(count(report.answers));
  if (!report.firstReceived.empty()) {
    answers += QStringLiteral(", empfangen vom %1 bis zum %2")
                   .arg(receivedTime(report.firstReceived), receivedTime(report.lastReceived));
  }
  if (summary.cancelled) answers += QStringLiteral(" (Lesen abgebrochen)");
  lines.append(answers);
  lines.append(
      QStringLiteral("Übersprungen: %1 doppelt, %2 ohne Antwortteil, %3 beschädigt")
          .arg(count(summary.duplicates), count(summary.withoutAnswerPart), count(summary.broken)));
  if (report.namesLeftOut > 0) {
    lines.append(QStringLiteral("%1 weitere Feldnamen ohne eigene Spalte (sie stehen nur im "
                                "Antwortteil antwort.json)")
                     .arg(count(report.namesLeftOut)));
  }
  for (const Failure& problem : summary.problems) {
    lines.append(QStringLiteral("- ") + fromUtf8(germanMessage(problem)));
  }
  return lines;
}

int chartHeightFor(std::size_t choices) {
  return kChartFrameHeight + kChartBarHeight * static_cast<int>(choices);
}

QChart* makeChoiceChart(const answers::FieldStatistics& field) {
  auto* chart = new QChart();
  chart->setTitle(plainForChart(field.caption));
  chart->setAnimationOptions(QChart::NoAnimation);
  chart->legend()->hide();
  auto* bars = new QBarSet(QStringLiteral("Antworten"));
  QStringList categories;
  std::uint64_t most = 0;
  // A horizontal chart fills its categories from the bottom: the first choice goes in last.
  for (auto choice = field.counts.rbegin(); choice != field.counts.rend(); ++choice) {
    bars->append(static_cast<qreal>(choice->count));
    categories.append(choiceLabel(*choice));
    most = std::max(most, choice->count);
  }
  auto* series = new QHorizontalBarSeries();
  series->append(bars);
  chart->addSeries(series);
  auto* choiceAxis = new QBarCategoryAxis();
  choiceAxis->append(categories);
  chart->addAxis(choiceAxis, Qt::AlignLeft);
  series->attachAxis(choiceAxis);
  // Counts are whole numbers: the ticks go in whole steps of 1, 2 or 5 times a power of ten.
  const std::uint64_t step = countStepFor(most);
  auto* countAxis = new QValueAxis();
  const std::uint64_t top = std::max<std::uint64_t>(1, (most + step - 1) / step) * step;
  countAxis->setRange(0, static_cast<qreal>(top));
  countAxis->setTickType(QValueAxis::TicksDynamic);
  countAxis->setTickAnchor(0);
  countAxis->setTickInterval(static_cast<qreal>(step));
  countAxis->setLabelFormat(QStringLiteral("%d"));
  chart->addAxis(countAxis, Qt::AlignBottom);
  series->attachAxis(countAxis);
  return chart;
}

bool writeReportPdf(
    const QString& file, const answers::AnswerReport& report, const answers::ReadSummary& summary,
    const std::function<std::vector<std::string>(const std::string& name)>& textsOf) {
  QPrinter printer(QPrinter::HighResolution);
  printer.setOutputFormat(QPrinter::PdfFormat);
  printer.setOutputFileName(file);
  printer.setPageSize(QPageSize(QPageSize::A4));
  printer.setPageMargins(QMarginsF(15, 15, 15, 15), QPageLayout::Millimeter);
  printer.setDocName(QStringLiteral("Auswertung"));
  printer.setCreator(QStringLiteral("Vantrel Formulare 1.0"));
  QPainter painter;
  if (!painter.begin(&printer)) return false;
  PdfPage page(printer, painter);
  page.text(QStringLiteral("Auswertung"), fontOf(18, true), 8);
  for (const QString& line : summaryLines(report, summary)) page.text(line, fontOf(10, false));
  page.space(14);
  for (const answers::FieldStatistics& field : report.fields) {
    if (field.kind == answers::FieldKind::Text) {
      page.text(fromUtf8(field.caption), fontOf(12, true), 4);
      const std::vector<std::string> texts =
          field.texts.empty() && textsOf ? textsOf(field.name) : field.texts;
      for (const std::string& text : texts) page.text(fromUtf8(text), fontOf(10, false), 3);
      if (texts.empty()) page.text(QStringLiteral("(keine Antworten)"), fontOf(10, false));
      page.space(14);
    } else {
      page.chart(makeChoiceChart(field), chartHeightFor(field.counts.size()));
    }
  }
  return painter.end();
}

}  // namespace vantrel
