// SPDX-License-Identifier: GPL-3.0-or-later
#include "deadtimemodel.h"

#include <cmath>

QString deadTimeModelName(DeadTimeModel model)
{
    switch (model) {
    case DeadTimeModel::Quadratic:
        return QStringLiteral("quadratic");
    case DeadTimeModel::Paralyzable:
        return QStringLiteral("paralyzable");
    case DeadTimeModel::NonParalyzable:
        return QStringLiteral("nonparalyzable");
    }
    return QString();
}

std::optional<DeadTimeModel> parseDeadTimeModel(const QString &name)
{
    for (DeadTimeModel m :
         { DeadTimeModel::Quadratic, DeadTimeModel::Paralyzable, DeadTimeModel::NonParalyzable }) {
        if (name == deadTimeModelName(m))
            return m;
    }
    return std::nullopt;
}

double countedRate(DeadTimeModel model, double n, double tau)
{
    switch (model) {
    case DeadTimeModel::Quadratic:
        return n - tau * n * n;
    case DeadTimeModel::Paralyzable:
        return n * std::exp(-n * tau);
    case DeadTimeModel::NonParalyzable:
        return n / (1.0 + n * tau);
    }
    return std::nan("");
}
