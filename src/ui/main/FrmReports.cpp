#include "ui/main/FrmReports.h"

#include "model/ProgramLog.h"
#include "model/ZaraveDezeZurirevuzorDefs.h"
#include "storage/SQLiteDatabase.h"
#include "ui/framework/Appearance.h"
#include "ui/framework/FrmWarning.h"
#include "ui/framework/ImageButton.h"
#include "ui/main/MainDisplay.h"

#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QSaveFile>
#include <QStandardPaths>
#include <QTreeWidget>
#include <QVBoxLayout>

#if TALLYHOUR_QT_CHARTS
#include <QBarSet>
#include <QCategoryAxis>
#include <QChart>
#include <QChartView>
#include <QCursor>
#include <QLegend>
#include <QLineSeries>
#include <QStackedBarSeries>
#include <QToolTip>
#include <QValueAxis>
#else
#include "ui/main/UsageBars.h"
#endif

#include <algorithm>

TfrmReports::TfrmReports(int periodIndex, int32_t limitSeconds, TSplitLoad load, TNow now, QWidget* parent)
    : TfrmBase(parent)
    , m_load(std::move(load))
    , m_now(std::move(now))
    , m_limitSeconds(limitSeconds)
{
    setObjectName(QStringLiteral("frmReports"));
    setWindowTitle(QStringLiteral("Usage Chart"));
    if (!m_load) {
        m_load = [](TDateTime from, TDateTime to, TUsageBucket bucket) { return UsageSplitLoad(from, to, bucket); };
    }
    if (!m_now) {
        m_now = [] { return ProgramNow(); };
    }
    setMinimumSize(560, 420);
    resize(760, 560);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(14, 40, 14, 12);
    layout->setSpacing(8);
    auto* top = new QHBoxLayout;
    cbxPeriod = new QComboBox(this);
    cbxPeriod->setObjectName(QStringLiteral("cbxPeriod"));
    for (int i = 0; i < kUsagePeriodCount; ++i) {
        cbxPeriod->addItem(QString::fromLatin1(UsagePeriodName(i)));
    }
    cbxPeriod->setCurrentIndex(std::clamp(periodIndex, 0, kUsagePeriodCount - 1));
    cbxPeriod->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    cbxPeriod->setMinimumWidth(150);
    top->addWidget(cbxPeriod);
    // The skinned drop button in place of the combo's own arrow, as on every skinned window.
    ComboClip(cbxPeriod);
    ComboDropButtonAdd(cbxPeriod);
    top->addStretch(1);
    btnExport = ButtonAdd(QStringLiteral("btnExport"), QStringLiteral("Export..."), QRect(0, 0, 96, 26));
    btnExport->setMinimumSize(96, 26);
    top->addWidget(btnExport);
    layout->addLayout(top);

    QWidget* view = ChartViewMake();
    view->setObjectName(QStringLiteral("chvUsage"));
    view->setMinimumHeight(240);
    layout->addWidget(view, 3);

    lblBucket = new QLabel(this);
    lblBucket->setObjectName(QStringLiteral("lblBucket"));
    LabelOnBackgroundSet(lblBucket);
    lblBucket->setWordWrap(true);
    layout->addWidget(lblBucket);
    lbxBucketItems = new QTreeWidget(this);
    lbxBucketItems->setObjectName(QStringLiteral("lbxBucketItems"));
    lbxBucketItems->setHeaderLabels({ QStringLiteral("Name"), QStringLiteral("Type"), QStringLiteral("Time") });
    lbxBucketItems->setRootIsDecorated(false);
    lbxBucketItems->header()->setStretchLastSection(false);
    lbxBucketItems->header()->setSectionResizeMode(0, QHeaderView::Stretch);
    lbxBucketItems->header()->setSectionResizeMode(1, QHeaderView::ResizeToContents);
    lbxBucketItems->header()->setSectionResizeMode(2, QHeaderView::ResizeToContents);
    layout->addWidget(lbxBucketItems, 1);

    auto* bottom = new QHBoxLayout;
    bottom->addStretch(1);
    btnClose = ButtonAdd(QStringLiteral("btnClose"), QStringLiteral("Close"), QRect(0, 0, 90, 28));
    btnClose->setMinimumSize(90, 28);
    bottom->addWidget(btnClose);
    layout->addLayout(bottom);

    connect(cbxPeriod, &QComboBox::currentIndexChanged, this, [this] { Reload(); });
    connect(btnExport, &TImageButton::clicked, this, &TfrmReports::ExportAsk);
    connect(btnClose, &TImageButton::clicked, this, &QDialog::close);
    Reload();
}

void TfrmReports::PeriodSet(int index)
{
    index = std::clamp(index, 0, kUsagePeriodCount - 1);
    if (index == cbxPeriod->currentIndex()) {
        Reload();
    } else {
        cbxPeriod->setCurrentIndex(index); // reloads through the box's signal
    }
}

