// SPDX-License-Identifier: GPL-3.0-or-later
#include "columnsdialog.h"

#include "recipe.h"
#include "ui_columnsdialog.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <QFontDatabase>
#include <QPushButton>
#include <QSettings>

namespace {

constexpr int previewRows = 8;

// One settings key per set of column names, in their order.
QString settingsKey(const QStringList &names)
{
    const QByteArray hash = QCryptographicHash::hash(names.join(QLatin1Char('\n')).toUtf8(),
                                                     QCryptographicHash::Sha1);
    return QStringLiteral("columnRecipes/") + QString::fromLatin1(hash.toHex());
}

// The recipes the user wrote, remembered between runs of the program (in
// ~/.config/Ratelens/Ratelens.conf on Linux).
QSettings settings()
{
    return QSettings(QStringLiteral("Ratelens"), QStringLiteral("Ratelens"));
}

} // namespace

ColumnsDialog::ColumnsDialog(QWidget *parent)
    : QDialog(parent)
    , m_ui(new Ui::ColumnsDialog)
{
    m_ui->setupUi(this);
    setModal(false);
    m_load = m_ui->buttons->addButton(tr("Load"), QDialogButtonBox::AcceptRole);
    m_ui->recipeEdit->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    connect(m_ui->buttons, &QDialogButtonBox::rejected, this, &QDialog::close);
    connect(m_load, &QPushButton::clicked, this, &ColumnsDialog::load);
    connect(m_ui->recipeEdit, &QPlainTextEdit::textChanged, this, &ColumnsDialog::check);
}

ColumnsDialog::~ColumnsDialog()
{
    delete m_ui;
}

QString ColumnsDialog::rememberedRecipe(const QStringList &names)
{
    return settings().value(settingsKey(names)).toString();
}

void ColumnsDialog::rememberRecipe(const QStringList &names, const QString &text)
{
    settings().setValue(settingsKey(names), text);
}

bool ColumnsDialog::setFile(const QString &path)
{
    m_path = path;
    m_ui->fileLabel->setText(QFileInfo(path).fileName());
    m_ui->fileLabel->setToolTip(path);
    m_preview = previewRecording(path, previewRows);
    fillPreview(m_preview.names, m_preview.rows);
    m_ui->preview->setVisible(m_preview.kind != RecordingKind::Hdf5);
    m_ui->previewTitle->setText(m_preview.kind == RecordingKind::Hdf5
                                    ? tr("An HDF5 file: the recipe's [datasets] section "
                                         "names the datasets that become columns.")
                                    : tr("Columns and the first rows:"));
    if (!m_preview.error.isEmpty()) {
        m_ui->recipeEdit->clear();
        m_ui->checkLabel->setText(tr("Not a column file: %1").arg(m_preview.error));
        m_load->setEnabled(false);
        return false;
    }
    const QString remembered = rememberedRecipe(settingsNames());
    setRecipeText(remembered.isEmpty() ? startingRecipe(m_preview).toText() : remembered);
    return true;
}

void ColumnsDialog::fillPreview(const QStringList &names,
                                const std::vector<std::vector<double>> &rows)
{
    m_ui->preview->clear();
    m_ui->preview->setColumnCount(names.size());
    m_ui->preview->setRowCount(int(rows.size()));
    m_ui->preview->setHorizontalHeaderLabels(names);
    for (size_t r = 0; r < rows.size(); ++r) {
        for (size_t c = 0; c < rows[r].size(); ++c)
            m_ui->preview->setItem(int(r), int(c),
                                   new QTableWidgetItem(QString::number(rows[r][c], 'g', 6)));
    }
    m_ui->preview->resizeColumnsToContents();
}

// HDF5 files show no names: their recipes are remembered as one.
QStringList ColumnsDialog::settingsNames() const
{
    return m_preview.kind == RecordingKind::Hdf5 ? QStringList { QStringLiteral("[HDF5]") }
                                                 : m_preview.names;
}

QString ColumnsDialog::recipeText() const
{
    return m_ui->recipeEdit->toPlainText();
}

void ColumnsDialog::setRecipeText(const QString &text)
{
    m_ui->recipeEdit->setPlainText(text);
    check();
}

QString ColumnsDialog::checkText() const
{
    return m_ui->checkLabel->text();
}

void ColumnsDialog::check()
{
    const QString problem = checkRecipeFor(m_preview, recipeText());
    if (problem.isEmpty()) {
        const RecipeParse parsed = parseRecipe(recipeText());
        m_ui->checkLabel->setText(
            tr("The recipe fits: %n element(s)", nullptr, int(parsed.recipe.elements.size())));
    } else {
        m_ui->checkLabel->setText(tr("Missing or wrong: %1").arg(problem));
    }
    m_load->setEnabled(problem.isEmpty() && m_preview.error.isEmpty());
}

void ColumnsDialog::load()
{
    if (!m_load->isEnabled())
        return;
    rememberRecipe(settingsNames(), recipeText());
    emit loadRequested(m_path, recipeText());
}
