#include "schedule/RemainingWorkWindow.h"

#include "data/Dataset.h"
#include "schedule/SchedulePrint.h"
#include "widgets/DataGrid.h"
#include "widgets/MessageBoxes.h"
#include "widgets/WaitCursor.h"

#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QFontMetricsF>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLocale>
#include <QMouseEvent>
#include <QPainter>
#include <QPrinter>
#include <QPushButton>
#include <QSvgGenerator>
#include <QToolTip>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace {

// Relative luminance and contrast ratio as the accessibility guidelines define them.
double luminance(const QColor& c) {
    auto channel = [](double v) {
        v /= 255.0;
        return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * channel(c.red()) + 0.7152 * channel(c.green()) + 0.0722 * channel(c.blue());
}

double contrast(const QColor& a, const QColor& b) {
    const double la = luminance(a), lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

// How far apart two colours look, weighted for the eye's sensitivity.
double distance(const QColor& a, const QColor& b) {
    const int dr = a.red() - b.red(), dg = a.green() - b.green(), db = a.blue() - b.blue();
    return std::sqrt(2.0 * dr * dr + 4.0 * dg * dg + 3.0 * db * db);
}

// A scheme colour made dark (or light) enough to read as a line on the background.
QColor readableOn(QColor c, const QColor& background) {
    const bool darken = luminance(background) > 0.4;
    for (int i = 0; i < 16 && contrast(c, background) < 2.5; ++i)
        c = darken ? c.darker(118) : c.lighter(118);
    return c;
}

constexpr double kLineWidth = 2.0;
constexpr double kPad = 10.0;

// Steps of 1, 2 or 5 times a power of ten, about `parts` of them over `range`.
double niceStep(double range, int parts) {
    if (range <= 0)
        return 1;
    const double raw = range / parts;
    const double magnitude = std::pow(10.0, std::floor(std::log10(raw)));
    for (double m : {1.0, 2.0, 5.0, 10.0})
        if (m * magnitude >= raw)
            return m * magnitude;
    return 10 * magnitude;
}

QString hoursText(double v) {
    return QLocale().toString(v, 'g', 10);
}

QString taskCountText(int n) {
    return n == 1 ? QStringLiteral("1 task") : QStringLiteral("%1 tasks").arg(n);
}

} // namespace

// ---------------------------------------------------------------- the chart

struct RemainingWorkChart::Frame {
    QRectF title;
    QRectF legend;
    QRectF plot;
    double yMin = 0, yMax = 1, yStep = 1;
    int labelEvery = 1; // days between date labels
    double dateWidth = 0;
    QList<QPointF> legendAt; // where each legend entry starts: x, and the top of its row
};

namespace {

struct LegendEntry {
    QColor colour;
    Qt::PenStyle style;
    QString text;
};
constexpr double kSwatch = 24, kSwatchGap = 6, kEntryGap = 18;

QList<LegendEntry> legendOf(const RemainingWorkChart& chart) {
    QList<LegendEntry> entries{
        {chart.remainingColor(), Qt::SolidLine, QStringLiteral("Time Remaining")},
        {chart.elapsedColor(), Qt::SolidLine, QStringLiteral("Elapsed Time")}};
    if (chart.showsFilteredLine())
        entries.append({chart.remainingColor(), Qt::DashLine,
                        QStringLiteral("Time Remaining of the filtered rows (%1 of %2)")
                            .arg(chart.chart().filteredCount)
                            .arg(taskCountText(chart.chart().taskCount))});
    return entries;
}

} // namespace

RemainingWorkChart::RemainingWorkChart(QWidget* parent)
    : QWidget(parent)
    , scheme_(GridStyleRepository().slate()) {
    setObjectName(QStringLiteral("chartRemaining"));
    setFocusPolicy(Qt::StrongFocus);
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAccessibleName(QStringLiteral("Remaining work chart"));
}

void RemainingWorkChart::setChart(const RemainingWork::Chart& chart) {
    chart_ = chart;
    if (currentDay_ >= chart_.dayCount())
        currentDay_ = -1;
    update();
    emit currentDayChanged(currentDay_);
}

void RemainingWorkChart::setTitle(const QString& title) {
    title_ = title;
    update();
}

void RemainingWorkChart::setColorScheme(const GridStyleSheet& sheet) {
    scheme_ = sheet;
    update();
}

QColor RemainingWorkChart::backgroundColor() const {
    const QColor c = scheme_.style(GridElement::Content).background;
    return c.isValid() ? c : QColor(Qt::white);
}

QColor RemainingWorkChart::textColor() const {
    const QColor c = scheme_.style(GridElement::Content).text;
    return c.isValid() ? c : QColor(Qt::black);
}

QColor RemainingWorkChart::remainingColor() const {
    // The scheme's own colour: what it marks the focused row with.
    QColor c = scheme_.style(GridElement::Selection).background;
    if (!c.isValid())
        c = QColor(0x55, 0x80, 0x97);
    return readableOn(c, backgroundColor());
}

QColor RemainingWorkChart::elapsedColor() const {
    // The first of the scheme's other strong colours that stands apart from
    // the time remaining's; a turn of its hue when none does.
    const QColor remaining = remainingColor();
    const QColor background = backgroundColor();
    for (const QColor& candidate :
         {scheme_.style(GridElement::GroupByBox).background,
          scheme_.style(GridElement::Group).background, scheme_.style(GridElement::Preview).text,
          scheme_.style(GridElement::Header).background}) {
        if (!candidate.isValid())
            continue;
        const QColor c = readableOn(candidate, background);
        if (distance(c, remaining) >= 120 && distance(c, background) >= 120)
            return c;
    }
    const QColor turned =
        QColor::fromHsv((std::max(0, remaining.hsvHue()) + 150) % 360,
                        std::max(remaining.hsvSaturation(), 140), remaining.value());
    return readableOn(turned, background);
}

bool RemainingWorkChart::showsFilteredLine() const {
    return chart_.filteredCount < chart_.taskCount;
}

QFont RemainingWorkChart::labelFont() const {
    // Pixel sizes, so the layout is the same on screen, in files and on paper.
    QFont f = font();
    if (f.pixelSize() <= 0)
        f.setPixelSize(std::max(9, qRound(f.pointSizeF() * 96.0 / 72.0)));
    return f;
}

QFont RemainingWorkChart::titleFont() const {
    QFont f = labelFont();
    f.setPixelSize(qRound(f.pixelSize() * 1.3));
    f.setBold(true);
    return f;
}

RemainingWorkChart::Frame RemainingWorkChart::frameFor(const QRectF& rect) const {
    Frame f;
    const QFontMetricsF label(labelFont());
    const QFontMetricsF title(titleFont());
    f.title =
        QRectF(rect.left() + kPad, rect.top() + kPad, rect.width() - 2 * kPad, title.height());

    double lo = 0, hi = 0;
    const bool filtered = showsFilteredLine();
    for (int d = 0; d < chart_.dayCount(); ++d) {
        const auto& a = chart_.project[size_t(d)];
        lo = std::min({lo, a.remaining, a.elapsed});
        hi = std::max({hi, a.remaining, a.elapsed});
        if (filtered) {
            lo = std::min(lo, chart_.filtered[size_t(d)].remaining);
            hi = std::max(hi, chart_.filtered[size_t(d)].remaining);
        }
    }
    if (hi - lo < 1e-9)
        hi = lo + 1;
    f.yStep = niceStep(hi - lo, 5);
    f.yMin = std::floor(lo / f.yStep) * f.yStep;
    f.yMax = std::ceil(hi / f.yStep) * f.yStep;

    double labelWidth = label.horizontalAdvance(QStringLiteral("Hours"));
    for (double y = f.yMin; y <= f.yMax + f.yStep / 2; y += f.yStep)
        labelWidth = std::max(labelWidth, label.horizontalAdvance(hoursText(y)));
    f.dateWidth =
        label.horizontalAdvance(QLocale().toString(QDate(2000, 12, 28), QStringLiteral("d MMM"))) +
        12;
    const double left = rect.left() + kPad + labelWidth + 8;
    const double right = std::max(left + 10, rect.right() - kPad - f.dateWidth / 2);

    // The legend from the plot's left edge, on as many rows as it needs.
    const double legendTop = f.title.bottom() + 6;
    double x = left, y = legendTop;
    for (const LegendEntry& e : legendOf(*this)) {
        const double width = kSwatch + kSwatchGap + label.horizontalAdvance(e.text);
        if (x > left && x + width > rect.right() - kPad) {
            x = left;
            y += label.height() + 4;
        }
        f.legendAt << QPointF(x, y);
        x += width + kEntryGap;
    }
    f.legend = QRectF(rect.left() + kPad, legendTop, rect.width() - 2 * kPad,
                      y + label.height() - legendTop);
    const double top = f.legend.bottom() + 12;
    const double bottom = std::max(top + 10, rect.bottom() - kPad - 2 * label.height() - 4);
    f.plot = QRectF(QPointF(left, top), QPointF(right, bottom));

    const int n = chart_.dayCount();
    const int fit = std::max(1, int(f.plot.width() / f.dateWidth));
    for (int every : {1, 2, 3, 7, 14, 28, 56, 91, 182, 364, 728, 1456, 2912}) {
        f.labelEvery = every;
        if ((n - 1) / every + 1 <= fit)
            break;
    }
    return f;
}

QPointF RemainingWorkChart::pointAt(const QRectF& rect, int day, double value) const {
    const Frame f = frameFor(rect);
    const int n = chart_.dayCount();
    const double x =
        n <= 1 ? f.plot.center().x() : f.plot.left() + f.plot.width() * day / double(n - 1);
    const double y = f.plot.bottom() - (value - f.yMin) / (f.yMax - f.yMin) * f.plot.height();
    return {x, y};
}

void RemainingWorkChart::paintChart(QPainter& p, const QRectF& rect, bool marker) const {
    p.save();
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setRenderHint(QPainter::TextAntialiasing, true);
    p.fillRect(rect, backgroundColor());
    const Frame f = frameFor(rect);
    const QColor ink = textColor();
    const QColor remaining = remainingColor();
    const QColor elapsed = elapsedColor();
    const bool filtered = showsFilteredLine();
    const int n = chart_.dayCount();

    // Title and legend.
    p.setPen(ink);
    p.setFont(titleFont());
    const QFontMetricsF titleMetrics(titleFont());
    p.drawText(f.title, Qt::AlignLeft | Qt::AlignVCenter,
               titleMetrics.elidedText(title_, Qt::ElideRight, f.title.width()));
    p.setFont(labelFont());
    const QFontMetricsF label(labelFont());
    const QList<LegendEntry> entries = legendOf(*this);
    for (qsizetype i = 0; i < entries.size() && i < f.legendAt.size(); ++i) {
        const LegendEntry& e = entries[i];
        const QPointF at = f.legendAt[i];
        const double midY = at.y() + label.height() / 2;
        p.setPen(QPen(e.colour, kLineWidth, e.style, Qt::FlatCap));
        p.drawLine(QPointF(at.x(), midY), QPointF(at.x() + kSwatch, midY));
        p.setPen(ink);
        p.drawText(QPointF(at.x() + kSwatch + kSwatchGap, at.y() + label.ascent()), e.text);
    }
    p.drawText(QRectF(rect.left() + kPad, f.legend.top(), f.plot.left() - rect.left() - kPad - 8,
                      label.height()),
               Qt::AlignRight | Qt::AlignVCenter, QStringLiteral("Hours"));

    // Grid, axes and their labels. Lines sit on pixel centres so they stay sharp.
    auto sharp = [](double v) { return std::floor(v) + 0.5; };
    QColor gridColour = scheme_.style(GridElement::Header).background;
    if (!gridColour.isValid())
        gridColour = ink;
    gridColour = QColor::fromRgbF(float((gridColour.redF() + backgroundColor().redF() * 2) / 3),
                                  float((gridColour.greenF() + backgroundColor().greenF() * 2) / 3),
                                  float((gridColour.blueF() + backgroundColor().blueF() * 2) / 3));
    const QPen gridPen(gridColour, 1.0);
    for (double v = f.yMin; v <= f.yMax + f.yStep / 2; v += f.yStep) {
        const double y = sharp(pointAt(rect, 0, v).y());
        p.setPen(std::abs(v) < f.yStep / 2 ? QPen(ink, 1.0) : gridPen);
        p.drawLine(QPointF(f.plot.left(), y), QPointF(f.plot.right(), y));
        p.setPen(ink);
        p.drawText(QRectF(rect.left() + kPad, y - label.height() / 2,
                          f.plot.left() - rect.left() - kPad - 8, label.height()),
                   Qt::AlignRight | Qt::AlignVCenter, hoursText(std::abs(v) < 1e-9 ? 0.0 : v));
    }
    int lastYear = 0;
    for (int d = n - 1; d >= 0; d -= f.labelEvery) {
        const double dx = sharp(pointAt(rect, d, 0).x());
        p.setPen(gridPen);
        p.drawLine(QPointF(dx, f.plot.top()), QPointF(dx, f.plot.bottom()));
    }
    // Dates left to right, with the year under the first label and where it changes.
    const int firstLabel = (n - 1) % f.labelEvery;
    p.setPen(ink);
    for (int d = firstLabel; n > 0 && d < n; d += f.labelEvery) {
        const QDate date = chart_.dayAt(d);
        const double dx = pointAt(rect, d, 0).x();
        const QRectF cell(dx - f.dateWidth / 2, f.plot.bottom() + 4, f.dateWidth, label.height());
        p.drawText(cell, Qt::AlignHCenter | Qt::AlignTop,
                   QLocale().toString(date, QStringLiteral("d MMM")));
        if (date.year() != lastYear) {
            p.drawText(cell.translated(0, label.height()), Qt::AlignHCenter | Qt::AlignTop,
                       QString::number(date.year()));
            lastYear = date.year();
        }
    }
    p.setPen(QPen(ink, 1.0));
    p.drawLine(QPointF(sharp(f.plot.left()), f.plot.top()),
               QPointF(sharp(f.plot.left()), f.plot.bottom()));

    // The lines: the filtered rows' under the project's, time remaining on top.
    auto series = [&](const std::vector<RemainingWork::DayTotals>& days, bool useElapsed,
                      const QPen& pen) {
        p.setPen(pen);
        if (n == 1) {
            const QPointF at = pointAt(rect, 0, useElapsed ? days[0].elapsed : days[0].remaining);
            p.setBrush(pen.color());
            p.drawEllipse(at, kLineWidth * 1.5, kLineWidth * 1.5);
            p.setBrush(Qt::NoBrush);
            return;
        }
        QPolygonF line;
        line.reserve(n);
        for (int d = 0; d < n; ++d)
            line << pointAt(rect, d,
                            useElapsed ? days[size_t(d)].elapsed : days[size_t(d)].remaining);
        p.drawPolyline(line);
    };
    if (n > 0) {
        if (filtered)
            series(chart_.filtered, false,
                   QPen(remaining, kLineWidth, Qt::DashLine, Qt::FlatCap, Qt::RoundJoin));
        series(chart_.project, true,
               QPen(elapsed, kLineWidth, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        series(chart_.project, false,
               QPen(remaining, kLineWidth, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    }

    if (marker && currentDay_ >= 0 && currentDay_ < n) {
        QColor guide = ink;
        guide.setAlpha(110);
        const double dx = sharp(pointAt(rect, currentDay_, 0).x());
        p.setPen(QPen(guide, 1.0));
        p.drawLine(QPointF(dx, f.plot.top()), QPointF(dx, f.plot.bottom()));
        const auto& a = chart_.project[size_t(currentDay_)];
        QList<QPair<double, QColor>> dots{{a.elapsed, elapsed}, {a.remaining, remaining}};
        if (filtered)
            dots.prepend({chart_.filtered[size_t(currentDay_)].remaining, remaining});
        for (const auto& [value, colour] : dots) {
            p.setPen(QPen(backgroundColor(), 1.5));
            p.setBrush(colour);
            p.drawEllipse(pointAt(rect, currentDay_, value), 4, 4);
        }
        p.setBrush(Qt::NoBrush);
    }
    p.restore();
}

QImage RemainingWorkChart::renderImage(const QSize& size, qreal devicePixelRatio) const {
    QImage image(size * devicePixelRatio, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(devicePixelRatio);
    image.fill(backgroundColor());
    QPainter p(&image);
    paintChart(p, QRectF(QPointF(0, 0), QSizeF(size)));
    p.end();
    return image;
}

void RemainingWorkChart::setCurrentDay(int day) {
    if (day < -1 || day >= chart_.dayCount())
        day = -1;
    if (day == currentDay_)
        return;
    currentDay_ = day;
    update();
    emit currentDayChanged(day);
}

QString RemainingWorkChart::valuesText(int day) const {
    if (day < 0 || day >= chart_.dayCount())
        return {};
    const auto& a = chart_.project[size_t(day)];
    QString text = QStringLiteral("%1: Time Remaining %2, Elapsed Time %3")
                       .arg(QLocale().toString(chart_.dayAt(day), QLocale::ShortFormat),
                            hoursText(a.remaining), hoursText(a.elapsed));
    if (showsFilteredLine())
        text += QStringLiteral("; filtered rows: Time Remaining %1, Elapsed Time %2")
                    .arg(hoursText(chart_.filtered[size_t(day)].remaining),
                         hoursText(chart_.filtered[size_t(day)].elapsed));
    return text;
}

QSize RemainingWorkChart::sizeHint() const {
    return {720, 400};
}

QSize RemainingWorkChart::minimumSizeHint() const {
    return {320, 200};
}

void RemainingWorkChart::paintEvent(QPaintEvent*) {
    QPainter p(this);
    paintChart(p, rect(), true);
    if (hasFocus()) {
        QColor focus = palette().color(QPalette::Highlight);
        p.setPen(QPen(focus, 1.0, Qt::DotLine));
        p.drawRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5));
    }
}

void RemainingWorkChart::mouseMoveEvent(QMouseEvent* event) {
    const int n = chart_.dayCount();
    if (n == 0)
        return;
    const Frame f = frameFor(rect());
    const double x = event->position().x();
    const int day =
        n == 1 ? 0
               : std::clamp(int(std::lround((x - f.plot.left()) / f.plot.width() * (n - 1))), 0,
                            n - 1);
    setCurrentDay(day);
    QToolTip::showText(event->globalPosition().toPoint(), valuesText(day), this);
}

void RemainingWorkChart::leaveEvent(QEvent* event) {
    QWidget::leaveEvent(event);
    QToolTip::hideText();
    if (!hasFocus())
        setCurrentDay(-1);
}

void RemainingWorkChart::keyPressEvent(QKeyEvent* event) {
    const int n = chart_.dayCount();
    const int last = n - 1;
    const int at = currentDay_ < 0 ? last : currentDay_;
    switch (event->key()) {
    case Qt::Key_Left:
        setCurrentDay(std::max(0, at - (currentDay_ < 0 ? 0 : 1)));
        break;
    case Qt::Key_Right:
        setCurrentDay(std::min(last, at + (currentDay_ < 0 ? 0 : 1)));
        break;
    case Qt::Key_Home:
        setCurrentDay(n > 0 ? 0 : -1);
        break;
    case Qt::Key_End:
        setCurrentDay(last);
        break;
    default:
        QWidget::keyPressEvent(event);
        return;
    }
    event->accept();
}

void RemainingWorkChart::focusInEvent(QFocusEvent* event) {
    QWidget::focusInEvent(event);
    update();
}

void RemainingWorkChart::focusOutEvent(QFocusEvent* event) {
    QWidget::focusOutEvent(event);
    update();
}

// ---------------------------------------------------------------- the window

QString placedTasksText(const RemainingWork::Chart& chart) {
    const int n = chart.placedByEarlierRow;
    QString text =
        n == 1 ? QStringLiteral("1 task was placed by the nearest earlier dated History row: "
                                "the row that records its adding has no date.")
               : QStringLiteral("%1 tasks were placed by the nearest earlier dated History row: "
                                "the rows that record their adding have no date.")
                     .arg(n);
    const int later = chart.placedByLaterRow;
    if (later == 1)
        text += QStringLiteral(" 1 task added before any dated row starts on the first one.");
    else if (later > 1)
        text += QStringLiteral(" %1 tasks added before any dated row start on the first one.")
                    .arg(later);
    return text;
}

RemainingWorkWindow::RemainingWorkWindow(RemainingWork::ProjectRows rows,
                                         std::vector<int> filteredIDs, const QString& projectName,
                                         const GridStyleSheet& scheme, QDate today, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                          Qt::WindowMaximizeButtonHint)
    , rows_(std::move(rows))
    , filteredIDs_(std::move(filteredIDs))
    , today_(today) {
    setObjectName(QStringLiteral("frmRemainingWork"));
    setWindowTitle(QStringLiteral("Remaining Work"));

    lblRange = new QLabel(QStringLiteral("&Range:"), this);
    lblRange->setObjectName(QStringLiteral("lblRange"));
    cmbRange = new QComboBox(this);
    cmbRange->setObjectName(QStringLiteral("cmbRange"));
    cmbRange->addItems(
        {QStringLiteral("2 weeks"), QStringLiteral("6 weeks"), QStringLiteral("All")});
    lblRange->setBuddy(cmbRange);
    chartRemaining = new RemainingWorkChart(this);
    chartRemaining->setTitle(QStringLiteral("Remaining Work: %1").arg(projectName));
    chartRemaining->setColorScheme(scheme);
    lblValues = new QLabel(this);
    lblValues->setObjectName(QStringLiteral("lblValues"));
    lblPlaced = new QLabel(this);
    lblPlaced->setObjectName(QStringLiteral("lblPlaced"));
    lblPlaced->setWordWrap(true);
    auto button = [this](const char* name, const char* caption) {
        auto* b = new QPushButton(QString::fromUtf8(caption), this);
        b->setObjectName(QLatin1String(name));
        b->setAutoDefault(false);
        return b;
    };
    btnExportPNG = button("btnExportPNG", "Export &PNG...");
    btnExportSVG = button("btnExportSVG", "Export &SVG...");
    btnPrint = button("btnPrint", "&Print...");
    btnClose = button("btnClose", "Close");

    auto* top = new QHBoxLayout;
    top->addWidget(lblRange);
    top->addWidget(cmbRange);
    top->addStretch(1);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(btnExportPNG);
    buttons->addWidget(btnExportSVG);
    buttons->addWidget(btnPrint);
    buttons->addStretch(1);
    buttons->addWidget(btnClose);
    auto* lay = new QVBoxLayout(this);
    lay->addLayout(top);
    lay->addWidget(chartRemaining, 1);
    lay->addWidget(lblValues);
    lay->addWidget(lblPlaced);
    lay->addLayout(buttons);
    setTabOrder(cmbRange, chartRemaining);
    setTabOrder(chartRemaining, btnExportPNG);
    setTabOrder(btnExportPNG, btnExportSVG);
    setTabOrder(btnExportSVG, btnPrint);
    setTabOrder(btnPrint, btnClose);
    resize(780, 540);

    connect(cmbRange, &QComboBox::currentIndexChanged, this, [this] { cmbRangeChange(); });
    connect(chartRemaining, &RemainingWorkChart::currentDayChanged, this,
            [this](int day) { showValues(day); });
    connect(btnExportPNG, &QPushButton::clicked, this, [this] { btnExportPNGClick(); });
    connect(btnExportSVG, &QPushButton::clicked, this, [this] { btnExportSVGClick(); });
    connect(btnPrint, &QPushButton::clicked, this, [this] { btnPrintClick(); });
    connect(btnClose, &QPushButton::clicked, this, &QDialog::accept);

    cmbRange->setCurrentIndex(int(Range::SixWeeks));
    cmbRangeChange();
    cmbRange->setFocus();
}

void RemainingWorkWindow::setRange(Range range) {
    cmbRange->setCurrentIndex(int(range));
}

RemainingWorkWindow::Range RemainingWorkWindow::range() const {
    return Range(std::clamp(cmbRange->currentIndex(), 0, 2));
}

void RemainingWorkWindow::cmbRangeChange() {
    QDate from; // all days
    if (range() == Range::TwoWeeks)
        from = today_.addDays(-13);
    else if (range() == Range::SixWeeks)
        from = today_.addDays(-41);
    const RemainingWork::Chart chart =
        RemainingWork::reconstruct(rows_.tasks, rows_.rows, filteredIDs_, from, today_);
    chartRemaining->setChart(chart);
    lblPlaced->setText(placedTasksText(chart));
    showValues(chartRemaining->currentDay());
}

void RemainingWorkWindow::showValues(int day) {
    const int n = chartRemaining->chart().dayCount();
    lblValues->setText(chartRemaining->valuesText(day >= 0 ? day : n - 1));
}

QString RemainingWorkWindow::askPath(const QString& filter, const QString& suffix) {
    QString path = Msg::saveFileName(this, QStringLiteral("Save As"), filter, suffix);
    if (!path.isEmpty() && QFileInfo(path).suffix().isEmpty()) {
        if (!path.endsWith(u'.'))
            path += u'.';
        path += suffix;
    }
    return path;
}

bool RemainingWorkWindow::writePng(const QString& path) {
    // Twice the pixels of the chart on screen at least, so it stays sharp when scaled.
    const QSize size = chartRemaining->size().expandedTo(QSize(640, 400));
    const qreal ratio = std::max<qreal>(2.0, chartRemaining->devicePixelRatioF());
    const WaitCursor wait;
    if (chartRemaining->renderImage(size, ratio).save(path, "PNG"))
        return true;
    Msg::error(this, QStringLiteral("The chart could not be written to %1.")
                         .arg(QDir::toNativeSeparators(path)));
    return false;
}

bool RemainingWorkWindow::writeSvg(const QString& path) {
    const QSize size = chartRemaining->size().expandedTo(QSize(640, 400));
    QSvgGenerator svg;
    svg.setFileName(path);
    svg.setSize(size);
    svg.setViewBox(QRect(QPoint(0, 0), size));
    svg.setTitle(chartRemaining->title());
    QPainter p;
    if (!p.begin(&svg)) {
        Msg::error(this, QStringLiteral("The chart could not be written to %1.")
                             .arg(QDir::toNativeSeparators(path)));
        return false;
    }
    chartRemaining->paintChart(p, QRectF(QPointF(0, 0), QSizeF(size)));
    p.end();
    return true;
}

int RemainingWorkWindow::printChart(QPagedPaintDevice& device) const {
    QPainter p;
    if (!p.begin(&device))
        return 0;
    // The chart is laid out at a screen-like width and scaled onto the page.
    const QSizeF page = device.pageLayout().paintRectPixels(device.logicalDpiX()).size();
    constexpr double kLogicalWidth = 1000;
    const double scale = page.width() / kLogicalWidth;
    p.scale(scale, scale);
    chartRemaining->paintChart(p, QRectF(0, 0, kLogicalWidth, page.height() / scale));
    p.end();
    return 1;
}

void RemainingWorkWindow::btnExportPNGClick() {
    const QString path =
        askPath(QStringLiteral("PNG Images (*.png);;All Files (*)"), QStringLiteral("png"));
    if (!path.isEmpty())
        writePng(path);
}

void RemainingWorkWindow::btnExportSVGClick() {
    const QString path =
        askPath(QStringLiteral("SVG Images (*.svg);;All Files (*)"), QStringLiteral("svg"));
    if (!path.isEmpty())
        writeSvg(path);
}

void RemainingWorkWindow::btnPrintClick() {
    QPrinter printer(QPrinter::HighResolution);
    SchedulePrint::setupPrinter(printer, chartRemaining->title());
    SchedulePrint::printWithDialog(this, printer, chartRemaining->title(),
                                   [this](QPrinter& target) { return printChart(target); });
}

void ShowRemainingWork(QWidget* parent, DbConnection& conn, int projectID,
                       const QString& projectName, const DataGrid& grid) {
    RemainingWork::ProjectRows rows;
    {
        const WaitCursor wait;
        rows = RemainingWork::loadProjectRows(conn, projectID);
    }
    std::vector<int> filtered;
    for (const QVariant& key : grid.filteredKeys())
        filtered.push_back(key.toInt());
    RemainingWorkWindow window(std::move(rows), std::move(filtered), projectName,
                               grid.colorScheme(), QDate::currentDate(), parent);
    window.exec();
}
