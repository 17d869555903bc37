// SPDX-License-Identifier: GPL-3.0-or-later
#include "fitdetails.h"

#include "deadtimesfile.h"
#include "hdf5columns.h"
#include "scanfile.h"

#include "plotdata.h"
#include "residualplot.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
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
#include <QScreen>
#include <QScrollBar>
#include <QShortcut>
#include <QSplitter>
#include <QTableWidget>
#include <QThread>
#include <QVBoxLayout>

#include <algorithm>
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
    case ModelPreference::Quadratic:
        return FitDetails::tr("Quadratic");
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

ChannelComparison channelOf(const QVector<ChannelComparison> &channels, int channel)
{
    for (const ChannelComparison &c : channels) {
        if (c.channel == channel)
            return c;
    }
    return ChannelComparison();
}

// Only a successful fit shows numbers; the quadratic's stay in the result row
// whatever its fit quality, but here a failed one is a failure like the others.
bool hasNumbers(const StageFit &fit)
{
    return fit.ok;
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
    AColumn,
    D0Column,
    Chi2PreColumn,
    Chi2AmpColumn,
    PreferredPreColumn,
    PreferredAmpColumn,
    FlagsPreColumn,
    FlagsAmpColumn,
    ColumnCount
};

// The background of a dead time whose stage carries a flag, and of one the
// data do not determine, greyed as its result box is.
const QColor flaggedColor(255, 214, 190);
const QColor undeterminedColor(222, 222, 222);

QString microseconds(double v)
{
    return QString::number(v * 1e6, 'g', 2);
}

// The dead time of a stage as the window shows it: "not determined" where
// the input cannot give it, else the value with its total error.
QString stageDeadTime(const StageComparison &s, DeadTimeModel model)
{
    if (s.undetermined())
        return FitDetails::tr("not determined");
    const StageFit &f = s.fit(model);
    return formatDeadTime(f.tau, s.uncertainty(model).total, hasNumbers(f));
}

QString scaleText(const StageFit &f)
{
    if (!hasNumbers(f) || !std::isfinite(f.scale))
        return QStringLiteral("-");
    if (f.parameters < 2)
        return FitDetails::tr("%1 (fixed)").arg(QString::number(f.scale, 'g', 5));
    return QStringLiteral("%1 ± %2").arg(QString::number(f.scale, 'g', 5),
                                         QString::number(f.scaleStdErr, 'g', 2));
}

// Why the data do not determine a stage, in the window's words.
QString verdictText(Verdict verdict)
{
    switch (verdict) {
    case Verdict::Determined:
        break;
    case Verdict::TooFewPoints:
        return FitDetails::tr("fewer than 3 usable points");
    case Verdict::NoCounts:
        return FitDetails::tr("no counts at any point");
    case Verdict::OneRate:
        return FitDetails::tr("the rates never change (a stale readout)");
    case Verdict::Broken:
        return FitDetails::tr("SCA above ICR at most points: the fast channel misses events");
    case Verdict::NotIntensityScan:
        return FitDetails::tr("I0 does not vary by a factor 2, or ICR does not follow it "
                              "(an energy scan)");
    case Verdict::FitFailed:
        return FitDetails::tr("no law gives a usable fit");
    }
    return QString();
}

QString notDeterminedText(const StageComparison &s)
{
    return FitDetails::tr("Not determined: %1").arg(verdictText(s.verdict));
}

// The parts of the error, one a line.
QString errorParts(const StageComparison &s, DeadTimeModel model)
{
    const TauUncertainty &u = s.uncertainty(model);
    QString text = FitDetails::tr("statistical %1 µs").arg(microseconds(u.statistical));
    if (u.model > 0.0)
        text += QLatin1Char('\n') + FitDetails::tr("model (laws not told apart) %1 µs").arg(microseconds(u.model));
    if (u.fileFits >= 2)
        text += QLatin1Char('\n')
                + FitDetails::tr("between %1 files %2 µs (their scatter %3 µs)")
                          .arg(u.fileFits)
                          .arg(microseconds(u.files), microseconds(u.fileScatter));
    text += QLatin1Char('\n') + FitDetails::tr("total, in quadrature: %1 µs").arg(microseconds(u.total));
    if (s.flags.testFlag(DeadTimeFlag::Underdispersed))
        text += QLatin1Char('\n')
                + FitDetails::tr("reduced χ² far below 1: the weights do not describe the noise");
    return text;
}

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
    const QString scaleName = stage == FitStage::PreAmp ? QStringLiteral("a") : QStringLiteral("d0");
    for (DeadTimeModel model : allModels) {
        const StageFit &f = s.fit(model);
        text += QLatin1Char('\n')
            + FitDetails::tr("%1: %2").arg(modelTitle(model), stageDeadTime(s, model))
            + QStringLiteral(", %1 = %2").arg(scaleName, scaleText(f));
    }
    text += QLatin1Char('\n')
        + FitDetails::tr("Preferred model: %1").arg(preferenceTitle(s.preferred));
    text += QLatin1Char('\n') + FitDetails::tr("Flags: %1").arg(flagText(s.flags));
    if (s.undetermined())
        text += QLatin1Char('\n') + notDeterminedText(s);
    else
        text += QLatin1Char('\n') + FitDetails::tr("Error of the quadratic's dead time:")
            + QLatin1Char('\n') + errorParts(s, DeadTimeModel::Quadratic);
    return text;
}

