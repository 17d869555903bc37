// SPDX-License-Identifier: GPL-3.0-or-later
#include "fitdetails.h"

#include "deadtimesfile.h"
#include "scancorrection.h"

#include "plotdata.h"
#include "residualplot.h"

#include <QApplication>
#include <QClipboard>
#include <QCoreApplication>
#include <QComboBox>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QJsonDocument>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include <cmath>

namespace {

QString modelTitle(DeadTimeModel model)
{
    switch (model) {
    case DeadTimeModel::Quadratic:
        return FitDetails::tr("Quadratic");
    case DeadTimeModel::Paralyzable:
        return FitDetails::tr("Paralyzable");
    case DeadTimeModel::NonParalyzable:
        return FitDetails::tr("Non-paralyzable");
    }
    return QString();
}

QString preferenceTitle(ModelPreference preference)
{
    switch (preference) {
    case ModelPreference::Paralyzable:
        return FitDetails::tr("Paralyzable");
    case ModelPreference::NonParalyzable:
        return FitDetails::tr("Non-paralyzable");
    case ModelPreference::Indistinguishable:
        return FitDetails::tr("Indistinguishable");
    case ModelPreference::Undecided:
        break;
    }
    return FitDetails::tr("Undecided");
}

QString flagText(DeadTimeFlags flags)
{
    const QStringList names = deadTimeFlagNames(flags);
    return names.isEmpty() ? FitDetails::tr("none") : names.join(QStringLiteral(", "));
}

const StageComparison &stageOf(const ChannelComparison &c, FitStage stage)
{
    return stage == FitStage::PreAmp ? c.preAmp : c.amp;
}

// The quadratic keeps its numbers whatever the fit quality, as in the result row.
bool hasNumbers(const StageFit &fit)
{
    return fit.ok || (fit.model == DeadTimeModel::Quadratic && std::isfinite(fit.tau));
}

QString chi2Text(const StageFit &fit)
{
    return hasNumbers(fit) ? QString::number(fit.reducedChi2, 'g', 4) : QStringLiteral("-");
}

QString machineNumber(double v, bool shown)
{
    return shown && std::isfinite(v) ? QString::number(v, 'g', 17) : QString();
}

const DeadTimeModel allModels[]
    = { DeadTimeModel::Quadratic, DeadTimeModel::Paralyzable, DeadTimeModel::NonParalyzable };

enum Column {
    ChannelColumn,
    ModelColumn,
    Tau0Column,
    TauColumn,
    Chi2PreColumn,
    Chi2AmpColumn,
    PreferredPreColumn,
    PreferredAmpColumn,
    FlagsColumn,
    ColumnCount
};

} // namespace

QString formatDeadTime(double tau, double stdErr, bool ok)
{
    if (!ok || !std::isfinite(tau))
        return FitDetails::tr("failed");
    // Microseconds: detector dead times are a fraction of one to a few.
    const QString value = QString::number(tau * 1e6, 'g', 5);
    if (!std::isfinite(stdErr))
        return QStringLiteral("%1 µs").arg(value);
    return QStringLiteral("%1 ± %2 µs").arg(value, QString::number(stdErr * 1e6, 'g', 2));
}

QString resultBoxToolTip(const ChannelComparison &channel, FitStage stage)
{
    const StageComparison &s = stageOf(channel, stage);
    QString text = stage == FitStage::PreAmp
        ? FitDetails::tr("Channel %1, Tau0 (preAmp)").arg(channel.channel)
        : FitDetails::tr("Channel %1, Tau (Amp)").arg(channel.channel);
    for (DeadTimeModel model : allModels) {
        const StageFit &f = s.fit(model);
        text += QLatin1Char('\n')
            + FitDetails::tr("%1: %2").arg(modelTitle(model),
                                           formatDeadTime(f.tau, f.tauStdErr, hasNumbers(f)));
    }
    text += QLatin1Char('\n')
        + FitDetails::tr("Preferred model: %1").arg(preferenceTitle(s.preferred));
    text += QLatin1Char('\n') + FitDetails::tr("Flags: %1").arg(flagText(channel.flags()));
    return text;
}

