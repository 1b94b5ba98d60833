#include "ui/Pictures.h"

#include <QFont>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>

#ifndef KV_VERSION
#define KV_VERSION "0.1"
#endif

namespace {

QImage blank(int w, int h) {
    QImage img(w, h, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    return img;
}

QImage drawBattery(int k) {
    QImage img = blank(24, 11);
    QPainter p(&img);
    // Body outline 21 x 11, terminal nub on the right.
    p.setPen(QColor(60, 60, 60));
    p.setBrush(QColor(250, 250, 250));
    p.drawRect(0, 0, 20, 10);
    p.fillRect(21, 3, 3, 5, QColor(60, 60, 60));
    if (k >= 1 && k < kBatteryPictureCount) {
        // The inside is 19 px wide: one column of charge per picture.
        p.fillRect(1, 2, k, 7, batteryChargeColour(k));
    }
    return img;
}

QImage drawAntenna() {
    QImage img = blank(76, 12);
    QPainter p(&img);
    const QColor ink(40, 40, 40);
    // Mast with a V-shaped top, left of where the scale starts.
    p.setPen(QPen(ink, 1));
    p.drawLine(6, 3, 6, 11);
    p.drawLine(2, 0, 6, 4);
    p.drawLine(10, 0, 6, 4);
    p.drawLine(3, 11, 9, 11);
    // Scale: a baseline from 15 and a tick every 6 px (10 dBm); every third tick taller.
    p.drawLine(15, 11, 75, 11);
    for (int j = 0; j <= 10; ++j) {
        const int x = 15 + 6 * j;
        const int top = (j % 3 == 0) ? 8 : 9;
        p.drawLine(x, top, x, 11);
    }
    return img;
}

void drawSpeakerBody(QPainter& p) {
    p.setPen(QPen(QColor(30, 30, 30), 1.2));
    p.setBrush(QColor(70, 70, 80));
    p.drawRect(QRectF(4.5, 12.5, 5, 7));
    QPolygonF cone;
    cone << QPointF(9.5, 12.5) << QPointF(17.5, 5.5) << QPointF(17.5, 26.5) << QPointF(9.5, 19.5);
    p.setBrush(QColor(110, 110, 125));
    p.drawPolygon(cone);
}

QImage drawSound(int mode) {
    QImage img = blank(32, 32);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    if (mode == 0 || mode == 1)
        drawSpeakerBody(p);
    if (mode == 0) {
        p.setPen(QPen(QColor(210, 20, 20), 3, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(20, 10), QPointF(29, 22));
        p.drawLine(QPointF(29, 10), QPointF(20, 22));
    } else if (mode == 1) {
        p.setBrush(Qt::NoBrush);
        p.setPen(QPen(QColor(20, 110, 200), 2, Qt::SolidLine, Qt::RoundCap));
        for (int r = 5; r <= 13; r += 4)
            p.drawArc(QRectF(17.5 - r, 16 - r, 2 * r, 2 * r), -45 * 16, 90 * 16);
    } else if (mode == 2) {
        // A horn: a small driver and a long flare opening to the right.
        p.setPen(QPen(QColor(30, 30, 30), 1.2));
        p.setBrush(QColor(70, 70, 80));
        p.drawRect(QRectF(2.5, 13.5, 5, 5));
        QPolygonF flare;
        flare << QPointF(7.5, 14) << QPointF(26, 4.5) << QPointF(26, 27.5) << QPointF(7.5, 18);
        QLinearGradient g(7, 16, 27, 16);
        g.setColorAt(0, QColor(150, 150, 160));
        g.setColorAt(1, QColor(215, 180, 60));
        p.setBrush(g);
        p.drawPolygon(flare);
        p.setBrush(QColor(235, 205, 90));
        p.drawEllipse(QRectF(23.5, 4.5, 5, 23));
    }
    return img;
}

QImage drawArrow(bool right) {
    QImage img = right ? blank(12, 16) : blank(16, 12);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    QPolygonF a;
    // Shaft and head along x, drawn into a 12 x 16 box; the down arrow is the same turned.
    a << QPointF(0.5, 5) << QPointF(5.5, 5) << QPointF(5.5, 0.5) << QPointF(11.5, 8) << QPointF(5.5, 15.5)
      << QPointF(5.5, 11) << QPointF(0.5, 11);
    if (!right) {
        QTransform t;
        t.translate(16, 0);
        t.rotate(90);
        a = t.map(a);
    }
    p.setPen(QPen(QColor(0, 0, 110), 1));
    p.setBrush(QColor(30, 80, 220));
    p.drawPolygon(a);
    return img;
}

void drawFolder(QPainter& p) {
    p.setPen(QPen(QColor(120, 85, 10), 1.2));
    p.setBrush(QColor(225, 175, 50));
    QPolygonF back;
    back << QPointF(3, 7) << QPointF(12, 7) << QPointF(14, 10) << QPointF(27, 10) << QPointF(27, 26)
         << QPointF(3, 26);
    p.drawPolygon(back);
    // A sheet sticking out, then the open front flap.
    p.setBrush(Qt::white);
    p.drawRect(QRectF(7, 12, 16, 10));
    QPolygonF front;
    front << QPointF(3, 26) << QPointF(8, 15) << QPointF(31, 15) << QPointF(27, 26);
    p.setBrush(QColor(245, 200, 80));
    p.drawPolygon(front);
}

void drawDisk(QPainter& p) {
    QPainterPath body;
    body.moveTo(4, 4);
    body.lineTo(24, 4);
    body.lineTo(28, 8);
    body.lineTo(28, 28);
    body.lineTo(4, 28);
    body.closeSubpath();
    p.setPen(QPen(QColor(10, 20, 60), 1.2));
    p.setBrush(QColor(40, 70, 150));
    p.drawPath(body);
    // Metal shutter at the top, paper label below.
    p.setBrush(QColor(200, 205, 215));
    p.drawRect(QRectF(9, 4, 13, 8));
    p.fillRect(QRectF(17, 5.5, 3, 5), QColor(40, 70, 150));
    p.setBrush(QColor(250, 250, 245));
    p.drawRect(QRectF(8, 16, 16, 11));
    p.setPen(QPen(QColor(150, 150, 170), 1));
    p.drawLine(QPointF(10, 20), QPointF(22, 20));
    p.drawLine(QPointF(10, 23.5), QPointF(22, 23.5));
}

void drawChart(QPainter& p) {
    p.setPen(QPen(QColor(90, 90, 90), 1));
    p.setBrush(Qt::white);
    p.drawRect(QRectF(3.5, 3.5, 25, 25));
    p.setPen(QPen(QColor(30, 30, 30), 1.2));
    p.drawLine(QPointF(7, 6), QPointF(7, 25));
    p.drawLine(QPointF(7, 25), QPointF(26, 25));
    const QPointF pts[] = {{8, 20}, {12, 14}, {16, 17}, {20, 9}, {25, 12}};
    p.setPen(QPen(QColor(20, 90, 210), 1.8));
    p.drawPolyline(pts, 5);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(220, 40, 40));
    for (const QPointF& pt : pts)
        p.drawEllipse(pt, 1.6, 1.6);
}

void drawHelp(QPainter& p) {
    QRadialGradient g(13, 11, 18);
    g.setColorAt(0, QColor(110, 170, 255));
    g.setColorAt(1, QColor(20, 70, 170));
    p.setPen(QPen(QColor(10, 40, 110), 1));
    p.setBrush(g);
    p.drawEllipse(QRectF(2.5, 2.5, 27, 27));
    QFont f;
    f.setPixelSize(21);
    f.setBold(true);
    p.setFont(f);
    p.setPen(Qt::white);
    p.drawText(QRectF(2.5, 2.5, 27, 27), Qt::AlignCenter, QStringLiteral("?"));
}

void drawNoise(QPainter& p) {
    p.setPen(QPen(QColor(20, 20, 20), 1));
    p.setBrush(QColor(15, 30, 20));
    p.drawRect(QRectF(1.5, 3.5, 29, 25));
    p.setPen(QPen(QColor(40, 80, 50), 1));
    for (int y = 9; y < 28; y += 6)
        p.drawLine(QPointF(2, y), QPointF(30, y));
    // A noise floor with one carrier peak; a fixed pseudo-random walk keeps the glyph stable.
    uint32_t seed = 0x2545F491u;
    QPolygonF line;
    for (int x = 2; x <= 30; ++x) {
        seed = seed * 1664525u + 1013904223u;
        double y = 23.0 - static_cast<double>((seed >> 24) % 5);
        const double d = x - 17.0;
        y -= 14.0 * std::exp(-d * d / 5.0);
        line << QPointF(x, y);
    }
    p.setPen(QPen(QColor(90, 240, 110), 1.2));
    p.drawPolyline(line);
}

QImage drawButton(ButtonKind kind) {
    QImage img = blank(32, 32);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    switch (kind) {
    case ButtonKind::OpenCfg:
        drawFolder(p);
        break;
    case ButtonKind::SaveOrx:
        drawDisk(p);
        break;
    case ButtonKind::RunOrmix:
        drawChart(p);
        break;
    case ButtonKind::Help:
        drawHelp(p);
        break;
    case ButtonKind::RunAnalyzer:
        drawNoise(p);
        break;
    }
    return img;
}

QImage drawAbout() {
    QImage img(300, 300, QImage::Format_ARGB32_Premultiplied);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);

    // Pale northern sky over frozen ground.
    QLinearGradient sky(0, 0, 0, 210);
    sky.setColorAt(0, QColor(170, 205, 240));
    sky.setColorAt(1, QColor(235, 244, 252));
    p.fillRect(0, 0, 300, 210, sky);
    QLinearGradient ground(0, 210, 0, 300);
    ground.setColorAt(0, QColor(150, 120, 90));
    ground.setColorAt(1, QColor(95, 70, 50));
    p.fillRect(0, 210, 300, 90, ground);
    p.fillRect(0, 206, 300, 6, QColor(245, 248, 252)); // snow line

    QFont title;
    title.setPixelSize(36);
    title.setBold(true);
    p.setFont(title);
    p.setPen(QColor(20, 50, 100));
    p.drawText(QRect(0, 8, 300, 44), Qt::AlignCenter, QStringLiteral("Kestrovane"));

    // The logger: an enclosure on a short post, a whip antenna on top.
    const QRectF box(115, 130, 70, 56);
    p.setPen(QPen(QColor(40, 40, 40), 2));
    p.setBrush(QColor(120, 140, 110));
    p.drawRect(QRectF(146, 186, 8, 22)); // post
    p.setBrush(QColor(200, 200, 190));
    p.drawRoundedRect(box, 6, 6);
    p.setBrush(QColor(60, 200, 90));
    p.drawEllipse(QPointF(132, 146), 4, 4); // power lamp
    p.setBrush(QColor(40, 40, 50));
    p.drawRect(QRectF(142, 142, 34, 12)); // display
    p.setPen(QPen(QColor(40, 40, 40), 3, Qt::SolidLine, Qt::RoundCap));
    const QPointF tip(170, 80);
    p.drawLine(QPointF(170, 130), tip);

    // Radio waves from the antenna tip, both ways.
    p.setBrush(Qt::NoBrush);
    for (int i = 0; i < 3; ++i) {
        const double r = 14.0 + 12.0 * i;
        p.setPen(QPen(QColor(210, 60, 40, 230 - 50 * i), 3, Qt::SolidLine, Qt::RoundCap));
        const QRectF arc(tip.x() - r, tip.y() - r, 2 * r, 2 * r);
        p.drawArc(arc, -40 * 16, 80 * 16);
        p.drawArc(arc, 140 * 16, 80 * 16);
    }

    // The thermistor string: a cable from the logger down through the ground, a bead per sensor.
    p.setPen(QPen(QColor(20, 20, 20), 2.5));
    QPainterPath cable;
    cable.moveTo(178, 186);
    cable.cubicTo(200, 196, 205, 205, 205, 214);
    cable.lineTo(205, 292);
    p.drawPath(cable);
    p.setPen(QPen(QColor(20, 20, 20), 1));
    for (int y = 222; y <= 286; y += 13) {
        p.setBrush(QColor(230, 120, 30));
        p.drawEllipse(QPointF(205, y), 4.5, 4.5);
    }

    QFont small;
    small.setPixelSize(13);
    p.setFont(small);
    p.setPen(QColor(250, 245, 235));
    p.drawText(QRect(10, 262, 180, 30), Qt::AlignLeft | Qt::AlignVCenter,
               QStringLiteral("версия ") + QStringLiteral(KV_VERSION));
    return img;
}

} // namespace

