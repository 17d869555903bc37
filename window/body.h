// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "le.h"
#include "measset.h"
#include "plotdata.h"
#include "ui_body.h"

#include <QColor>
#include <QFrame>
#include <QHash>
#include <QStringList>
#include <QVector>

class AMeasP;
class ChannelHeader;
class ColumnsDialog;
class DispA;
class FitDetails;
struct FileReport;
struct LoadOptions;
class QAction;
class QContextMenuEvent;
class QDragEnterEvent;
class QDropEvent;
class QResizeEvent;
class QFileDialog;
class QMenu;
class QPainter;

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

    // The "Columns" window for a column file that no built-in recipe maps,
    // once one has been opened with "Read as columns...".
    ColumnsDialog *columnsDialog() const { return columnsWindow; }
    // "Read as columns..." beside the message line: shown after a load that
    // left a file which looks like a recording it could not read as one.
    QPushButton *readAsColumnsButton() const { return readAsColumns; }

    // The window of the exact dead-time fits, once it has been opened.
    FitDetails *fitDetails() const { return fitDetailsWindow; }
    // Opens (or raises) the Fit details window on the latest estimation.
    // Not a slot, so that the window's meta-object stays as it was; connect
    // to it by pointer to member.
    void showFitDetails();

    // Removes measurement point p with its panel and estimates again over
    // the points left, as a load does; what the panel's "Remove this point"
    // does.
    void removePoint(int p);
    // Leaves channel j out of the .conf file (written as 0 and not in the
    // mean line) or takes it back; what the result boxes' menu does.
    void setChannelLeftOut(int channel, bool out);

    // The line at the right of the background row that says what became of
    // the latest load or save; empty when all went well or after Clear.
    QString currentMessage() const;

signals:
    void quit();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private slots:
    void filesSelected(const QStringList &files);
    void saveResults(const QString &fname);
    void clearMcas();
    void drawI0Nin(QPainter *p);
    void drawNinNout(QPainter *p);

