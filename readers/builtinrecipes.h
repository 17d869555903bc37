// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "recipe.h"

#include <QStringList>

#include <optional>

// The recipes tried, in this order, on a column file for which none is given;
// each needs a column I0 (or IC0, i0_counts) and per-element columns whose
// names hold the element number {n} beside a word of their kind, in either
// order: ICR3, ICR_03, icrmca3, Icr_mca3, D3_ICR, dxp3:InputCountRate, with
// a suffix that may run on from element to element (D3_ICR_c10, written
// D{n}_ICR_c* in the recipe):
//  1. input and output rates (or counts): ICR{n} with OCR{n};
//     InputCountRate with OutputCountRate; Iffast{n} with Ifslow{n}; ICR{n}
//     with SCA{n};
//  2. OutputCounts_mca{n} (or OutputCount_mca{n}) with DTFactor_mca{n}: the
//     electronics' output count is the SCA, and the output count times its
//     dead-time factor the ICR;
//  3. counts (counts{n}, ROI{n}, mca{n}.R0) with the element's live and real
//     time (ELTM/ERTM, LiveTime/RealTime): ICR = counts / live time,
//     SCA = counts / real time.
// A counting-time column in seconds turns counts into rates: one whose name,
// in any case and without separators, says so (count_time, CountTime,
// measurement_time, IntTime, integration_time, dwell, seconds, ...; not
// "time", which is as often the time elapsed). Without one the values are
// taken as rates, and the recipe's origin says so.
std::optional<Recipe> builtinRecipe(const QStringList &columnNames);

// The recipe to start from when none of the built-in ones fits: the names
// that look like I0, ICR and SCA where there are such, placeholders where not.
Recipe suggestedRecipe(const QStringList &columnNames);