FitDetails::FitDetails(QWidget *parent)
    : QWidget(parent, Qt::Window)
    , m_model(new QComboBox)
    , m_fixD0(new QCheckBox(tr("Amplifier with d0 = 1")))
    , m_ampOnly(new QCheckBox(tr("Amplifier stage alone")))
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
                                         tr("a ± σ"), tr("d0 ± σ"),
                                         tr("Reduced χ² (I0 → ICR)"), tr("Reduced χ² (ICR → SCA)"),
                                         tr("Preferred (Tau0)"), tr("Preferred (Tau)"),
                                         tr("Flags (Tau0)"), tr("Flags (Tau)") });
    m_fixD0->setToolTip(tr("Fit the amplifier stage with d0 = 1, the convention of electronics "
                           "whose SCA column is their total output count"));
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::SingleSelection);
    m_table->verticalHeader()->hide();
    // Every column as wide as its text; a stretched last column would be cut
    // to the room left rather than scroll.
    m_table->horizontalHeader()->setStretchLastSection(false);
    m_table->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    m_table->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);

    m_residuals->setMinimumSize(320, 240);
    m_status->setWordWrap(true);
    m_residuals->setAlignment(Qt::AlignCenter);
    m_residuals->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);

    auto *copy = new QPushButton(tr("Copy"));
    auto *save = new QPushButton(tr("Save CSV..."));
    auto *saveDeadTimes = new QPushButton(tr("Save dead times..."));
    auto *correct = m_correctButton = new QPushButton(tr("Correct scans..."));
    auto *top = new QHBoxLayout;
    top->addWidget(new QLabel(tr("Model:")));
    top->addWidget(m_model);
    top->addWidget(m_fixD0);
    top->addStretch();
    top->addWidget(copy);
    top->addWidget(save);
    // What the fit is for, on a row of its own so that the window still fits
    // a small screen.
    auto *apply = new QHBoxLayout;
    apply->addStretch();
    // Offered only where the data give no pre-amplifier dead time.
    m_ampOnly->setToolTip(tr("Correct the amplifier stage alone, neglecting the pre-amplifier's "
                             "dead time: ICR is taken as the amplifier's input rate"));
    m_ampOnly->hide();
    apply->addWidget(m_ampOnly);
    apply->addWidget(saveDeadTimes);
    apply->addWidget(correct);

    // The user shares the height between the table and the residuals.
    auto *below = new QWidget;
    auto *belowLayout = new QVBoxLayout(below);
    belowLayout->setContentsMargins(0, 0, 0, 0);
    belowLayout->addWidget(m_status);
    belowLayout->addWidget(m_residuals, 1);
    m_splitter = new QSplitter(Qt::Vertical);
    m_splitter->setChildrenCollapsible(false);
    m_splitter->addWidget(m_table);
    m_splitter->addWidget(below);
    m_splitter->setStretchFactor(0, 2);
    m_splitter->setStretchFactor(1, 3);

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addLayout(apply);
    layout->addWidget(m_splitter, 1);

    auto *close = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(close, &QShortcut::activated, this, &QWidget::close);
    close = new QShortcut(QKeySequence(Qt::CTRL + Qt::Key_W), this);
    connect(close, &QShortcut::activated, this, &QWidget::close);

    connect(m_model, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            &FitDetails::fillTable);
    connect(m_table, &QTableWidget::itemSelectionChanged, this, &FitDetails::drawResiduals);
    connect(m_fixD0, &QCheckBox::toggled, this, &FitDetails::refit);
    connect(copy, &QPushButton::clicked, this, &FitDetails::copyTable);
    connect(save, &QPushButton::clicked, m_saveDialog, &QFileDialog::show);
    connect(m_saveDialog, &QFileDialog::fileSelected, this, &FitDetails::saveTable);
    connect(saveDeadTimes, &QPushButton::clicked, m_deadTimesDialog, &QFileDialog::show);
    connect(m_deadTimesDialog, &QFileDialog::fileSelected, this, &FitDetails::saveDeadTimes);
    connect(correct, &QPushButton::clicked, m_correctDialog, &QFileDialog::show);
    connect(m_correctDialog, &QFileDialog::filesSelected, this, &FitDetails::correctScans);
    resize(1200, 760);
}

