// The program's own pictures, painted in code: the window and tray icon, the About picture, and
// the pictures the tray shows while and after checking (a clock, a happy and a sleepy face).
#pragma once

#include <QImage>

namespace pictures {

QImage PaintProgram(int size);
QImage PaintAbout(int width, int height);
QImage PaintClock(int size);
QImage PaintHappyFace(int size);
QImage PaintSleepyFace(int size);

} // namespace pictures
