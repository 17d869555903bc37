// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "fittexts.h"
#include "modelcomparison.h"
#include "pointset.h"
#include "scanbatch.h"

#include <QWidget>

class QCheckBox;
class QComboBox;
class QTableWidgetItem;
class QFileDialog;
class QKeySequence;
class QLabel;
class QPushButton;
class QSplitter;
class QTableWidget;

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
    // The recipe the points were read with, if any: "Correct scans..." reads
    // an HDF5 scan, and a column file no built-in recipe maps, through it.
    void setRecipe(const QString &recipeText) { m_recipeText = recipeText; }

    // Besides Esc and Ctrl+W, the window closes with the shortcut that opens it.
    void closeWith(const QKeySequence &shortcut);

    QTableWidget *table() const { return m_table; }
    QComboBox *modelChooser() const { return m_model; }
    // "Amplifier with d0 = 1": the amplifier fitted with its scale held at 1.
    QCheckBox *fixD0Box() const { return m_fixD0; }
    // "Amplifier stage alone", shown where a pre-amplifier dead time is not
    // determined: "Correct scans..." then corrects the amplifier alone.
    QCheckBox *ampOnlyBox() const { return m_ampOnly; }
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
    // <name>_dtc.tsv beside it, beside the event loop: the window stays
    // usable meanwhile. The message line says when it starts and what came
    // of it.
    void correctScans(const QStringList &paths);
    // Waits for a running correction and reports it at once.
    void finishCorrections();

signals:
    // A line for the main window's message line.
    void message(const QString &text);

protected:
    void resizeEvent(QResizeEvent *event) override;
    void showEvent(QShowEvent *event) override;

private slots:
    void fillTable();
    void drawResiduals();
    void refit();

private:
    void setUpDialogs();
    void setUpTable();
    // The rows of controls above the table and the residuals below it.
    void layOut();
    QVector<DeadTimeModel> shownModels() const;
    // Colours a dead time whose stage is flagged; its tooltip gives the parts
    // of the error, or why the fit failed.
    void markStage(QTableWidgetItem *item, const StageComparison &s, DeadTimeModel model) const;
    // A size that shows every column and, up to a screenful, every row, within
    // the screen the window opens on.
    void fitToScreen();
    // The exact model chosen, or nothing with the reason on the message line.
    bool chosenExactModel(DeadTimeModel &model);
    // Says on the message line what came of a correction.
    void reportCorrections(const QVector<CorrectedScan> &scans);

    PointSet m_points;
    QVector<ChannelComparison> m_freeChannels; // as the main window fitted them
    QVector<ChannelComparison> m_channels; // shown: the free fits, or with d0 = 1
    QComboBox *m_model;
    QCheckBox *m_fixD0;
    QCheckBox *m_ampOnly;
    QTableWidget *m_table;
    QLabel *m_residuals;
    QLabel *m_status;
    QFileDialog *m_saveDialog;
    QSplitter *m_splitter;
    bool m_sized = false;
    QFileDialog *m_deadTimesDialog;
    QFileDialog *m_correctDialog;
    QPushButton *m_correctButton;
    QString m_recipeText;
    ScanBatchRunner m_corrections;
};