FitDetails::FitDetails(QWidget *parent)
    : QWidget(parent, Qt::Window)
    , m_model(new QComboBox)
    , m_table(new QTableWidget(0, ColumnCount))
    , m_residuals(new QLabel)
    , m_status(new QLabel)
    , m_saveDialog(
          new QFileDialog(this, tr("Save the fit table"), QString(), tr("CSV files (*.csv)")))
    , m_deadTimesDialog(new QFileDialog(this, tr("Save dead times"), QString(),
                                        tr("Dead-time files (*.json)")))
    , m_correctDialog(new QFileDialog(this, tr("Correct scans")))
{
    setWindowTitle(tr("Fit details"));
    m_saveDialog->setAcceptMode(QFileDialog::AcceptSave);
    m_saveDialog->setDefaultSuffix(QStringLiteral("csv"));
    m_saveDialog->setWindowModality(Qt::NonModal);
    m_deadTimesDialog->setAcceptMode(QFileDialog::AcceptSave);
    m_deadTimesDialog->setDefaultSuffix(QStringLiteral("json"));
    m_deadTimesDialog->setWindowModality(Qt::NonModal);
    m_correctDialog->setFileMode(QFileDialog::ExistingFiles);
    m_correctDialog->setWindowModality(Qt::NonModal);

    m_model->addItem(tr("All models"));
    for (DeadTimeModel model : allModels)
        m_model->addItem(modelTitle(model));

    m_table->setHorizontalHeaderLabels({ tr("Channel"), tr("Model"), tr("Tau0 ± σ"), tr("Tau ± σ"),
                                         tr("Reduced χ² (I0 → ICR)"), tr("Reduced χ² (ICR → SCA)"),
                                         tr("Preferred (Tau0)"), tr("Preferred (Tau)"),
                                         tr("Flags") });
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::SingleSelection);
    m_table->verticalHeader()->hide();
    m_table->horizontalHeader()->setStretchLastSection(true);

    m_residuals->setMinimumSize(320, 240);
    m_residuals->setAlignment(Qt::AlignCenter);
    m_residuals->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);

    auto *copy = new QPushButton(tr("Copy"));
    auto *save = new QPushButton(tr("Save CSV..."));
    auto *saveDeadTimes = new QPushButton(tr("Save dead times..."));
    auto *correct = new QPushButton(tr("Correct scans..."));
    auto *top = new QHBoxLayout;
    top->addWidget(new QLabel(tr("Model:")));
    top->addWidget(m_model);
    top->addStretch();
    top->addWidget(copy);
    top->addWidget(save);
    top->addWidget(saveDeadTimes);
    top->addWidget(correct);

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(m_table, 2);
    layout->addWidget(m_status);
    layout->addWidget(m_residuals, 3);

    connect(m_model, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            &FitDetails::fillTable);
    connect(m_table, &QTableWidget::itemSelectionChanged, this, &FitDetails::drawResiduals);
    connect(copy, &QPushButton::clicked, this, &FitDetails::copyTable);
    connect(save, &QPushButton::clicked, m_saveDialog, &QFileDialog::show);
    connect(m_saveDialog, &QFileDialog::fileSelected, this, &FitDetails::saveTable);
    connect(saveDeadTimes, &QPushButton::clicked, m_deadTimesDialog, &QFileDialog::show);
    connect(m_deadTimesDialog, &QFileDialog::fileSelected, this, &FitDetails::saveDeadTimes);
    connect(correct, &QPushButton::clicked, m_correctDialog, &QFileDialog::show);
    connect(m_correctDialog, &QFileDialog::filesSelected, this, &FitDetails::correctScans);
    resize(1200, 760);
}

void FitDetails::setComparison(const PointSet &points, const QVector<ChannelComparison> &channels)
{
    m_points = points;
    m_channels = channels;
    fillTable();
}

QVector<DeadTimeModel> FitDetails::shownModels() const
{
    const int index = m_model->currentIndex();
    if (index >= 1 && index <= 3)
        return { allModels[index - 1] };
    return { std::begin(allModels), std::end(allModels) };
}

