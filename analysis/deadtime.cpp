// placeholder
#include "deadtime.h"
DeadTimes estimateDeadTimes(const QVector<MeasValues> &, int) { return {}; }
