// placeholder
#include "scatterplot.h"
void drawScatterPlot(QPainter &, ChCoord &, const ScatterPlotData &, const QVector<QColor> &) {}
