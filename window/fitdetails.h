// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "modelcomparison.h"
#include "pointset.h"

#include <QWidget>

class QComboBox;
class QFileDialog;
class QLabel;
class QTableWidget;

// A dead time and its standard error for the window: "0.79877 ± 0.00071 µs",
// or "failed" when there is no number.
QString formatDeadTime(double tau, double stdErr, bool ok);

// The tooltip of a result box: the stage's dead time under each model with its
// standard error, the preferred exact model and the channel's flags.
QString resultBoxToolTip(const ChannelComparison &channel, FitStage stage);

// The fits of every channel under the three dead-time models: a table of the
// dead times, reduced chi^2, flags and preferred models, and below it the
// normalised residuals of the selected channel against I0 and against ICR for
// each model. The table can be copied to the clipboard (tab-separated) or
// saved as CSV.
class FitDetails : public QWidget
{
    Q_OBJECT
public:
    explicit FitDetails(QWidget *parent = nullptr);

    // Shows the comparison of points; an empty comparison empties the window.
    void setComparison(const PointSet &points, const QVector<ChannelComparison> &channels);

    QTableWidget *table() const { return m_table; }
    QComboBox *modelChooser() const { return m_model; }
    QFileDialog *saveDialog() const { return m_saveDialog; }
    QFileDialog *deadTimesDialog() const { return m_deadTimesDialog; }
    QFileDialog *correctDialog() const { return m_correctDialog; }
    QLabel *residualView() const { return m_residuals; }

    // The rows shown, machine-readable: numbers in seconds at full precision,
    // model and flag names as the batch command prints them.
    QString tableText(QChar separator) const;

public slots:
    void copyTable();
    void saveTable(const QString &path);
    // The dead-time file of the chosen exact model, as ratelens-batch --json
    // writes it, for ratelens-batch correct and "Correct scans...".
    void saveDeadTimes(const QString &path);
    // Corrects each scan with the chosen exact model's fits into
    // <name>_dtc.tsv beside it.
    void correctScans(const QStringList &paths);

signals:
    // A line for the main window's message line.
    void message(const QString &text);

protected:
    void resizeEvent(QResizeEvent *event) override;

private slots:
    void fillTable();
    void drawResiduals();

private:
    QVector<DeadTimeModel> shownModels() const;
    // The exact model chosen, or nothing with the reason on the message line.
    bool chosenExactModel(DeadTimeModel &model);

    PointSet m_points;
    QVector<ChannelComparison> m_channels;
    QComboBox *m_model;
    QTableWidget *m_table;
    QLabel *m_residuals;
    QLabel *m_status;
    QFileDialog *m_saveDialog;
    QFileDialog *m_deadTimesDialog;
    QFileDialog *m_correctDialog;
};
