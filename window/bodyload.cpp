// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's load flow: files read into points, the Columns window for
// a column file no built-in recipe maps, points removed or cleared, and the
// message line that says what a load left to be wished.
#include "body.h"

#include "ameasp.h"
#include "columnsdialog.h"
#include "loader.h"
#include "loadnotes.h"
#include "recipe.h"
#include "recording.h"

#include <QDebug>
#include <QDir>
#include <QFileInfo>

namespace {

// The reader's trace, its search for the channel-count header and the files
// it cannot open, goes to the debug output line by line as it reads.
void printTrace(const QString &line)
{
    qDebug().noquote() << line;
}

} // namespace

void Body::addMeasPoint(double i0, const QVector<double> &icrs, const QVector<double> &scas)
{
    const int p = mset.points.size();
    mset.points.add(i0, icrs, scas);
    addPanels(p);
}

bool Body::readPointTable(const QString &fname)
{
    const int first = mset.points.size();
    const FileReport report = loadPointTable(fname, mset.points, printTrace);
    addPanels(first);
    return report.open.opened();
}

void Body::filesSelected(const QStringList &files)
{
    loadFiles(files, LoadOptions());
}

void Body::loadFiles(const QStringList &files, const LoadOptions &options)
{
    const int first = mset.points.size();
    const QVector<FileReport> reports =
            loadMeasurementFiles(files, mset.points, printTrace, options);
    addPanels(first);
    for (const FileReport &report : reports) {
        if (!report.recipeText.isEmpty() && !loadedRecipes.contains(report.recipeText))
            loadedRecipes.append(report.recipeText);
    }
    if (mset.mcas.size() > 1) {
        mset.calcTaus();
        watchResultBoxes();
    }
    showLoadMessage(reports);
    showChangedPoints();
    // The result row may have grown: the panel area's limit follows before
    // the next layout pass rather than after the first paint.
    panelScroll->updateHeightLimit();
    offerRecipe(reports);
}

void Body::offerRecipe(const QVector<FileReport> &reports)
{
    for (const FileReport &report : reports) {
        // A file that looks like a column file, read as a point table all
        // the same, is offered too: a recipe loaded for it replaces what the
        // table read gave. Point tables and spectrum files are not.
        if (!report.needsRecipe && report.looksLike.isEmpty())
            continue;
        if (!report.needsRecipe && !previewRecording(report.path, 1).error.isEmpty())
            continue;
        offerColumns(report.path);
        return;
    }
    offerColumns(QString());
}

void Body::offerColumns(const QString &path)
{
    columnsOffer = path;
    readAsColumns->setVisible(!path.isEmpty());
}

void Body::openColumnsWindow()
{
    if (!columnsWindow) {
        columnsWindow = new ColumnsDialog(this);
        connect(columnsWindow, &ColumnsDialog::loadRequested, this, &Body::loadWithRecipe);
    }
    columnsWindow->setFile(columnsOffer);
    columnsWindow->show();
    columnsWindow->raise();
}

void Body::loadWithRecipe(const QString &path, const QString &recipeText)
{
    const RecipeParse parsed = parseRecipe(recipeText);
    if (!parsed.ok())
        return; // the Columns window's check says why, and Load is off
    Recipe recipe = parsed.recipe;
    recipe.origin = tr("the recipe of the Columns window");
    LoadOptions options;
    options.recipe = &recipe;
    columnsRecipe = recipeText;
    const int before = mset.points.size();
    loadFiles({ path }, options);
    if (mset.points.size() > before)
        removePointsOf(path, before);
}

void Body::removePointsOf(const QString &path, int end)
{
    int first = -1;
    for (int p = end - 1; p >= 0; --p) {
        if (mset.points.source(p).file != path)
            continue;
        delete mset.mcas.takeAt(p);
        first = p;
    }
    if (first < 0)
        return;
    putPanelsInRows(first);
    mset.points.removeFromFile(path, end);
    showVisiblePanels();
    estimateRemainingPoints();
}

void Body::showChangedPoints()
{
    forgetPlotData();
    markStaleResults();
    alignResultRow();
    updateFitDetails();
    // The plots take their ranges from the points again, whatever the
    // gestures made of them before.
    I0NinDisp->coord.userRange = false;
    NinNoutDisp->coord.userRange = false;
    I0NinDisp->update();
    NinNoutDisp->update();
}

void Body::clearMcas()
{
    mset.estimated = false;
    frame_3->hide();
    for (AMeasP *panel : qAsConst(mset.mcas))
        delete panel;
    mset.mcas.clear();
    frame_3->show();
    dropResults();
    mset.points.clear();
    mset.leftOut.clear();
    columnsRecipe.clear();
    loadedRecipes.clear();
    offerColumns(QString());
    updateStripMode();
    showMessage(QString());
    showChangedPoints();
}

void Body::removePoint(int p)
{
    if (p < 0 || p >= mset.mcas.size())
        return;
    delete mset.mcas.takeAt(p);
    mset.points.removeAt(p);
    // The panels below move up a row, so that row q stays the panel of
    // point q, which is what the lazy building of the panels in view counts
    // on.
    putPanelsInRows(p);
    updateStripMode();
    showVisiblePanels();
    estimateRemainingPoints();
}