void FitDetails::closeWith(const QKeySequence &shortcut)
{
    auto *close = new QShortcut(shortcut, this);
    connect(close, &QShortcut::activated, this, &QWidget::close);
}

void FitDetails::showEvent(QShowEvent *event)
{
    if (!m_sized) {
        m_sized = true;
        fitToScreen();
    }
    QWidget::showEvent(event);
}

void FitDetails::fitToScreen()
{
    const QScreen *screen = parentWidget() ? parentWidget()->screen() : this->screen();
    const QRect room = screen ? screen->availableGeometry() : QRect(0, 0, 1200, 760);
    // The frame the window manager adds is not known before the window is
    // shown; leave room for a title bar and borders.
    const QSize frame(16, 48);
    // Measured again now that the window has its style and font.
    m_table->resizeColumnsToContents();
    const QHeaderView *header = m_table->horizontalHeader();
    const int tableWidth = header->length() + 2 * m_table->frameWidth()
            + m_table->verticalScrollBar()->sizeHint().width();
    const QMargins margins = layout()->contentsMargins();
    const int width = tableWidth + margins.left() + margins.right();
    const QSize wanted(qMax(width, 800), 760);
    resize(wanted.boundedTo(room.size() - frame));
    // Centred over the window that opened it, inside the screen.
    QRect placed(QPoint(), size());
    placed.moveCenter(parentWidget() ? parentWidget()->geometry().center() : room.center());
    const QPoint last(room.right() - placed.width() - frame.width(),
                      room.bottom() - placed.height() - frame.height());
    placed.moveLeft(qBound(room.left(), placed.left(), qMax(room.left(), last.x())));
    placed.moveTop(qBound(room.top(), placed.top(), qMax(room.top(), last.y())));
    move(placed.topLeft());

    // The table as tall as its rows where that leaves the residuals room,
    // else scrolling within three fifths of the height.
    layout()->activate();
    const int total = m_splitter->height();
    const int rows = m_table->horizontalHeader()->height() + 2 * m_table->frameWidth()
            + m_table->verticalHeader()->length()
            + (header->length() > m_table->viewport()->width()
                       ? m_table->horizontalScrollBar()->sizeHint().height()
                       : 0);
    const int tableHeight = qMin(rows, total * 3 / 5);
    m_splitter->setSizes({ tableHeight, total - tableHeight });
}

void FitDetails::setComparison(const PointSet &points, const QVector<ChannelComparison> &channels)
{
    m_points = points;
    m_freeChannels = channels;
    refit();
}

void FitDetails::refit()
{
    if (m_fixD0->isChecked() && !m_freeChannels.isEmpty()) {
        QGuiApplication::setOverrideCursor(Qt::WaitCursor);
        m_channels = compareChannels(m_points, true);
        QGuiApplication::restoreOverrideCursor();
    } else {
        m_channels = m_freeChannels;
    }
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
                stageDeadTime(c.preAmp, model),
                stageDeadTime(c.amp, model),
                scaleText(pre),
                scaleText(amp),
                chi2Text(pre),
                chi2Text(amp),
                preferenceTitle(c.preAmp.preferred),
                preferenceTitle(c.amp.preferred),
                flagText(c.preAmp.flags),
                flagText(c.amp.flags),
            };
            for (int col = 0; col < ColumnCount; ++col) {
                auto *item = new QTableWidgetItem(cells[col]);
                if (col == ChannelColumn)
                    item->setData(Qt::UserRole, c.channel);
                if (col == Tau0Column || col == TauColumn)
                    markStage(item, col == Tau0Column ? c.preAmp : c.amp, model);
                if (col != ModelColumn && col != FlagsPreColumn && col != FlagsAmpColumn)
                    item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
                m_table->setItem(row, col, item);
            }
            ++row;
        }
    }
    m_table->resizeColumnsToContents();
    m_ampOnly->setVisible(std::any_of(
            m_channels.cbegin(), m_channels.cend(),
            [](const ChannelComparison &c) { return c.preAmp.undetermined(); }));
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

