// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "le.h"
#include "measset.h"
#include "ui_body.h"

#include <QColor>
#include <QFrame>
#include <QStringList>
#include <QVector>

class QFileDialog;
class QPainter;
struct ScatterPlotData;

// The main window: buttons, the panels of the loaded points, the dead-time
// result row and the two diagnostic plots.
class Body : public QFrame, private Ui_Body
{
    Q_OBJECT
public:
    explicit Body(QWidget *parent = nullptr);
    ~Body() override;

    // Appends one measurement point as a new panel below the others.
    void addMeasPoint(double i0, const QVector<double> &icrs, const QVector<double> &scas);
    // Adds one point per accepted line of a point-table file; false if it cannot be opened.
    bool readPointTable(const QString &fname);

    const MeasSet &measSet() const { return mset; }
    const QVector<QColor> &channelColors() const { return colors; }
    QFileDialog *openFileDialog() const { return openDialog; }
    QFileDialog *saveFileDialog() const { return saveDialog; }

signals:
    void quit();

private slots:
    void filesSelected(const QStringList &files);
    void saveResults(const QString &fname);
    void clearMcas();
    void drawI0Nin(QPainter *p);
    void drawNinNout(QPainter *p);

private:
    // Shows the points from index first on as panels below the others.
    void addPanels(int first);
    // Builds the rows of boxes of the panels in view (and a row around it).
    void showVisiblePanels();
    // Gives the panels and the result row one width, so that the result of a
    // channel sits under its values, and keeps both scrolled alike.
    void alignResultRow();
    // The most the panel area may take so that the plots keep half the window.
    int panelAreaLimit() const;
    ScatterPlotData plotData(bool i0Nin) const;

    QVector<QColor> colors;
    QFileDialog *openDialog;
    MeasSet mset;
    QFileDialog *saveDialog;
    BoxSize boxSize;
    int scaCaptionWidth = 0;
};