void TfrmReports::Reload()
{
    const TDateTime now = m_now();
    const TDateRange range = UsagePeriodRange(cbxPeriod->currentIndex(), now);
    m_from = range.From;
    m_to = range.To;
    const TUsageBucket bucket = UsageChartBucketGet(cbxPeriod->currentIndex());
    QString title;
    try {
        m_rows = m_load(m_from, m_to, bucket);
    } catch (const Exception& error) {
        // Shown where the bars would be, and logged; the window stays usable for another period.
        m_rows.clear();
        title = QStringLiteral("The usage could not be read: %1").arg(QString::fromUtf8(error.what()));
        LogError(error, "; TfrmReports.Reload: ");
    }
    m_chart = UsageChartBuild(m_rows, bucket, m_from, m_to, now);
    if (title.isEmpty() && m_chart.Series.empty()) {
        title = QStringLiteral("No time on the list in this period");
    }
    ChartDraw(title);
    BucketShow(m_chart.NowIndex);
}

void TfrmReports::BucketShow(int index)
{
    lbxBucketItems->clear();
    if (index < 0 || index >= int(m_chart.Buckets.size())) {
        lblBucket->setText(QStringLiteral("Click a bar to list its items."));
        return;
    }
    const std::string& bucket = m_chart.Buckets[index];
    const std::string when = m_chart.Bucket == TUsageBucket::Hour
        ? UsageBucketLabel(bucket.substr(0, 10)) + ", " + UsageBucketLabel(bucket)
        : UsageBucketLabel(bucket) + " " + bucket.substr(0, 4);
    const auto items = UsageBucketItemsGet(m_rows, bucket);
    int64_t total = 0;
    for (const auto& item : items) {
        auto* row = new QTreeWidgetItem(lbxBucketItems);
        row->setText(0, QString::fromStdString(item.Caption.empty() ? item.Name : item.Caption));
        row->setToolTip(0, QString::fromStdString(item.Name));
        row->setText(1, item.Origin == 1 ? QStringLiteral("App") : QStringLiteral("Web"));
        row->setText(2, QString::fromStdString(UsageDurationText(item.Seconds)));
        row->setTextAlignment(2, Qt::AlignRight | Qt::AlignVCenter);
        total += item.Seconds;
    }
    lblBucket->setText(items.empty()
            ? QStringLiteral("%1: no time on the list.").arg(QString::fromStdString(when))
            : QStringLiteral("%1: %2 on the list.")
                  .arg(QString::fromStdString(when), QString::fromStdString(UsageDurationText(total))));
}

bool TfrmReports::ExportTo(const QString& fileName)
{
    QString failure;
    try {
        const auto rows = m_load(m_from, m_to, TUsageBucket::Day);
        const std::string text = UsageCsvText(rows);
        QSaveFile file(fileName);
        if (file.open(QIODevice::WriteOnly)) {
            // The export holds the history, so it is the user's alone like the data folder, whatever
            // the umask or a file it replaces allowed; set on the new file before a byte is in it.
            // A file system without owners (a FAT stick) refuses, and its mount's own mask applies.
            file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        }
        if (file.isOpen() && file.write(text.data(), qint64(text.size())) == qint64(text.size()) && file.commit()) {
            LogMessageWrite("The usage of " + DateTimeToDbText(m_from) + " to " + DateTimeToDbText(m_to)
                + " was exported to \"" + fileName.toStdString() + "\" (" + std::to_string(rows.size()) + " rows)");
            return true;
        }
        failure = file.errorString();
    } catch (const Exception& error) {
        failure = QString::fromUtf8(error.what());
    }
    LogMessageWrite("The usage could not be exported to \"" + fileName.toStdString() + "\": " + failure.toStdString());
    ShowMessage(QStringLiteral("The usage could not be exported to \"%1\": %2").arg(fileName, failure),
        QStringLiteral("Please Note"));
    return false;
}

void TfrmReports::ExportAsk()
{
    QString folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (folder.isEmpty() || !QDir(folder).exists()) {
        folder = QDir::homePath();
    }
    const QString suggested = QDir(folder).filePath(
        QStringLiteral("tallyhour-usage-%1.csv").arg(QString::fromStdString(DateToDbText(m_to))));
    const QString fileName = QFileDialog::getSaveFileName(
        this, QStringLiteral("Export Usage"), suggested, QStringLiteral("CSV files (*.csv);;All files (*)"));
    if (!fileName.isEmpty()) {
        ExportTo(fileName);
    }
}

#if TALLYHOUR_QT_CHARTS

QWidget* TfrmReports::ChartViewMake()
{
    chvUsage = new QChartView(new QChart, this);
    chvUsage->setRenderHint(QPainter::Antialiasing);
    // The skin's background and picture show through the chart.
    chvUsage->setStyleSheet(QStringLiteral("background: transparent"));
    chvUsage->setFrameShape(QFrame::NoFrame);
    return chvUsage;
}

QString TfrmReports::ChartTitleGet() const
{
    return chvUsage->chart()->title();
}