void FitDetails::markStage(QTableWidgetItem *item, const StageComparison &s,
                           DeadTimeModel model) const
{
    const StageFit &f = s.fit(model);
    if (s.undetermined()) {
        item->setBackground(undeterminedColor);
        item->setToolTip(notDeterminedText(s));
        return;
    }
    if (s.flags)
        item->setBackground(flaggedColor);
    if (!f.ok && !f.failure.isEmpty())
        item->setToolTip(f.failure);
    else if (!s.undetermined())
        item->setToolTip(errorParts(s, model));
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
            // A stage the data do not determine has no residuals to show: its
            // strip says why it is empty.
            const ChannelComparison shown = channelOf(m_channels, channel);
            if (shown.preAmp.undetermined())
                pre.title += QStringLiteral(" — ") + notDeterminedText(shown.preAmp);
            if (shown.amp.undetermined())
                amp.title += QStringLiteral(" — ") + notDeterminedText(shown.amp);
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
                         QStringLiteral("flags"),
                         QStringLiteral("a"),
                         QStringLiteral("aStdErr"),
                         QStringLiteral("d0"),
                         QStringLiteral("d0StdErr"),
                         QStringLiteral("flagsI0Icr"),
                         QStringLiteral("flagsIcrSca") };
    QString text = header.join(separator) + QLatin1Char('\n');
    for (const ChannelComparison &c : m_channels) {
        for (DeadTimeModel model : shownModels()) {
            const StageFit &pre = c.preAmp.fit(model);
            const StageFit &amp = c.amp.fit(model);
            const bool preShown = hasNumbers(pre) && !c.preAmp.undetermined();
            const bool ampShown = hasNumbers(amp) && !c.amp.undetermined();
            // Flag names hold no separator, so the list needs no quotes.
            const QStringList cells {
                QString::number(c.channel),
                deadTimeModelName(model),
                machineNumber(pre.tau, preShown),
                machineNumber(c.preAmp.uncertainty(model).total, preShown),
                machineNumber(amp.tau, ampShown),
                machineNumber(c.amp.uncertainty(model).total, ampShown),
                machineNumber(pre.reducedChi2, preShown),
                machineNumber(amp.reducedChi2, ampShown),
                modelPreferenceName(c.preAmp.preferred),
                modelPreferenceName(c.amp.preferred),
                deadTimeFlagNames(c.flags()).join(QLatin1Char(' ')),
                machineNumber(pre.scale, hasNumbers(pre)),
                machineNumber(pre.scaleStdErr, hasNumbers(pre)),
                machineNumber(amp.scale, hasNumbers(amp)),
                machineNumber(amp.scaleStdErr, hasNumbers(amp)),
                deadTimeFlagNames(c.preAmp.flags).join(QLatin1Char(' ')),
                deadTimeFlagNames(c.amp.flags).join(QLatin1Char(' ')),
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
    // The same provenance as the batch command's: a scan corrected later
    // must be traceable to these files, this recipe and this version.
    const DeadTimesProvenance provenance = provenanceOf(inputs, m_recipeText);
    const QByteArray bytes =
            QJsonDocument(deadTimesFileJson(model, m_points.size(), m_channels, provenance))
                    .toJson(QJsonDocument::Indented);
    QFile file(path);
    if (file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.flush())
        emit message(tr("Saved the dead times in %1").arg(path));
    else
        emit message(tr("Cannot write %1").arg(path));
}

FitDetails::~FitDetails()
{
    // The thread writes into this object's summary; it must end first.
    if (m_correcting) {
        m_correcting->wait();
        delete m_correcting;
    }
}

namespace {

bool isHdf5File(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) && looksLikeHdf5(file.read(4096));
}

// Corrects a scan beside itself: a column file through the built-in recipe
// that maps it, else through the given one; an HDF5 scan through the given one.
ScanCorrectionReport correctBeside(ScanCorrectionSetup setup, const std::optional<Recipe> &recipe,
                                   const QString &path)
{
    const QString output = correctedScanPath(path);
    if (recipe && isHdf5File(path))
        setup.recipe = recipe;
    ScanCorrectionReport r = correctScanFile(setup, path, output);
    if (!r.ok() && recipe && !setup.recipe) {
        setup.recipe = recipe;
        r = correctScanFile(setup, path, output);
    }
    return r;
}

// Corrects each scan beside itself and says what came of it.
QString correctScansBeside(const ScanCorrectionSetup &setup, const std::optional<Recipe> &recipe,
                           const QStringList &paths)
{
    int corrected = 0;
    qint64 uncorrected = 0;
    QStringList problems;
    QStringList notDetermined;
    for (const QString &path : paths) {
        const ScanCorrectionReport r = correctBeside(setup, recipe, path);
        if (!r.ok()) {
            // The command's own words point to its options; here the recipe
            // is the one of the Columns window.
            const QString why = r.needsRecipe
                    ? FitDetails::tr("no recipe reads its columns; set one in the Columns window")
                    : r.error;
            problems.append(FitDetails::tr("%1 (%2)").arg(QFileInfo(path).fileName(), why));
            continue;
        }
        ++corrected;
        QStringList refused;
        for (size_t i = 0; i < r.uncorrected.size(); ++i) {
            if (r.refused[i].isEmpty())
                uncorrected += r.uncorrected[i];
            else
                refused.append(QString::number(r.elementNumbers[i]));
        }
        if (!refused.isEmpty())
            notDetermined.append(FitDetails::tr("%1 element %2")
                                         .arg(QFileInfo(path).fileName(),
                                              refused.join(QStringLiteral(", "))));
    }
    QString text = FitDetails::tr("Corrected %1 of %2 scans beside them")
                           .arg(corrected)
                           .arg(paths.size());
    if (uncorrected > 0)
        text += FitDetails::tr("; %1 points left uncorrected (nan)").arg(uncorrected);
    // What the fit did not determine corrects nothing; the ways that would
    // are those of the batch command.
    if (!notDetermined.isEmpty())
        text += FitDetails::tr("; left uncorrected (nan), their dead times not determined: %1 "
                               "(dead times from a calibration at several intensities would "
                               "correct them, or the amplifier stage alone)")
                        .arg(notDetermined.join(QStringLiteral(", ")));
    if (!problems.isEmpty())
        text += FitDetails::tr("; not corrected: %1").arg(problems.join(QStringLiteral(", ")));
    return text;
}

} // namespace

void FitDetails::correctScans(const QStringList &paths)
{
    if (m_correcting || paths.isEmpty())
        return;
    ScanCorrectionSetup setup;
    if (!chosenExactModel(setup.model))
        return;
    // As the batch command: nothing is written when one output would replace
    // another, or a scan before it is read.
    QStringList outputs;
    for (const QString &path : paths)
        outputs.append(correctedScanPath(path));
    const QString collision = correctionOutputCollision(paths, outputs);
    if (!collision.isEmpty()) {
        emit message(tr("Nothing corrected: %1").arg(collision));
        return;
    }
    if (!m_ampOnly->isHidden() && m_ampOnly->isChecked())
        setup.source = CorrectionSource::AmpFromIcr;
    for (const ChannelComparison &c : m_channels) {
        const ChannelDeadTimes dt = channelDeadTimes(c, setup.model);
        setup.deadTimes.append(dt.deadTimes);
        setup.standings.append(dt.standing);
    }
    std::optional<Recipe> recipe;
    if (!m_recipeText.isEmpty()) {
        const RecipeParse parsed = parseRecipe(m_recipeText);
        if (parsed.ok())
            recipe = parsed.recipe;
    }
    // The fit's channels are the elements of the recipe its points were read
    // through: a scan lacking one of them is then corrected element by
    // element all the same. Without that recipe each scan must have exactly
    // as many elements as the fit has channels.
    setup.channelElements = channelElementsOf(m_recipeText, setup.deadTimes.size());
    m_correctButton->setEnabled(false);
    emit message(tr("Correcting %n scan(s)...", nullptr, int(paths.size())));
    QThread *thread = QThread::create([this, setup, recipe, paths] {
        m_correctionSummary = correctScansBeside(setup, recipe, paths);
    });
    m_correcting = thread;
    connect(thread, &QThread::finished, this, [this, thread] { reportCorrections(thread); });
    thread->start();
}

void FitDetails::finishCorrections()
{
    if (m_correcting) {
        m_correcting->wait();
        reportCorrections(m_correcting);
    }
}

void FitDetails::reportCorrections(QThread *thread)
{
    // The queued "finished" may arrive after finishCorrections() reported.
    if (thread != m_correcting)
        return;
    m_correcting = nullptr;
    thread->deleteLater();
    m_correctButton->setEnabled(true);
    emit message(m_correctionSummary);
}
