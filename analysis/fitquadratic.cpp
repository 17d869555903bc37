// placeholder
#include "fitquadratic.h"
void fitQuadratic(const QVector<double> &, const QVector<double> &, QVector<double> &) {}