void TfrmReports::ChartDraw(const QString& title)
{
    // A new chart each time: its axes and series go with the old one.
    auto* chart = new QChart;
    chart->setBackgroundVisible(false);
    chart->setPlotAreaBackgroundVisible(false);
    QChart* old = chvUsage->chart();
    chvUsage->setChart(chart);
    delete old;
    const QColor textColor = ColorFromNumber(Appearance().TextColorGet());
    QColor gridColor = textColor;
    gridColor.setAlpha(60);
    chart->setTitle(title);
    chart->setTitleBrush(textColor);
    chart->legend()->setLabelColor(textColor);
    // Beside the plot, where each item's caption has a line of its own.
    chart->legend()->setAlignment(Qt::AlignRight);
    chart->legend()->setShowToolTips(true);
    // Long captions are cut (their whole text in the tooltip) rather than squeezing the bars.
    chart->legend()->setMaximumWidth(170);

    const bool byHour = m_chart.Bucket == TUsageBucket::Hour;
    const double unit = byHour ? 60.0 : 3600.0;
    auto* bars = new QStackedBarSeries;
    bars->setBarWidth(0.8);
    for (size_t s = 0; s < m_chart.Series.size(); ++s) {
        const auto& series = m_chart.Series[s];
        auto* set = new QBarSet(QString::fromStdString(series.Caption));
        const QColor color = QColor::fromRgb(UsageSeriesColor(m_chart, s));
        set->setColor(color);
        set->setBorderColor(color.darker(130));
        set->setSelectedColor(color.lighter(135));
        for (const int64_t seconds : series.Seconds) {
            set->append(std::max<int64_t>(0, seconds) / unit);
        }
        if (m_chart.NowIndex >= 0) {
            set->selectBar(m_chart.NowIndex); // today's bar, lighter
        }
        bars->append(set);
    }
    chart->addSeries(bars);

    auto* axisX = new QCategoryAxis;
    axisX->setLabelsPosition(QCategoryAxis::AxisLabelsPositionOnValue);
    axisX->setRange(-0.5, std::max<double>(0.5, double(m_chart.Buckets.size()) - 0.5));
    axisX->setStartValue(-0.5);
    for (int i = 0; i < int(m_chart.Buckets.size()); ++i) {
        const std::string label = UsageAxisLabel(m_chart, i);
        if (!label.empty()) {
            axisX->append(QString::fromStdString(label), i);
        }
    }
    axisX->setGridLineVisible(false);
    axisX->setLabelsBrush(textColor);
    axisX->setLinePenColor(gridColor);
    chart->addAxis(axisX, Qt::AlignBottom);
    bars->attachAxis(axisX);

    auto* axisY = new QValueAxis;
    const double limit = byHour ? 0 : m_limitSeconds / unit;
    axisY->setRange(0, std::max({ 1.0, m_chart.MaxBucketSeconds / unit, limit }) * 1.1);
    axisY->applyNiceNumbers();
    axisY->setLabelFormat(QStringLiteral("%g"));
    axisY->setTitleText(byHour ? QStringLiteral("minutes") : QStringLiteral("hours"));
    axisY->setTitleBrush(textColor);
    axisY->setLabelsBrush(textColor);
    axisY->setGridLineColor(gridColor);
    axisY->setLinePenColor(gridColor);
    chart->addAxis(axisY, Qt::AlignLeft);
    bars->attachAxis(axisY);

    if (!byHour && m_limitSeconds > 0) {
        auto* line = new QLineSeries;
        line->setName(QString::fromStdString(UsageLimitCaption(m_limitSeconds)));
        QPen pen(QColor::fromRgb(kUsageLimitColor), 2, Qt::DashLine);
        line->setPen(pen);
        line->append(-0.5, limit);
        line->append(double(m_chart.Buckets.size()) - 0.5, limit);
        chart->addSeries(line);
        line->attachAxis(axisX);
        line->attachAxis(axisY);
    }

    connect(bars, &QAbstractBarSeries::hovered, this, [this, bars](bool status, int index, QBarSet* set) {
        const qsizetype series = bars->barSets().indexOf(set);
        if (status && series >= 0 && index >= 0) {
            QToolTip::showText(QCursor::pos(),
                QString::fromStdString(UsageBarTipText(m_chart, size_t(series), size_t(index))), chvUsage);
        } else {
            QToolTip::hideText();
        }
    });
    connect(bars, &QAbstractBarSeries::clicked, this, [this](int index, QBarSet*) { BucketShow(index); });
}

#else

QWidget* TfrmReports::ChartViewMake()
{
    chvBars = new TUsageBars(this);
    connect(chvBars, &TUsageBars::BucketClicked, this, &TfrmReports::BucketShow);
    return chvBars;
}

QString TfrmReports::ChartTitleGet() const
{
    return chvBars->TitleGet();
}

void TfrmReports::ChartDraw(const QString& title)
{
    chvBars->ChartSet(m_chart, m_limitSeconds, title, ColorFromNumber(Appearance().TextColorGet()));
}

#endif
