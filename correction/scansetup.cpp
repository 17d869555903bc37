// SPDX-License-Identifier: GPL-3.0-or-later
#include "scansetup.h"

qint64 ScanCorrectionReport::totalUncorrected() const
{
    qint64 n = 0;
    for (qint64 u : uncorrected)
        n += u;
    return n;
}

QStringList correctionColumnNames(int n, const QStringList &roiColumns)
{
    const QString e = QString::number(n);
    QStringList names { QStringLiteral("ntrue") + e, QStringLiteral("dtc") + e,
                        QStringLiteral("dtc%1_err").arg(e), QStringLiteral("dtc%1_flag").arg(e) };
    for (const QString &roi : roiColumns)
        names.append(roi + QStringLiteral("_corr"));
    return names;
}
