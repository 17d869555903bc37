// SPDX-License-Identifier: GPL-3.0-or-later
#include "body.h"

#include "ameasp.h"
#include "le.h"
#include "measvalues.h"
#include "plotdata.h"
#include "pointtable.h"
#include "resultsfile.h"
#include "spectrumreader.h"

#include <QDebug>
#include <QFileDialog>
#include <QGridLayout>
#include <QPainter>

Body::Body(QWidget *parent)
    : QFrame(parent)
    , colors(plotChannelColors())
    , openDialog(nullptr)
    , saveDialog(nullptr)
{
    setupUi(this);
    mset.tau0sLayout = Tau0sLayout;
    mset.tausLayout = TausLayout;

    // The dialogs are independent top-level windows, created once and shown
    // again on every press so that they keep their folder and selection.
    openDialog = new QFileDialog(nullptr, QString(), QString(), QString());
    openDialog->setFileMode(QFileDialog::ExistingFiles);
    saveDialog = new QFileDialog(nullptr, QString(), QString(), QString());
    saveDialog->setAcceptMode(QFileDialog::AcceptSave);
    saveDialog->setNameFilters({ QStringLiteral("data (*.dat)"), QStringLiteral("any (*, *.*)") });

    connect(ReadFiles, SIGNAL(clicked()), openDialog, SLOT(show()));
    connect(openDialog, SIGNAL(filesSelected(const QStringList &)), this,
            SLOT(filesSelected(const QStringList &)));
    connect(SaveResult, SIGNAL(clicked()), saveDialog, SLOT(show()));
    connect(saveDialog, SIGNAL(fileSelected(const QString &)), this,
            SLOT(saveResults(const QString &)));
    connect(I0NinDisp, SIGNAL(drawImage2(QPainter *)), this, SLOT(drawI0Nin(QPainter *)));
    connect(NinNoutDisp, SIGNAL(drawImage2(QPainter *)), this, SLOT(drawNinNout(QPainter *)));
    connect(Clear, SIGNAL(clicked()), this, SLOT(clearMcas()));
    connect(Quit, SIGNAL(clicked()), this, SIGNAL(quit()));
}

// The dialogs have no parent and outlive the window; they are left to the end
// of the process, as nothing uses them after the event loop.
Body::~Body() = default;

void Body::addMeasPoint(double i0, const QVector<double> &icrs, const QVector<double> &scas)
{
    auto *panel = new AMeasP(i0, icrs, scas);
    const int m = qMin(panel->icrs.size(), panel->scas.size());
    if (mset.mcas.isEmpty() || m < mset.chs)
        mset.chs = m;
    const int row = mset.mcas.size();
    mset.mcas.append(panel);

    widenRange(mset.hasI0, mset.i0Min, mset.i0Max, panel->i0, panel->i0);
    if (panel->hasIcr)
        widenRange(mset.hasIcr, mset.icrMin, mset.icrMax, panel->icrMin, panel->icrMax);
    else
        widenRange(mset.hasIcr, mset.icrMin, mset.icrMax, -1.0, 1.0);
    if (panel->hasSca)
        widenRange(mset.hasSca, mset.scaMin, mset.scaMax, panel->scaMin, panel->scaMax);
    else
        widenRange(mset.hasSca, mset.scaMin, mset.scaMax, -1.0, 1.0);

    MCALayout->addWidget(panel, row, 0, 1, 1);
}

bool Body::readPointTable(const QString &fname)
{
    PointTableSink sink;
    sink.onPoint = [this](double i0, const QVector<double> &icrs, const QVector<double> &scas) {
        addMeasPoint(i0, icrs, scas);
    };
    sink.onTrace = [](const QString &line, bool isHeader) {
        qDebug() << "LINE" << line;
        qDebug() << "ID" << QString::fromLatin1(channelHeaderKey);
        qDebug() << "bool" << isHeader;
    };
    if (!readPointTableFile(fname, sink)) {
        qDebug() << "Cannot open" << fname;
        return false;
    }
    return true;
}

void Body::filesSelected(const QStringList &files)
{
    // Panels go into a hidden area and appear together: shown one by one,
    // each new panel re-laid and re-polished all the others, which made a
    // table of a few thousand lines freeze the window for minutes.
    frame_3->hide();
    for (const QString &path : files) {
        SpectrumPoint sp;
        readSpectrumFile(path, sp);
        const bool ok = sp.ok;
        if (ok)
            addMeasPoint(sp.i0, sp.icrs, sp.scas);
        if (!ok)
            readPointTable(path);
    }
    frame_3->show();
    if (mset.mcas.size() > 1)
        mset.calcTaus();
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
    for (LE *box : qAsConst(mset.tauLEs))
        delete box;
    mset.tauLEs.clear();
    mset.tau0s.clear();
    mset.taus.clear();
    mset.tau0Fits.clear();
    mset.tauFits.clear();
    mset.hasI0 = mset.hasIcr = mset.hasSca = false;
    mset.i0Min = mset.icrMin = mset.scaMin = 1e300;
    mset.i0Max = mset.icrMax = mset.scaMax = -1e300;
    I0NinDisp->update();
    NinNoutDisp->update();
}

void Body::saveResults(const QString &fname)
{
    if (!mset.estimated)
        return;
    const QVector<double> tau0s = mset.tau0s;
    const QVector<double> taus = mset.taus;
    // A failed save must never leave a truncated file that looks like a
    // result: the writer replaces the old file only with complete content.
    if (!writeFileSafely(fname, formatResultsFile(tau0s, taus)))
        qDebug() << "Cannot open date file.";
    if (!writeFileSafely(fname + QStringLiteral(".conf"), formatConfFile(tau0s, taus)))
        qDebug() << "Cannot open date file2.";
}

ScatterPlotData Body::plotData(bool i0Nin) const
{
    ValueRanges ranges;
    ranges.hasI0 = mset.hasI0, ranges.i0Min = mset.i0Min, ranges.i0Max = mset.i0Max;
    ranges.hasIcr = mset.hasIcr, ranges.icrMin = mset.icrMin, ranges.icrMax = mset.icrMax;
    ranges.hasSca = mset.hasSca, ranges.scaMin = mset.scaMin, ranges.scaMax = mset.scaMax;
    return scatterPlotData(i0Nin ? PlotKind::I0Nin : PlotKind::NinNout, mset.pointValues(),
                           mset.chs, ranges, mset.estimated,
                           i0Nin ? mset.tau0Fits : mset.tauFits);
}

void Body::drawI0Nin(QPainter *p)
{
    if (mset.mcas.size() <= 2)
        return;
    drawScatterPlot(*p, I0NinDisp->coord, plotData(true), colors);
}

void Body::drawNinNout(QPainter *p)
{
    if (mset.mcas.size() <= 2)
        return;
    drawScatterPlot(*p, NinNoutDisp->coord, plotData(false), colors);
}
