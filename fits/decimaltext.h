// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Numbers as text for column files, at the speed a scan of millions of rows
// needs: the general-purpose formatters cost a hundred nanoseconds a number,
// more than reading and correcting it. Locale-neutral; "nan", "inf", "-inf".
// out must hold 32 characters; each returns the end of what it wrote.

// v rounded to digits significant digits (1 to 17), as %g would write it but
// with trailing zeros removed: "123456.789", "0.00125", "1.5e-07", "2e+20".
char *writeSignificant(char *out, double v, int digits);

// v as the shortest text that reads back as the same double; integers up to
// 2^53 fast, as their digits.
char *writeExact(char *out, double v);
