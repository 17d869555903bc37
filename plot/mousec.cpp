// placeholder
#include "mousec.h"
MouseC::MouseC(QObject *parent) : QObject(parent) {}
void MouseC::recordMove(QMouseEvent *) {}
void MouseC::recordPress(QMouseEvent *) {}
void MouseC::recordRelease(QMouseEvent *) {}
void MouseC::recordDoubleClick(QMouseEvent *) {}
void MouseC::recordWheel(QWheelEvent *) {}
