#pragma once
#include <QImage>
#include <QPixmap>

// Every picture of the program is drawn here with QPainter, once, and kept as a QImage; the
// pixmap getters convert on each call (the images are tiny) so that nothing graphical outlives
// the application object.

constexpr int kBatteryPictureCount = 20; // ImageListBat
constexpr int kSoundPictureCount = 3;    // ImageListSound

enum class ButtonKind { OpenCfg, SaveOrx, RunOrmix, Help, RunAnalyzer };

// 24 x 11. 0 is an empty outline (no valid voltage); 1..19 run from almost empty (red) through
// yellow to full (green). Out-of-range k gives picture 0.
QPixmap batteryPicture(int k);
const QImage& batteryImage(int k);

// 76 x 12: a small mast on the left and a level scale along the lower edge from x = 15, one
// tick per 10 dBm (6 px), so the signal bar drawn from x = 15 grows along it.
QPixmap antennaScale();
const QImage& antennaImage();

// 32 x 32: 0 loudspeaker crossed out, 1 loudspeaker with waves, 2 horn. A null pixmap for any
// other mode: a mode outside the list shows no picture.
QPixmap soundPicture(int mode);

QPixmap arrowRight(); // 12 x 16, ImageArrowDevPtr
QPixmap arrowDown();  // 16 x 12, ImageArrowAttemptPtr

// 32 x 32 picture buttons of the top bar and of the analyzer button.
QPixmap buttonPicture(ButtonKind kind);

// 300 x 300: name, a logger with its thermistor string and radio waves, the version.
QPixmap aboutPicture();

// The colour of battery picture k's charge (k 1..19): red, through yellow, to green.
QColor batteryChargeColour(int k);