void FitDetails::fillTable()
{
    const int selected = m_table->currentRow() >= 0
        ? m_table->item(m_table->currentRow(), ChannelColumn)->data(Qt::UserRole).toInt()
        : 0;
    const QVector<DeadTimeModel> models = shownModels();
    m_table->clearContents();
    m_table->setRowCount(m_channels.size() * models.size());
    int row = 0;
    for (const ChannelComparison &c : qAsConst(m_channels)) {
        for (DeadTimeModel model : models) {
            const StageFit &pre = c.preAmp.fit(model);
            const StageFit &amp = c.amp.fit(model);
            const QStringList cells {
                QString::number(c.channel),
                modelTitle(model),
                formatDeadTime(pre.tau, pre.tauStdErr, hasNumbers(pre)),
                formatDeadTime(amp.tau, amp.tauStdErr, hasNumbers(amp)),
                chi2Text(pre),
                chi2Text(amp),
                preferenceTitle(c.preAmp.preferred),
                preferenceTitle(c.amp.preferred),
                flagText(c.flags()),
            };
            for (int col = 0; col < ColumnCount; ++col) {
                auto *item = new QTableWidgetItem(cells[col]);
                if (col == ChannelColumn)
                    item->setData(Qt::UserRole, c.channel);
                if (col == Tau0Column && !pre.ok)
                    item->setToolTip(pre.failure);
                if (col == TauColumn && !amp.ok)
                    item->setToolTip(amp.failure);
                if (col != ModelColumn && col != FlagsColumn)
                    item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
                m_table->setItem(row, col, item);
            }
            ++row;
        }
    }
    m_table->resizeColumnsToContents();
    m_status->setText(m_channels.isEmpty()
                          ? tr("No estimation: read at least two measurement points.")
                          : tr("Normalised residuals (y − fit) / σ of the selected channel; "
                               "where a model holds they scatter within ±2."));
    if (row > 0) {
        int first = 0;
        for (int r = 0; r < row; ++r) {
            if (m_table->item(r, ChannelColumn)->data(Qt::UserRole).toInt() == selected) {
                first = r;
                break;
            }
        }
        m_table->selectRow(first);
    }
    drawResiduals();
}

void FitDetails::drawResiduals()
{
    const QSize size = m_residuals->size().expandedTo(QSize(320, 240));
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::white);
    const int row = m_table->currentRow();
    if (row >= 0 && !m_channels.isEmpty()) {
        const int channel = m_table->item(row, ChannelColumn)->data(Qt::UserRole).toInt();
        const QVector<QColor> colors = plotChannelColors();
        QPainter p(&image);
        const int rows = 3;
        const int height = size.height() / rows;
        for (int i = 0; i < rows; ++i) {
            const DeadTimeModel model = allModels[i];
            ResidualPanel pre
                = residualPanel(m_channels, m_points, model, FitStage::PreAmp, channel);
            pre.title = tr("%1, channel %2: against I0").arg(modelTitle(model)).arg(channel);
            ResidualPanel amp = residualPanel(m_channels, m_points, model, FitStage::Amp, channel);
            amp.title = tr("%1, channel %2: against ICR").arg(modelTitle(model)).arg(channel);
            drawResidualPanel(p, QRect(0, i * height, size.width() / 2, height), pre, colors);
            drawResidualPanel(
                p, QRect(size.width() / 2, i * height, size.width() - size.width() / 2, height),
                amp, colors);
        }
    }
    m_residuals->setPixmap(QPixmap::fromImage(image));
}

void FitDetails::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    drawResiduals();
}

