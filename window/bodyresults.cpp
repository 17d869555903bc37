// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's result row: the dead times of the latest estimation, the
// channels left out of the .conf file, the results greyed while they are of
// points other than the loaded, and saving them.
#include "body.h"

#include "le.h"
#include "resultsfile.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QDebug>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMenu>

void Body::dropResults()
{
    mset.estimated = false;
    for (LE *box : qAsConst(mset.tauLEs))
        delete box;
    mset.tauLEs.clear();
    mset.tau0s.clear();
    mset.taus.clear();
    mset.tau0Fits.clear();
    mset.tauFits.clear();
    mset.tau0Verdicts.clear();
    mset.tauVerdicts.clear();
    mset.comparison.clear();
    mset.compared = false;
    mset.estimatedPoints = PointSet();
}

void Body::saveResults(const QString &fname)
{
    if (!mset.estimated) {
        showMessage(tr("Nothing saved: no dead times estimated yet"));
        return;
    }
    // A failed save never leaves a truncated file that looks like a result:
    // each file is replaced only by complete new content.
    const ResultsFileValues values = mset.savedValues();
    const SaveOutcome saved = saveResultsFiles(fname, values.tau0s, values.taus, values.omitted);
    if (!saved.resultsWritten)
        qDebug() << "Cannot open date file.";
    if (!saved.confWritten)
        qDebug() << "Cannot open date file2.";

    const QString results = QDir::toNativeSeparators(fname);
    const QString conf = QDir::toNativeSeparators(fname + QStringLiteral(".conf"));
    QString text;
    if (saved.resultsWritten && saved.confWritten) {
        text = tr("Saved %1 and %2").arg(results, conf);
        const QVector<int> nonFinite = nonFiniteChannels(values.tau0s, values.taus, values.omitted);
        const QVector<int> undetermined = mset.undeterminedChannels();
        if (!undetermined.isEmpty())
            text = tr("Saved %1 and %2; channel %3 not determined: nan, and 0 out of the mean "
                      "line")
                           .arg(results, conf, channelNames(undetermined));
        else if (!nonFinite.isEmpty())
            text = tr("Saved %1 and %2; the mean line leaves out channel %3: dead time "
                      "not a number")
                           .arg(results, conf, channelNames(nonFinite));
    } else if (saved.resultsWritten) {
        text = tr("Saved %1, but cannot write %2").arg(results, conf);
    } else if (saved.confWritten) {
        text = tr("Saved %1, but cannot write %2").arg(conf, results);
    } else {
        const QDir folder = QFileInfo(fname).absoluteDir();
        showMessage(folder.exists()
                            ? tr("Nothing saved: cannot write %1 or %2").arg(results, conf)
                            : tr("Nothing saved: the folder %1 does not exist")
                                      .arg(QDir::toNativeSeparators(folder.path())));
        return;
    }
    // Saved results that are not of the loaded points must not pass for theirs.
    if (mset.resultsStale())
        text = tr("%1 (%2)").arg(
                text, tr("the earlier results: %1").arg(cannotEstimateReason(true)));
    showMessage(text);
}

QString Body::channelNames(const QVector<int> &channels)
{
    QStringList names;
    for (int j : channels)
        names << QString::number(j);
    return names.join(QStringLiteral(", "));
}

void Body::markStaleResults()
{
    if (!mset.resultsStale())
        return;
    // Grey, with a tooltip that says why, made anew when next asked for.
    for (LE *box : qAsConst(mset.tauLEs)) {
        box->setStyleSheet(
                QStringLiteral("background-color: rgb(235, 235, 235); color: rgb(120, 120, 120);"));
        box->setToolTip(QString());
    }
}

void Body::watchResultBoxes()
{
    for (LE *box : qAsConst(mset.tauLEs))
        box->installEventFilter(this);
}

bool Body::resultBoxEvent(LE *box, QEvent *event)
{
    if (event->type() == QEvent::ToolTip && box->toolTip().isEmpty()) {
        // Made on first asking: every tooltip needs the exact fits of the
        // three models, which most loads never look at. The box then shows
        // the tooltip set here.
        QGuiApplication::setOverrideCursor(Qt::WaitCursor);
        mset.setResultToolTips(
                mset.resultsStale()
                        ? tr("Not the dead times of the loaded points: %1. These are of the "
                             "points loaded before, and Save writes them.")
                                  .arg(cannotEstimateReason(false))
                        : QString());
        QGuiApplication::restoreOverrideCursor();
    } else if (event->type() == QEvent::ContextMenu) {
        QMenu *menu = box->createStandardContextMenu();
        menu->setAttribute(Qt::WA_DeleteOnClose);
        menu->addSeparator();
        menu->addAction(fitDetailsAction);
        addLeaveOutAction(menu, mset.channelOfBox(box));
        menu->popup(static_cast<QContextMenuEvent *>(event)->globalPos());
        return true;
    }
    return false;
}

void Body::addLeaveOutAction(QMenu *menu, int channel)
{
    if (channel < 0)
        return;
    const bool out = mset.isLeftOut(channel);
    QAction *action
            = menu->addAction(out ? tr("Take this channel back") : tr("Leave this channel out"));
    action->setToolTip(tr("Whether the channel's dead times go into the .conf file "
                          "and its mean line"));
    connect(action, &QAction::triggered, this, [this, channel, out] { setChannelLeftOut(channel, !out); });
}

void Body::setChannelLeftOut(int channel, bool out)
{
    mset.setLeftOut(channel, out);
}