void Body::estimateRemainingPoints()
{
    // As after a load, but the results of points that are gone must go too
    // when what is left cannot be estimated.
    if (mset.points.canEstimate()) {
        mset.calcTaus();
        watchResultBoxes();
    } else {
        dropResults();
    }
    showChangedPoints();
}

void Body::showLoadMessage(const QVector<FileReport> &reports)
{
    // The label names the files; its tooltip gives their whole paths, one a line.
    QStringList shortProblems;
    QStringList longProblems;
    QStringList shortParts;
    QStringList longParts;
    for (const FileReport &report : reports) {
        const QString name = QFileInfo(report.path).fileName();
        const QString path = QDir::toNativeSeparators(report.path);
        // What a point-table read passed over is said once, by its remark.
        if (report.notNumberLines > 0 && report.warnings.isEmpty()) {
            const QString text
                    = tr("%1 has fields that are not numbers, read as 0, from line %2 on");
            shortParts.append(text.arg(name).arg(report.firstNotNumberLine));
            longParts.append(text.arg(path).arg(report.firstNotNumberLine));
        }
        QString why;
        switch (report.open.kind) {
        case OpenStatus::NotRegularFile:
            why = tr("not a regular file");
            break;
        case OpenStatus::CannotOpen:
            why = report.open.reason.isEmpty() ? tr("cannot be opened") : report.open.reason;
            break;
        case OpenStatus::Opened:
            if (!report.error.isEmpty())
                why = report.error;
            else if (!report.gavePoints())
                why = tr("no measurement point in it");
            break;
        }
        if (why.isEmpty())
            continue;
        shortProblems.append(tr("%1 (%2)").arg(name, why));
        longProblems.append(tr("%1 (%2)").arg(path, why));
    }
    if (!shortProblems.isEmpty()) {
        shortParts.prepend(tr("Not loaded: %1").arg(shortProblems.join(QStringLiteral(", "))));
        longParts.prepend(tr("Not loaded:") + QLatin1Char('\n')
                          + longProblems.join(QLatin1Char('\n')));
    }
    // How the files were read: the recipe used, what a point-table read passed
    // over, a single channel.
    // Earlier results on screen: the single channel's note would say the row
    // stays empty; the stale-result line below says what the row shows.
    const PointSet &noted = mset.estimated ? PointSet() : mset.points;
    const QString notes = loadNotesText(reports, noted);
    if (!notes.isEmpty()) {
        shortParts.append(notes);
        longParts.append(loadNotesDetails(reports, noted));
    }
    describePoints(shortParts, longParts);
    showMessage(shortParts.join(QStringLiteral("; ")), longParts.join(QStringLiteral("\n")));
}

void Body::describePoints(QStringList &shortParts, QStringList &longParts) const
{
    // Points of different channel counts are fitted in the channels they all
    // have; a detector read with the wrong file is easily taken for that.
    const ChannelSpread spread = channelSpread(mset.points);
    if (spread.fewest >= 0 && mset.points.chs() >= 2) {
        const int most = mset.points.channelsOf(spread.most);
        const int fewest = mset.points.channelsOf(spread.fewest);
        const QString text = tr("Channel counts differ: %1 has %2, %3 has %4; the %5 channels "
                                "all points have are used");
        shortParts.append(text.arg(pointFile(spread.most, true)).arg(most)
                                  .arg(pointFile(spread.fewest, true)).arg(fewest)
                                  .arg(mset.points.chs()));
        longParts.append(text.arg(pointFile(spread.most, false)).arg(most)
                                 .arg(pointFile(spread.fewest, false)).arg(fewest)
                                 .arg(mset.points.chs()));
    }
    const QString reason = cannotEstimateReason(true);
    if (reason.isEmpty())
        return;
    // A single-element detector is no failed estimate: the load notes say why
    // the result row stays empty.
    if (!mset.estimated && mset.points.size() >= 2 && mset.points.chs() == 1)
        return;
    const QString text = mset.estimated
            ? tr("Dead times not updated: %1; the results shown are of the earlier points")
            : tr("No dead times: %1");
    shortParts.append(text.arg(reason));
    longParts.append(text.arg(cannotEstimateReason(false)));
}

QString Body::pointFile(int p, bool shortName) const
{
    const PointSource &source = mset.points.source(p);
    return shortName ? QFileInfo(source.file).fileName() : sourceText(p);
}

QString Body::cannotEstimateReason(bool shortName) const
{
    if (mset.points.isEmpty() || mset.points.canEstimate())
        return QString();
    if (mset.points.size() < 2)
        return tr("they need at least two measurement points");
    // The first point with as few channels as all points share.
    const int chs = mset.points.chs();
    int p = 0;
    while (p < mset.points.size() - 1
           && qMin(mset.points.at(p).icrs.size(), mset.points.at(p).scas.size()) != chs)
        ++p;
    return tr("the points share fewer than two channels, %1 has %2")
            .arg(pointFile(p, shortName))
            .arg(chs);
}

QString Body::sourceText(int p) const
{
    const PointSource &source = mset.points.source(p);
    if (source.file.isEmpty())
        return QString();
    const QString file = QDir::toNativeSeparators(source.file);
    return source.line > 0 ? tr("%1, line %2").arg(file).arg(source.line) : file;
}
