// SPDX-License-Identifier: GPL-3.0-or-later
#include "fitdetails.h"

#include "deadtimesfile.h"
#include "fittexts.h"
#include "plotdata.h"
#include "residualplot.h"
#include "scanfile.h"

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
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace {

// A number of the machine-readable table: full precision, empty where there is none.
QString machineNumber(double v, bool shown)
{
    return shown && std::isfinite(v) ? QString::number(v, 'g', 17) : QString();
}

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

ChannelComparison channelOf(const QVector<ChannelComparison> &channels, int channel)
{
    for (const ChannelComparison &c : channels) {
        if (c.channel == channel)
            return c;
    }
    return ChannelComparison();
}

} // namespace

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
    setUpDialogs();
    m_model->addItem(tr("All models"));
    for (DeadTimeModel model : allModels)
        m_model->addItem(modelTitle(model));
    m_fixD0->setToolTip(tr("Fit the amplifier stage with d0 = 1, the convention of electronics "
                           "whose SCA column is their total output count"));
    setUpTable();
    m_residuals->setMinimumSize(320, 240);
    m_status->setWordWrap(true);
    m_residuals->setAlignment(Qt::AlignCenter);
    m_residuals->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
    layOut();
    closeWith(QKeySequence(Qt::Key_Escape));
    closeWith(QKeySequence(Qt::CTRL + Qt::Key_W));

    connect(m_model, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            &FitDetails::fillTable);
    connect(m_table, &QTableWidget::itemSelectionChanged, this, &FitDetails::drawResiduals);
    connect(m_fixD0, &QCheckBox::toggled, this, &FitDetails::refit);
    connect(m_saveDialog, &QFileDialog::fileSelected, this, &FitDetails::saveTable);
    connect(m_deadTimesDialog, &QFileDialog::fileSelected, this, &FitDetails::saveDeadTimes);
    connect(m_correctDialog, &QFileDialog::filesSelected, this, &FitDetails::correctScans);
    connect(&m_corrections, &ScanBatchRunner::finished, this, &FitDetails::reportCorrections);
    resize(1200, 760);
}

// The dialogs keep their folder from one use to the next, and leave the
// window usable while they are open.
void FitDetails::setUpDialogs()
{
    m_saveDialog->setAcceptMode(QFileDialog::AcceptSave);
    m_saveDialog->setDefaultSuffix(QStringLiteral("csv"));
    m_saveDialog->setWindowModality(Qt::NonModal);
    m_deadTimesDialog->setAcceptMode(QFileDialog::AcceptSave);
    m_deadTimesDialog->setDefaultSuffix(QStringLiteral("json"));
    m_deadTimesDialog->setWindowModality(Qt::NonModal);
    m_correctDialog->setFileMode(QFileDialog::ExistingFiles);
    m_correctDialog->setWindowModality(Qt::NonModal);
}

void FitDetails::setUpTable()
{
    m_table->setHorizontalHeaderLabels({ tr("Channel"), tr("Model"), tr("Tau0 ± σ"), tr("Tau ± σ"),
                                         tr("a ± σ"), tr("d0 ± σ"),
                                         tr("Reduced χ² (I0 → ICR)"), tr("Reduced χ² (ICR → SCA)"),
                                         tr("Preferred (Tau0)"), tr("Preferred (Tau)"),
                                         tr("Flags (Tau0)"), tr("Flags (Tau)") });
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::SingleSelection);
    m_table->verticalHeader()->hide();
    // Every column as wide as its text; a stretched last column would be cut
    // to the room left rather than scroll.
    m_table->horizontalHeader()->setStretchLastSection(false);
    m_table->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    m_table->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
}

void FitDetails::layOut()
{
    auto *copy = new QPushButton(tr("Copy"));
    auto *save = new QPushButton(tr("Save CSV..."));
    auto *saveDeadTimes = new QPushButton(tr("Save dead times..."));
    m_correctButton = new QPushButton(tr("Correct scans..."));
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
    apply->addWidget(m_correctButton);

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

    connect(copy, &QPushButton::clicked, this, &FitDetails::copyTable);
    connect(save, &QPushButton::clicked, m_saveDialog, &QFileDialog::show);
    connect(saveDeadTimes, &QPushButton::clicked, m_deadTimesDialog, &QFileDialog::show);
    connect(m_correctButton, &QPushButton::clicked, m_correctDialog, &QFileDialog::show);
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
            const bool preShown = pre.ok && !c.preAmp.undetermined();
            const bool ampShown = amp.ok && !c.amp.undetermined();
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
                machineNumber(pre.scale, pre.ok),
                machineNumber(pre.scaleStdErr, pre.ok),
                machineNumber(amp.scale, amp.ok),
                machineNumber(amp.scaleStdErr, amp.ok),
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

void FitDetails::correctScans(const QStringList &paths)
{
    if (m_corrections.isRunning() || paths.isEmpty())
        return;
    ScanBatch batch;
    ScanCorrectionSetup &setup = batch.setup;
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
    if (!m_recipeText.isEmpty()) {
        const RecipeParse parsed = parseRecipe(m_recipeText);
        if (parsed.ok())
            batch.fallbackRecipe = parsed.recipe;
    }
    // The fit's channels are the elements of the recipe its points were read
    // through: a scan lacking one of them is then corrected element by
    // element all the same. Without that recipe each scan must have exactly
    // as many elements as the fit has channels.
    setup.channelElements = channelElementsOf(m_recipeText, setup.deadTimes.size());
    batch.scans = paths;
    m_correctButton->setEnabled(false);
    emit message(tr("Correcting %n scan(s)...", nullptr, int(paths.size())));
    m_corrections.start(batch);
}

void FitDetails::finishCorrections()
{
    m_corrections.wait();
}

void FitDetails::reportCorrections(const QVector<CorrectedScan> &scans)
{
    int corrected = 0;
    qint64 uncorrected = 0;
    QStringList problems;
    QStringList notDetermined;
    for (const CorrectedScan &scan : scans) {
        const ScanCorrectionReport &r = scan.report;
        if (!r.ok()) {
            // The command's own words point to its options; here the recipe
            // is the one of the Columns window.
            const QString why = r.needsRecipe
                    ? tr("no recipe reads its columns; set one in the Columns window")
                    : r.error;
            problems.append(tr("%1 (%2)").arg(QFileInfo(scan.scan).fileName(), why));
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
            notDetermined.append(tr("%1 element %2")
                                         .arg(QFileInfo(scan.scan).fileName(),
                                              refused.join(QStringLiteral(", "))));
    }
    QString text = tr("Corrected %1 of %2 scans beside them").arg(corrected).arg(scans.size());
    if (uncorrected > 0)
        text += tr("; %1 points left uncorrected (nan)").arg(uncorrected);
    // What the fit did not determine corrects nothing; the ways that would
    // are those of the batch command.
    if (!notDetermined.isEmpty())
        text += tr("; left uncorrected (nan), their dead times not determined: %1 "
                   "(dead times from a calibration at several intensities would "
                   "correct them, or the amplifier stage alone)")
                        .arg(notDetermined.join(QStringLiteral(", ")));
    if (!problems.isEmpty())
        text += tr("; not corrected: %1").arg(problems.join(QStringLiteral(", ")));
    m_correctButton->setEnabled(true);
    emit message(text);
}
