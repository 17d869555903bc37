// SPDX-License-Identifier: GPL-3.0-or-later
#include "le.h"

#include <QHash>
#include <QString>

LE::LE(QWidget *parent)
    : QLineEdit(parent)
{
}

QString valueBoxOwnStyleSheet()
{
    return QStringLiteral("background-color: rgb(255, 255, 224);");
}

QString valueBoxStyleSheet()
{
    return QStringLiteral("LE { background-color: rgb(255, 255, 224); }");
}

BoxSize valueBoxSize(const QFont &font)
{
    // Measured on a line edit of the font once: asking every box for its size
    // hint would polish it before it is even placed.
    static QHash<QString, BoxSize> known;
    const QString key = font.key();
    auto it = known.constFind(key);
    if (it != known.constEnd())
        return *it;
    LE probe;
    probe.setFont(font);
    const QSize hint = probe.sizeHint();
    // A line edit asks for 17 'x' plus its frame and margins; the widest
    // number needs its own advance plus the same frame and margins.
    const QFontMetrics fm(font);
    const int chrome = hint.width() - 17 * fm.horizontalAdvance(QLatin1Char('x'));
    const int widest = fm.horizontalAdvance(QStringLiteral("-1.23457e-06")) + chrome;
    const BoxSize size { widest, hint.height() };
    known.insert(key, size);
    return size;
}

LE *newValueBox(double value, int width)
{
    auto *box = new LE;
    if (width <= 0)
        box->setStyleSheet(valueBoxOwnStyleSheet());
    box->setReadOnly(true);
    box->setAlignment(Qt::AlignRight);
    QSizePolicy policy = box->sizePolicy();
    policy.setHorizontalPolicy(QSizePolicy::Preferred);
    box->setSizePolicy(policy);
    if (width > 0)
        box->setFixedWidth(width);
    box->setText(QString::number(value, 'g', 6));
    return box;
}
