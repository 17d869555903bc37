// placeholder
#include "resultsfile.h"
QByteArray formatResultsFile(const QVector<double> &, const QVector<double> &) { return {}; }
QByteArray formatConfFile(const QVector<double> &, const QVector<double> &) { return {}; }
bool writeFileSafely(const QString &, const QByteArray &) { return false; }