private:
    void setUpStrips();
    void setUpDialogs();
    // Ctrl+D for Fit details, also in the plots' menus; Ctrl+Q to quit.
    void setUpShortcuts();

    // The load flow (bodyload.cpp).
    // Loads files as "Read File(s)" does, with the options of a recipe.
    void loadFiles(const QStringList &files, const LoadOptions &options);
    // Offers the first file of a load that looks like a recording no
    // built-in recipe maps to the Columns window, by "Read as columns...";
    // no window opens by itself on a load.
    void offerRecipe(const QVector<FileReport> &reports);
    // Shows "Read as columns..." for path, or hides it for an empty one.
    void offerColumns(const QString &path);
    void openColumnsWindow();
    // Loads path through the recipe written in the Columns window; the points
    // an earlier read of it as a point table gave go once the recipe's are in.
    void loadWithRecipe(const QString &path, const QString &recipeText);
    // Removes the points before index end read from path, with their panels.
    void removePointsOf(const QString &path, int end);
    // After points were removed: estimates again over the points left, or
    // drops the results when they cannot be.
    void estimateRemainingPoints();
    // After a load, a removal or a clear: the result row lines up with the
    // panels again, Fit details follows, and both plots show all the points.
    void showChangedPoints();
    // Says what a load left to be wished: the files that could not be opened
    // or gave no point, fields that were not numbers, channel counts that
    // differ, and why there are no (new) dead times.
    void showLoadMessage(const QVector<FileReport> &reports);
    // The parts of the load message about the points as a whole.
    void describePoints(QStringList &shortParts, QStringList &longParts) const;
    // Why the loaded points give no dead times, naming the point that brings
    // the common channels below two; empty when they do. Short names the file
    // only, else its whole path.
    QString cannotEstimateReason(bool shortName) const;
    // The file of point p, by name only or as its whole path and line.
    QString pointFile(int p, bool shortName) const;
    // The file, and for a point table the line, that point p was read from.
    QString sourceText(int p) const;

    // The strips of panels and results (bodystrips.cpp).
    // Shows the points from index first on as panels below the others.
    void addPanels(int first);
    // A new panel for point p, its boxes still to be made; none while the
    // strips scroll, where buildPanel() makes it once it is in view.
    AMeasP *newPanel(int p);
    // Puts the panels from index first on into their rows again, after
    // points were added or removed.
    void putPanelsInRows(int first);
    // The rows of panels while the strips scroll: one a pitch apart.
    int rowSpacing() const;
    int rowPitch() const;
    void placePanel(int p);
    // The width of the widest row of boxes while the strips scroll.
    int widestScrollingRow();
    // Makes the boxes of panel p and shows it.
    void buildPanel(int p);
    // Whether the panels and the result row can show as the designed window
    // shows them: every row in view with the plots keeping half the window,
    // every box at its preferred width. When they cannot, the strips scroll,
    // with boxes of one width and each result under its channel's values.
    bool contentFitsAsDesigned() const;
    // Switches the strips to the one or the other; what was made for the
    // other is made anew. updateStripMode() does so when the content or the
    // window's size calls for it.
    void setStripsAsDesigned(bool designed);
    void updateStripMode();
    // Builds the rows of boxes of the panels in view (and a row around it).
    void showVisiblePanels();
    // Hands the context-menu events of the panel's boxes to eventFilter.
    void watchPanelBoxes(AMeasP *panel);
    // Gives the panels and the result row one width, so that the result of a
    // channel sits under its values, and keeps both scrolled alike.
    void alignResultRow();
    // Above the columns of a detector of more than a handful of channels,
    // when the strips scroll: the channel of every column and the caption of
    // the columns at the left edge.
    void updateColumnHeaders();
    // The most the panel area may take so that the plots start no lower than
    // the middle of the window.
    int panelAreaLimit() const;
    // The panel of a loaded point that watched is or lies in, or null.
    AMeasP *loadedPanelOf(QObject *watched) const;
    // A menu for a panel or one of its boxes, with "Remove this point".
    bool showPanelMenu(AMeasP *panel, QObject *watched, QContextMenuEvent *event);

    // The result row (bodyresults.cpp).
    // Hands the result boxes' tooltip and context-menu events to eventFilter.
    void watchResultBoxes();
    // A result box's tooltip, made when first asked for, and its menu.
    bool resultBoxEvent(LE *box, QEvent *event);
    // "Leave this channel out" or "Take this channel back" for channel.
    void addLeaveOutAction(QMenu *menu, int channel);
    // Greys the result boxes while they are of points other than the loaded.
    void markStaleResults();
    // Deletes the result boxes and forgets the latest estimation.
    void dropResults();
    static QString channelNames(const QVector<int> &channels);

    // The plots (bodyplots.cpp).
    // What the plot of kind shows of the points. Made when the points or
    // the results have changed, and kept: a paint after every mouse move and
    // the tooltips read it without gathering the values again.
    const ScatterPlotData &plotData(PlotKind kind);
    void forgetPlotData();
    void drawPlot(DispA *disp, PlotKind kind, QPainter *p);
    // What the pointer at pos on a plot shows: the values under it and, over
    // a disc, the point's channel, number and values.
    QString plotToolTip(PlotKind kind, QPoint pos);
    void showPlotToolTip(DispA *disp, PlotKind kind);
    // Names measurement point p measured in channel j, as the tooltips do.
    QString pointTitle(int p, int j) const;

    // The message line and Fit details (body.cpp).
    // Shows text in the message line, elided to its width; details, or else
    // text, becomes the label's tooltip.
    void showMessage(const QString &text, const QString &details = QString());
    void elideMessage();
    // Fit details, while it is shown, follows the latest estimation.
    void updateFitDetails();
    void showEstimationInFitDetails();

    QVector<QColor> colors;
    QFileDialog *openDialog;
    MeasSet mset;
    QFileDialog *saveDialog;
    QAction *fitDetailsAction;
    FitDetails *fitDetailsWindow = nullptr;
    // The recipe of the last file loaded through the Columns window, for
    // correcting scans of the same kind with the fit.
    QString columnsRecipe;
    // The recipes the loaded files were read through (built-in ones too),
    // each once: the provenance of a dead-time file, as the batch command's.
    QStringList loadedRecipes;
    ColumnsDialog *columnsWindow = nullptr;
    QPushButton *readAsColumns = nullptr;
    QString columnsOffer; // the file "Read as columns..." opens
    BoxSize boxSize;
    int scaCaptionWidth = 0;
    bool asDesigned = false;
    ChannelHeader *panelHeader;
    ChannelHeader *resultHeader;
    QString messageText;
    ScatterPlotData shownData[2];
    bool shownDataMade[2] = { false, false };
    // Widths of scrolling rows by their number of boxes, and the widest of
    // the points loaded.
    QHash<int, int> rowWidths;
    int scrollRowWidth = 0;
};