QString FitDetails::tableText(QChar separator) const
{
    QStringList header { QStringLiteral("channel"),
                         QStringLiteral("model"),
                         QStringLiteral("tau0"),
                         QStringLiteral("tau0StdErr"),
                         QStringLiteral("tau"),
                         QStringLiteral("tauStdErr"),
                         QStringLiteral("reducedChi2I0Icr"),
                         QStringLiteral("reducedChi2IcrSca"),
                         QStringLiteral("preferredI0Icr"),
                         QStringLiteral("preferredIcrSca"),
                         QStringLiteral("flags") };
    QString text = header.join(separator) + QLatin1Char('\n');
    for (const ChannelComparison &c : m_channels) {
        for (DeadTimeModel model : shownModels()) {
            const StageFit &pre = c.preAmp.fit(model);
            const StageFit &amp = c.amp.fit(model);
            const bool preShown = hasNumbers(pre);
            const bool ampShown = hasNumbers(amp);
            // Flag names hold no separator, so the list needs no quotes.
            const QStringList cells {
                QString::number(c.channel),
                deadTimeModelName(model),
                machineNumber(pre.tau, preShown),
                machineNumber(pre.tauStdErr, preShown),
                machineNumber(amp.tau, ampShown),
                machineNumber(amp.tauStdErr, ampShown),
                machineNumber(pre.reducedChi2, preShown),
                machineNumber(amp.reducedChi2, ampShown),
                modelPreferenceName(c.preAmp.preferred),
                modelPreferenceName(c.amp.preferred),
                deadTimeFlagNames(c.flags()).join(QLatin1Char(' ')),
            };
            text += cells.join(separator) + QLatin1Char('\n');
        }
    }
    return text;
}

void FitDetails::copyTable()
{
    QGuiApplication::clipboard()->setText(tableText(QLatin1Char('\t')));
}

void FitDetails::saveTable(const QString &path)
{
    QFile file(path);
    const QByteArray bytes = tableText(QLatin1Char(',')).toUtf8();
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        m_status->setText(tr("Cannot write %1: %2").arg(path, file.errorString()));
    else
        m_status->setText(tr("Saved %1").arg(path));
}

bool FitDetails::chosenExactModel(DeadTimeModel &model)
{
    const QVector<DeadTimeModel> shown = shownModels();
    if (m_channels.isEmpty()) {
        emit message(tr("No fit yet: load measurement files first"));
        return false;
    }
    if (shown.size() != 1 || shown.first() == DeadTimeModel::Quadratic) {
        emit message(tr("Choose the paralyzable or the non-paralyzable model first"));
        return false;
    }
    model = shown.first();
    return true;
}

void FitDetails::saveDeadTimes(const QString &path)
{
    DeadTimeModel model;
    if (!chosenExactModel(model))
        return;
    QStringList inputs;
    for (int p = 0; p < m_points.size(); ++p) {
        if (!inputs.contains(m_points.source(p).file))
            inputs.append(m_points.source(p).file);
    }
    const DeadTimesProvenance provenance =
            provenanceOf(inputs, QString(), QCoreApplication::applicationVersion());
    const QByteArray bytes =
            QJsonDocument(deadTimesFileJson(model, m_points.size(), m_channels, provenance))
                    .toJson(QJsonDocument::Indented);
    QFile file(path);
    if (file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.flush())
        emit message(tr("Saved the dead times in %1").arg(path));
    else
        emit message(tr("Cannot write %1").arg(path));
}

void FitDetails::correctScans(const QStringList &paths)
{
    ScanCorrectionSetup setup;
    if (!chosenExactModel(setup.model))
        return;
    for (const ChannelComparison &c : m_channels) {
        const StageFit &pre = c.preAmp.fit(setup.model);
        const StageFit &amp = c.amp.fit(setup.model);
        setup.deadTimes.append({ pre.tau, pre.tauStdErr, amp.tau, amp.tauStdErr, amp.scale,
                                 amp.scaleStdErr, amp.scaleTauCovariance });
    }
    int corrected = 0;
    qint64 uncorrected = 0;
    QStringList problems;
    for (const QString &path : paths) {
        const ScanCorrectionReport r = correctScanFile(setup, path, correctedScanPath(path));
        if (!r.ok()) {
            problems.append(tr("%1 (%2)").arg(QFileInfo(path).fileName(), r.error));
            continue;
        }
        ++corrected;
        uncorrected += r.totalUncorrected();
    }
    QString text = tr("Corrected %1 of %2 scans beside them").arg(corrected).arg(paths.size());
    if (uncorrected > 0)
        text += tr("; %1 points left uncorrected (nan)").arg(uncorrected);
    if (!problems.isEmpty())
        text += tr("; not corrected: %1").arg(problems.join(QStringLiteral(", ")));
    emit message(text);
}
