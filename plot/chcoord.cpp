// placeholder
#include "chcoord.h"
ChCoord::ChCoord(QObject *parent) : QObject(parent) {}
void ChCoord::clearScale() {}
void ChCoord::mMoved() {}
void ChCoord::mPressed() {}
void ChCoord::mReleased() {}
void ChCoord::mDClicked() {}
void ChCoord::wheelMoved(int) {}
