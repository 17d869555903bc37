// placeholder
#include "spectrumreader.h"
void readSpectrumFile(const QString &, SpectrumPoint &) {}
