// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "recipe.h"

#include <QStringList>

#include <optional>

// The recipes tried, in this order, on a column file for which none is given:
//  1. columns ICR{n} and OCR{n} (any case, "_" or "mca" allowed before the
//     number: ICR_3, icrmca3, Icr_mca3) with a column I0: ICR and SCA are the
//     ICR and OCR columns;
//  2. columns OutputCounts_mca{n} (or OutputCount_mca{n}) with
//     DTFactor_mca{n} and I0: the electronics' output count is the SCA, and
//     the output count times its dead-time factor the ICR.
// A counting-time column in seconds (measurement_time, time, count_time,
// IntTime or seconds, any case) turns every count into a rate; without one
// the values are taken as rates, and the recipe's origin says so.
std::optional<Recipe> builtinRecipe(const QStringList &columnNames);

// The recipe to start from when none of the built-in ones fits: the names
// that look like I0, ICR and SCA where there are such, placeholders where not.
Recipe suggestedRecipe(const QStringList &columnNames);