QColor batteryChargeColour(int k) {
    k = std::clamp(k, 1, kBatteryPictureCount - 1);
    // Hue 0 (red) at 1, 60 (yellow) at 10, 120 (green) at 19.
    const int hue = (120 * (k - 1)) / 18;
    return QColor::fromHsv(hue, 255, 225);
}

const QImage& batteryImage(int k) {
    static std::array<QImage, kBatteryPictureCount> images;
    if (k < 0 || k >= kBatteryPictureCount)
        k = 0;
    if (images[k].isNull())
        images[k] = drawBattery(k);
    return images[k];
}

QPixmap batteryPicture(int k) {
    return QPixmap::fromImage(batteryImage(k));
}

const QImage& antennaImage() {
    static QImage image;
    if (image.isNull())
        image = drawAntenna();
    return image;
}

QPixmap antennaScale() {
    return QPixmap::fromImage(antennaImage());
}

QPixmap soundPicture(int mode) {
    if (mode < 0 || mode >= kSoundPictureCount)
        return {};
    static std::array<QImage, kSoundPictureCount> images;
    if (images[mode].isNull())
        images[mode] = drawSound(mode);
    return QPixmap::fromImage(images[mode]);
}

QPixmap arrowRight() {
    static QImage image;
    if (image.isNull())
        image = drawArrow(true);
    return QPixmap::fromImage(image);
}

QPixmap arrowDown() {
    static QImage image;
    if (image.isNull())
        image = drawArrow(false);
    return QPixmap::fromImage(image);
}

QPixmap buttonPicture(ButtonKind kind) {
    return QPixmap::fromImage(drawButton(kind));
}

QPixmap aboutPicture() {
    return QPixmap::fromImage(drawAbout());
}
