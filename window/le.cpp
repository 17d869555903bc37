// SPDX-License-Identifier: GPL-3.0-or-later
#include "le.h"

#include <QString>

LE::LE(QWidget *parent)
    : QLineEdit(parent)
{
}

LE *newValueBox(double value)
{
    auto *box = new LE;
    box->setStyleSheet(QStringLiteral("background-color: rgb(255, 255, 224);"));
    box->setReadOnly(true);
    box->setAlignment(Qt::AlignRight);
    QSizePolicy policy = box->sizePolicy();
    policy.setHorizontalPolicy(QSizePolicy::Preferred);
    box->setSizePolicy(policy);
    box->setText(QString::number(value, 'g', 6));
    return box;
}
