// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "recording.h"

#include <QDialog>
#include <QStringList>

namespace Ui {
class ColumnsDialog;
}
class QPushButton;

// The small window that opens for a column file that no built-in recipe
// maps (or an MCA or HDF5 file read without a recipe): its column names with
// the first rows, the recipe as text to edit
// (the one used last for the same names, else a start made from the names),
// a check that says what is missing, and Load. It does not block the main
// window; Load hands the file and the recipe to it.
class ColumnsDialog : public QDialog
{
    Q_OBJECT
public:
    explicit ColumnsDialog(QWidget *parent = nullptr);
    ~ColumnsDialog() override;

    // Shows path; false (with the reason in the check line) if it is no
    // column file.
    bool setFile(const QString &path);
    QString file() const { return m_path; }
    QString recipeText() const;
    void setRecipeText(const QString &text);
    // What the check line says: what is missing, or what Load will read.
    QString checkText() const;
    QPushButton *loadButton() const { return m_load; }

    // The recipe last loaded for a file of these column names, if any.
    static QString rememberedRecipe(const QStringList &names);
    static void rememberRecipe(const QStringList &names, const QString &text);

signals:
    void loadRequested(const QString &path, const QString &recipeText);

private:
    void check();
    void load();
    void fillPreview(const QStringList &names, const std::vector<std::vector<double>> &rows);
    QStringList settingsNames() const;

    Ui::ColumnsDialog *m_ui;
    QPushButton *m_load;
    QString m_path;
    RecordingPreview m_preview;
};
