// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Number conversion of ASCII tokens, giving exactly what the toolkit gives for
// QString::fromLatin1(token, size).toDouble() and .toInt(nullptr, 10) (C locale; a
// token that does not convert gives 0, an overflowing double gives +-inf). Plain
// decimal tokens are converted here directly; anything else is handed to QString so
// that the toolkit's own rules decide.

// [begin, end) is the token; it may hold any bytes.
double latin1ToDouble(const char *begin, const char *end);
int latin1ToInt(const char *begin, const char *end);

// Whether latin1ToDouble reads the token as a number: the toolkit converts it,
// or it gives a value other than 0 (the infinity of a number too large for a
// double). Any other token is text, which is read as 0: the one rule by which
// the point-table reader and its remarks tell text among the numbers.
bool latin1IsNumber(const char *begin, const char *end);

// The bytes that end a field.
enum class FieldSeparators { WhiteSpace, WhiteSpaceAndComma };

// Converts the field that starts at begin (not at a separator) and runs up to the next
// separator or end, as latin1ToDouble would; returns the end of the field.
const char *scanDoubleField(const char *begin, const char *end, FieldSeparators separators,
                            double &value);
