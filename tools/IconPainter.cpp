// Build-time tool: paints the program's icon and bitmap files into a program folder.
//   icon_painter <program folder> [<icon theme folder>]
// writes icons/*.ico, icons/numbers/*.ico and bitmaps/*.bmp; with a theme folder also the desktop
// icon as <size>x<size>/apps/corvanthelix.png for the hicolor theme. The pictures are drawn from shapes
// and small pixel patterns only, so the tool needs no fonts and no display. Not part of any
// library (this folder is not collected into one); cmake/Icons.cmake builds and runs it.
#include <QColor>
#include <QCoreApplication>
#include <QDir>
#include <QImage>
#include <QImageWriter>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <QString>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>

namespace {

constexpr int kIconSize = 16;
const QColor kBubbleColour(255, 234, 195);

// 5 x 7 pixel patterns of the digits, one string per row, '#' = ink.
const char* const kDigits[10][7] = {
    {" ### ", "#   #", "#  ##", "# # #", "##  #", "#   #", " ### "},
    {"  #  ", " ##  ", "  #  ", "  #  ", "  #  ", "  #  ", " ### "},
    {" ### ", "#   #", "    #", "   # ", "  #  ", " #   ", "#####"},
    {"#####", "   # ", "  #  ", "   # ", "    #", "#   #", " ### "},
    {"   # ", "  ## ", " # # ", "#  # ", "#####", "   # ", "   # "},
    {"#####", "#    ", "#### ", "    #", "    #", "#   #", " ### "},
    {"  ## ", " #   ", "#    ", "#### ", "#   #", "#   #", " ### "},
    {"#####", "    #", "   # ", "  #  ", " #   ", " #   ", " #   "},
    {" ### ", "#   #", "#   #", " ### ", "#   #", "#   #", " ### "},
    {" ### ", "#   #", "#   #", " ####", "    #", "   # ", " ##  "},
};
const char* const kQuestion[7] = {" ### ", "#   #", "    #", "   # ", "  #  ", "     ", "  #  "};
const char* const kInfo[7] = {"  #  ", "     ", " ##  ", "  #  ", "  #  ", "  #  ", " ### "};
// Letters of the plug-ins' page icons.
const char* const kLetterA[7] = {" ### ", "#   #", "#   #", "#####", "#   #", "#   #", "#   #"};
const char* const kLetterS[7] = {" ####", "#    ", "#    ", " ### ", "    #", "    #", "#### "};
const char* const kLetterG[7] = {" ### ", "#   #", "#    ", "# ###", "#   #", "#   #", " ### "};

QImage blank(int width, int height) {
    QImage image(width, height, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    return image;
}

void drawPattern(QImage& image, const char* const rows[7], int left, int top, QColor ink) {
    for (int y = 0; y < 7; ++y)
        for (int x = 0; rows[y][x] != '\0'; ++x)
            if (rows[y][x] == '#') image.setPixelColor(left + x, top + y, ink);
}

// An envelope filling most of the icon; `flap` is the colour of the flap lines.
void drawEnvelope(QPainter& p, QRectF box, QColor body, QColor flap) {
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setPen(QPen(flap, 1));
    p.setBrush(body);
    p.drawRect(box);
    p.drawLine(box.topLeft(), QPointF(box.center().x(), box.center().y() + 1));
    p.drawLine(box.topRight(), QPointF(box.center().x(), box.center().y() + 1));
}

QImage stateIcon(bool enabled) {
    QImage image = blank(kIconSize, kIconSize);
    QPainter p(&image);
    QColor body = enabled ? QColor(250, 200, 60) : QColor(190, 190, 190);
    QColor line = enabled ? QColor(150, 80, 0) : QColor(100, 100, 100);
    drawEnvelope(p, QRectF(1, 3, 13, 9), body, line);
    // A small shield in the lower right corner: the filter.
    QColor shield = enabled ? QColor(30, 120, 210) : QColor(130, 130, 130);
    QPolygonF outline({QPointF(9, 8), QPointF(15, 8), QPointF(15, 12), QPointF(12, 15), QPointF(9, 12)});
    p.setPen(QPen(QColor(20, 40, 80), 1));
    p.setBrush(shield);
    p.drawPolygon(outline);
    return image;
}

QImage waitIcon() {
    QImage image = blank(kIconSize, kIconSize);
    QPainter p(&image);
    p.setPen(QPen(QColor(90, 60, 20), 1));
    p.setBrush(QColor(240, 220, 150));
    p.drawPolygon(QPolygonF({QPointF(3, 1), QPointF(12, 1), QPointF(8, 7.5), QPointF(12, 14), QPointF(3, 14),
                             QPointF(7, 7.5)}));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(200, 150, 40));
    p.drawPolygon(QPolygonF({QPointF(5, 13), QPointF(10, 13), QPointF(7.5, 10)}));
    return image;
}

// Frame 0 is the plain envelope; frames 1..3 add an arrow that moves down into it.
QImage animationIcon(int frame) {
    QImage image = blank(kIconSize, kIconSize);
    QPainter p(&image);
    drawEnvelope(p, QRectF(1, 5, 13, 9), QColor(255, 255, 255), QColor(40, 80, 160));
    if (frame > 0) {
        int top = frame * 2 - 2;
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(20, 160, 40));
        p.drawRect(QRectF(6, top, 3, 3));
        p.drawPolygon(QPolygonF({QPointF(4, top + 3), QPointF(11, top + 3), QPointF(7.5, top + 6.5)}));
    }
    return image;
}

// A digit on a red badge: tens pictures use columns 0..6, units pictures columns 7..15.
QImage numberIcon(int digit, bool tens) {
    QImage image = blank(kIconSize, kIconSize);
    QPainter p(&image);
    QRect badge = tens ? QRect(0, 3, 7, 11) : QRect(8, 3, 8, 11);
    p.fillRect(badge, QColor(200, 30, 30));
    p.end();
    drawPattern(image, kDigits[digit], tens ? 1 : 10, 5, Qt::white);
    return image;
}

QImage menuIcon(const std::function<void(QPainter&)>& draw) {
    QImage image = blank(kIconSize, kIconSize);
    QPainter p(&image);
    draw(p);
    return image;
}

QImage roundBadge(QColor colour, const char* const glyph[7]) {
    QImage image = menuIcon([&](QPainter& p) {
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(QPen(colour.darker(150), 1));
        p.setBrush(colour);
        p.drawEllipse(QRectF(0.5, 0.5, 15, 15));
    });
    drawPattern(image, glyph, 6, 4, Qt::white);
    return image;
}

QImage recycleIcon() {
    return menuIcon([](QPainter& p) {
        p.setPen(QPen(QColor(60, 60, 60), 1));
        p.setBrush(QColor(170, 200, 170));
        p.drawRect(QRectF(3, 4, 9, 11));
        p.drawRect(QRectF(2, 2, 11, 2));
        p.drawLine(QPointF(6, 6), QPointF(6, 13));
        p.drawLine(QPointF(9, 6), QPointF(9, 13));
    });
}

QImage learnIcon() {
    return menuIcon([](QPainter& p) {
        p.setPen(QPen(QColor(40, 40, 90), 1));
        p.setBrush(QColor(90, 120, 200));
        p.drawRect(QRectF(2, 2, 11, 12));
        p.setBrush(Qt::white);
        p.drawRect(QRectF(4, 4, 7, 3));
    });
}

QImage statisticIcon() {
    return menuIcon([](QPainter& p) {
        p.setPen(QPen(QColor(30, 30, 30), 1));
        p.drawLine(QPointF(1, 14.5), QPointF(15, 14.5));
        p.setBrush(QColor(210, 60, 60));
        p.drawRect(QRectF(2, 8, 3, 6));
        p.setBrush(QColor(60, 160, 60));
        p.drawRect(QRectF(6, 3, 3, 11));
        p.setBrush(QColor(60, 90, 210));
        p.drawRect(QRectF(10, 6, 3, 8));
    });
}

QImage exitIcon() {
    return menuIcon([](QPainter& p) {
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(QPen(QColor(200, 30, 30), 3, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(3.5, 3.5), QPointF(12.5, 12.5));
        p.drawLine(QPointF(12.5, 3.5), QPointF(3.5, 12.5));
    });
}

QImage settingsIcon() {
    return menuIcon([](QPainter& p) {
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(110, 110, 120));
        p.translate(8, 8);
        for (int i = 0; i < 8; ++i) {
            p.drawRect(QRectF(-1.5, -7.5, 3, 4));
            p.rotate(45);
        }
        p.drawEllipse(QRectF(-5, -5, 10, 10));
        p.setBrush(QColor(230, 230, 235));
        p.drawEllipse(QRectF(-2, -2, 4, 4));
    });
}

QImage bubble() {
    QImage image(250, 200, QImage::Format_RGB32);
    image.fill(QColor(120, 90, 40));
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(190, 140, 70), 2));
    p.setBrush(kBubbleColour);
    p.drawRoundedRect(QRectF(1, 1, 248, 198), 7.5, 7.5);
    // A light band along the top behind the status text.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 244, 222));
    p.drawRoundedRect(QRectF(4, 4, 242, 26), 5, 5);
    return image;
}

QImage sslLock() {
    QImage image(50, 50, QImage::Format_RGB32);
    image.fill(kBubbleColour);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(120, 120, 130), 4));
    p.setBrush(Qt::NoBrush);
    p.drawArc(QRectF(15, 8, 20, 22), 0, 180 * 16);
    p.drawLine(QPointF(15, 19), QPointF(15, 24));
    p.drawLine(QPointF(35, 19), QPointF(35, 24));
    p.setPen(QPen(QColor(120, 80, 0), 1));
    p.setBrush(QColor(230, 180, 40));
    p.drawRoundedRect(QRectF(10, 23, 30, 21), 3, 3);
    p.setBrush(QColor(90, 60, 0));
    p.drawEllipse(QRectF(22, 29, 6, 6));
    p.drawRect(QRectF(24, 33, 2, 6));
    return image;
}

QImage logo() {
    QImage image(96, 96, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(150, 80, 0), 3));
    p.setBrush(QColor(250, 200, 60));
    p.drawRect(QRectF(8, 22, 70, 48));
    p.drawLine(QPointF(8, 22), QPointF(43, 50));
    p.drawLine(QPointF(78, 22), QPointF(43, 50));
    p.setPen(QPen(QColor(20, 40, 80), 3));
    p.setBrush(QColor(30, 120, 210));
    p.drawPath([] {
        QPainterPath path;
        path.moveTo(56, 48);
        path.lineTo(90, 48);
        path.lineTo(90, 70);
        path.quadTo(90, 84, 73, 92);
        path.quadTo(56, 84, 56, 70);
        path.closeSubpath();
        return path;
    }());
    return image;
}

// The desktop icon: the logo's envelope and shield, drawn for `size` pixels on a clear ground.
// Small sizes keep whole-pixel outlines so that the shapes stay sharp.
QImage applicationIcon(int size) {
    QImage image = blank(size, size);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing, size > 24);
    p.scale(size / 96.0, size / 96.0);
    const double line = std::max(3.0, 96.0 / size);
    p.setPen(QPen(QColor(150, 80, 0), line));
    p.setBrush(QColor(250, 200, 60));
    p.drawRect(QRectF(4, 16, 74, 54));
    p.drawLine(QPointF(4, 16), QPointF(41, 48));
    p.drawLine(QPointF(78, 16), QPointF(41, 48));
    p.setPen(QPen(QColor(20, 40, 80), line));
    p.setBrush(QColor(30, 120, 210));
    QPainterPath shield;
    shield.moveTo(52, 46);
    shield.lineTo(92, 46);
    shield.lineTo(92, 70);
    shield.quadTo(92, 86, 72, 94);
    shield.quadTo(52, 86, 52, 70);
    shield.closeSubpath();
    p.drawPath(shield);
    return image;
}

// A curved arrow back out of the bin: the mark of a restored message.
QImage restoreIcon() {
    return menuIcon([](QPainter& p) {
        p.setRenderHint(QPainter::Antialiasing, true);
        p.setPen(QPen(QColor(30, 130, 60), 2));
        p.setBrush(Qt::NoBrush);
        p.drawArc(QRectF(3, 4, 10, 9), 0 * 16, 200 * 16);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(30, 130, 60));
        p.drawPolygon(QPolygonF({QPointF(10, 9), QPointF(15, 9), QPointF(12.5, 13)}));
    });
}

// A small triangle pointing down (`down`) or up: the information pane's toggle.
QImage triangleIcon(bool down) {
    return menuIcon([down](QPainter& p) {
        p.setRenderHint(QPainter::Antialiasing, true);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(60, 60, 60));
        if (down) p.drawPolygon(QPolygonF({QPointF(3, 5), QPointF(13, 5), QPointF(8, 11)}));
        else p.drawPolygon(QPolygonF({QPointF(3, 11), QPointF(13, 11), QPointF(8, 5)}));
    });
}

// Two windows with an arrow between them: switch to the other store's window.
QImage switchIcon() {
    return menuIcon([](QPainter& p) {
        p.setPen(QPen(QColor(40, 40, 90), 1));
        p.setBrush(QColor(220, 230, 250));
        p.drawRect(QRectF(1, 1, 8, 7));
        p.drawRect(QRectF(7, 8, 8, 7));
        p.setPen(QPen(QColor(200, 80, 30), 2));
        p.drawLine(QPointF(4, 11), QPointF(4, 14));
        p.drawLine(QPointF(12, 2), QPointF(12, 5));
    });
}

// The recycle bin window's toolbar: five 32 x 32 pictures side by side on magenta, which the
// window takes as transparent. Order: delete, empty bin, view, restore, help.
// The options tree's 15 pictures of 16 x 16 in one row on magenta (the transparent colour), in
// the order of their image numbers: friends, blocked senders, senders, connection, language,
// general, aggressiveness, filter, spam words, tray area, training area, plug-ins, priorities,
// status window, SSL/TLS.
QImage optionsTree() {
    QImage image(15 * kIconSize, kIconSize, QImage::Format_RGB32);
    image.fill(QColor(255, 0, 255));
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing, false);
    auto cell = [](int index) { return QPointF(index * kIconSize, 0); };
    auto person = [&p](QPointF at, QColor shirt) {
        p.setPen(QPen(QColor(60, 60, 60), 1));
        p.setBrush(QColor(240, 200, 160));
        p.drawEllipse(QRectF(at.x() + 5, at.y() + 1, 6, 6));
        p.setBrush(shirt);
        p.drawRect(QRectF(at.x() + 3, at.y() + 8, 10, 7));
    };
    person(cell(0), QColor(60, 170, 80));
    person(cell(1), QColor(200, 40, 40));
    p.setPen(QPen(QColor(200, 30, 30), 2));
    p.drawLine(cell(1) + QPointF(2, 2), cell(1) + QPointF(14, 14));
    person(cell(2), QColor(70, 110, 200));
    // 3: connection, two plugs meeting.
    p.setPen(QPen(QColor(50, 50, 50), 2));
    p.drawLine(cell(3) + QPointF(1, 8), cell(3) + QPointF(15, 8));
    p.setBrush(QColor(230, 180, 40));
    p.drawRect(QRectF(cell(3) + QPointF(3, 4), QSizeF(4, 8)));
    p.drawRect(QRectF(cell(3) + QPointF(9, 4), QSizeF(4, 8)));
    // 4: language, a speech bubble.
    p.setPen(QPen(QColor(40, 40, 120), 1));
    p.setBrush(QColor(210, 225, 255));
    p.drawRect(QRectF(cell(4) + QPointF(1, 2), QSizeF(13, 9)));
    p.drawLine(cell(4) + QPointF(4, 11), cell(4) + QPointF(3, 15));
    // 5: general settings, a cog.
    p.setPen(QPen(QColor(70, 70, 70), 2));
    for (int spoke = 0; spoke < 4; ++spoke) {
        const QPointF centre = cell(5) + QPointF(8, 8);
        const QPointF arm = spoke % 2 == 0 ? QPointF(7, 0) : QPointF(0, 7);
        p.drawLine(centre - arm, centre + arm);
    }
    p.setBrush(QColor(150, 150, 150));
    p.drawEllipse(QRectF(cell(5) + QPointF(4, 4), QSizeF(8, 8)));
    // 6: aggressiveness, rising bars.
    p.setPen(Qt::NoPen);
    for (int bar = 0; bar < 4; ++bar) {
        p.setBrush(QColor(60 + 50 * bar, 160 - 30 * bar, 40));
        p.drawRect(QRectF(cell(6) + QPointF(1 + 4 * bar, 12 - 3 * bar), QSizeF(3, 3 + 3 * bar)));
    }
    // 7: filter, a funnel.
    p.setPen(QPen(QColor(40, 40, 40), 1));
    p.setBrush(QColor(120, 180, 230));
    p.drawPolygon(QPolygonF({cell(7) + QPointF(1, 2), cell(7) + QPointF(15, 2), cell(7) + QPointF(9, 9),
                             cell(7) + QPointF(9, 15), cell(7) + QPointF(7, 15), cell(7) + QPointF(7, 9)}));
    // 8: spam words, lines of text with a red word.
    p.setBrush(Qt::white);
    p.drawRect(QRectF(cell(8) + QPointF(2, 1), QSizeF(12, 14)));
    for (int y = 4; y <= 12; y += 4) p.drawLine(cell(8) + QPointF(4, y), cell(8) + QPointF(12, y));
    p.setPen(QPen(QColor(210, 30, 30), 2));
    p.drawLine(cell(8) + QPointF(4, 8), cell(8) + QPointF(9, 8));
    // 9: tray area, a panel with a small icon.
    p.setPen(QPen(QColor(40, 40, 40), 1));
    p.setBrush(QColor(90, 90, 110));
    p.drawRect(QRectF(cell(9) + QPointF(0, 9), QSizeF(15, 6)));
    p.setBrush(QColor(250, 210, 60));
    p.drawRect(QRectF(cell(9) + QPointF(10, 10), QSizeF(4, 4)));
    // 10: training area, a mortarboard.
    p.setBrush(QColor(40, 40, 40));
    p.drawPolygon(QPolygonF({cell(10) + QPointF(8, 3), cell(10) + QPointF(15, 7), cell(10) + QPointF(8, 10),
                             cell(10) + QPointF(1, 7)}));
    p.drawRect(QRectF(cell(10) + QPointF(5, 9), QSizeF(6, 4)));
    // 11: plug-ins, a puzzle piece.
    p.setBrush(QColor(90, 170, 90));
    p.drawRect(QRectF(cell(11) + QPointF(2, 5), QSizeF(10, 10)));
    p.drawEllipse(QRectF(cell(11) + QPointF(5, 1), QSizeF(4, 5)));
    p.drawEllipse(QRectF(cell(11) + QPointF(11, 8), QSizeF(4, 4)));
    // 12: priorities, a ladder of numbered steps.
    p.setBrush(QColor(240, 160, 40));
    for (int step = 0; step < 3; ++step) p.drawRect(QRectF(cell(12) + QPointF(1 + 5 * step, 2 + 4 * step), QSizeF(4, 12 - 4 * step)));
    // 13: status window, a small window with a bar.
    p.setBrush(QColor(255, 234, 195));
    p.drawRect(QRectF(cell(13) + QPointF(1, 2), QSizeF(14, 12)));
    p.setBrush(QColor(60, 130, 220));
    p.drawRect(QRectF(cell(13) + QPointF(3, 9), QSizeF(8, 3)));
    // 14: SSL/TLS, a padlock.
    p.setPen(QPen(QColor(120, 90, 20), 2));
    p.setBrush(Qt::NoBrush);
    p.drawArc(QRectF(cell(14) + QPointF(4, 1), QSizeF(8, 10)), 0, 180 * 16);
    p.setPen(QPen(QColor(120, 90, 20), 1));
    p.setBrush(QColor(230, 190, 50));
    p.drawRect(QRectF(cell(14) + QPointF(2, 7), QSizeF(12, 8)));
    return image;
}

QImage recycleToolbar() {
    QImage image(5 * 32, 32, QImage::Format_RGB32);
    image.fill(QColor(255, 0, 255));
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing, true);
    // 0: delete, a red cross over a letter.
    drawEnvelope(p, QRectF(4, 8, 24, 16), QColor(250, 250, 240), QColor(90, 90, 90));
    p.setPen(QPen(QColor(200, 30, 30), 4));
    p.drawLine(QPointF(8, 6), QPointF(26, 26));
    p.drawLine(QPointF(26, 6), QPointF(8, 26));
    // 1: empty bin, a bin with its lid lifted.
    p.setPen(QPen(QColor(60, 60, 60), 1.5));
    p.setBrush(QColor(170, 200, 170));
    p.drawRect(QRectF(32 + 8, 11, 16, 18));
    p.drawRect(QRectF(32 + 5, 5, 22, 3));
    p.drawLine(QPointF(32 + 13, 14), QPointF(32 + 13, 26));
    p.drawLine(QPointF(32 + 19, 14), QPointF(32 + 19, 26));
    // 2: view, a page under a lens.
    p.setBrush(Qt::white);
    p.drawRect(QRectF(64 + 5, 3, 17, 23));
    for (int y = 8; y <= 20; y += 4) p.drawLine(QPointF(64 + 8, y), QPointF(64 + 19, y));
    p.setPen(QPen(QColor(40, 40, 90), 2.5));
    p.setBrush(QColor(200, 220, 255, 160));
    p.drawEllipse(QRectF(64 + 14, 13, 10, 10));
    p.drawLine(QPointF(64 + 23, 22), QPointF(64 + 29, 29));
    // 3: restore, a letter with a green arrow back.
    drawEnvelope(p, QRectF(96 + 3, 12, 22, 15), QColor(250, 250, 240), QColor(90, 90, 90));
    p.setPen(QPen(QColor(30, 140, 60), 3));
    p.setBrush(Qt::NoBrush);
    p.drawArc(QRectF(96 + 10, 3, 18, 16), 0, 180 * 16);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(30, 140, 60));
    p.drawPolygon(QPolygonF({QPointF(96 + 6, 10), QPointF(96 + 14, 10), QPointF(96 + 10, 16)}));
    // 4: help, a blue disc with a question mark.
    p.setBrush(QColor(40, 120, 200));
    p.drawEllipse(QRectF(128 + 4, 4, 24, 24));
    p.setPen(QPen(Qt::white, 3));
    p.setBrush(Qt::NoBrush);
    p.drawArc(QRectF(128 + 11, 8, 10, 9), -90 * 16, 270 * 16);
    p.drawLine(QPointF(128 + 16, 17), QPointF(128 + 16, 20));
    p.drawPoint(QPointF(128 + 16, 24));
    p.end();
    return image;
}

// A round badge with a white cross (spam) or tick (non-spam): the training area's marks.
QImage markIcon(bool spam) {
    return menuIcon([spam](QPainter& p) {
        p.setPen(Qt::NoPen);
        p.setBrush(spam ? QColor(200, 40, 40) : QColor(40, 150, 60));
        p.drawEllipse(QRectF(1, 1, 14, 14));
        p.setPen(QPen(Qt::white, 2));
        if (spam) {
            p.drawLine(QPointF(5, 5), QPointF(11, 11));
            p.drawLine(QPointF(11, 5), QPointF(5, 11));
        } else {
            p.drawLine(QPointF(4, 8), QPointF(7, 11));
            p.drawLine(QPointF(7, 11), QPointF(12, 4));
        }
    });
}

// The training area window's toolbar: seven 32 x 32 pictures on magenta. Order: view, spam,
// non-spam, learn, help, delete, pre-mark.
QImage trainingToolbar() {
    QImage image(7 * 32, 32, QImage::Format_RGB32);
    image.fill(QColor(255, 0, 255));
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing, true);
    // 0: view, a page under a lens.
    p.setPen(QPen(QColor(60, 60, 60), 1.5));
    p.setBrush(Qt::white);
    p.drawRect(QRectF(5, 3, 17, 23));
    for (int y = 8; y <= 20; y += 4) p.drawLine(QPointF(8, y), QPointF(19, y));
    p.setPen(QPen(QColor(40, 40, 90), 2.5));
    p.setBrush(QColor(200, 220, 255, 160));
    p.drawEllipse(QRectF(14, 13, 10, 10));
    p.drawLine(QPointF(23, 22), QPointF(29, 29));
    // 1 and 2: a letter with the spam cross or the non-spam tick.
    for (int part : {1, 2}) {
        const double x = part * 32;
        drawEnvelope(p, QRectF(x + 2, 6, 22, 15), QColor(250, 250, 240), QColor(90, 90, 90));
        p.setPen(Qt::NoPen);
        p.setBrush(part == 1 ? QColor(200, 40, 40) : QColor(40, 150, 60));
        p.drawEllipse(QRectF(x + 15, 15, 15, 15));
        p.setPen(QPen(Qt::white, 2.5));
        if (part == 1) {
            p.drawLine(QPointF(x + 19, 19), QPointF(x + 26, 26));
            p.drawLine(QPointF(x + 26, 19), QPointF(x + 19, 26));
        } else {
            p.drawLine(QPointF(x + 18, 23), QPointF(x + 21, 26));
            p.drawLine(QPointF(x + 21, 26), QPointF(x + 27, 18));
        }
    }
    // 3: learn, an open book.
    p.setPen(QPen(QColor(40, 40, 90), 1.5));
    p.setBrush(QColor(90, 120, 200));
    p.drawRect(QRectF(96 + 3, 7, 13, 19));
    p.drawRect(QRectF(96 + 16, 7, 13, 19));
    p.setPen(QPen(Qt::white, 1.2));
    for (int y = 11; y <= 21; y += 5) {
        p.drawLine(QPointF(96 + 6, y), QPointF(96 + 13, y));
        p.drawLine(QPointF(96 + 19, y), QPointF(96 + 26, y));
    }
    // 4: help, a blue disc with a question mark.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(40, 120, 200));
    p.drawEllipse(QRectF(128 + 4, 4, 24, 24));
    p.setPen(QPen(Qt::white, 3));
    p.setBrush(Qt::NoBrush);
    p.drawArc(QRectF(128 + 11, 8, 10, 9), -90 * 16, 270 * 16);
    p.drawLine(QPointF(128 + 16, 17), QPointF(128 + 16, 20));
    p.drawPoint(QPointF(128 + 16, 24));
    // 5: delete, a red cross over a letter.
    drawEnvelope(p, QRectF(160 + 4, 8, 24, 16), QColor(250, 250, 240), QColor(90, 90, 90));
    p.setPen(QPen(QColor(200, 30, 30), 4));
    p.drawLine(QPointF(160 + 8, 6), QPointF(160 + 26, 26));
    p.drawLine(QPointF(160 + 26, 6), QPointF(160 + 8, 26));
    // 6: pre-mark, three letters of which two carry the spam cross.
    for (int row = 0; row < 3; ++row) {
        const double y = 3 + row * 9;
        drawEnvelope(p, QRectF(192 + 3, y, 16, 8), QColor(250, 250, 240), QColor(90, 90, 90));
        if (row == 1) continue;
        p.setPen(QPen(QColor(200, 40, 40), 2));
        p.drawLine(QPointF(192 + 22, y + 1), QPointF(192 + 28, y + 7));
        p.drawLine(QPointF(192 + 28, y + 1), QPointF(192 + 22, y + 7));
    }
    p.end();
    return image;
}

// The five aggressiveness levels, 32 x 32 each in one strip on magenta (transparent): a gauge
// whose needle turns from green (very low, image 0) to red (very high, image 4).
QImage aggressivenessStrip() {
    QImage image(5 * 32, 32, QImage::Format_ARGB32);
    image.fill(QColor(255, 0, 255));
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    for (int i = 0; i < 5; ++i) {
        const QPointF centre(i * 32 + 16, 22);
        p.setPen(QPen(QColor(60, 60, 60), 1.5));
        p.setBrush(QColor(245, 245, 245));
        p.drawPie(QRectF(i * 32 + 2, 8, 28, 28), 0, 180 * 16);
        const QColor needle = QColor::fromHsv(120 - i * 30, 220, 200);
        const double angle = (180.0 - 45.0 * i) * 3.14159265 / 180.0;
        p.setPen(QPen(needle.darker(140), 3, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(centre, centre + QPointF(12 * std::cos(angle), -12 * std::sin(angle)));
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(60, 60, 60));
        p.drawEllipse(centre, 2.5, 2.5);
    }
    p.end();
    return image;
}

bool save(const QImage& image, const QString& path, const char* format) {
    QImageWriter writer(path, format);
    // BMP files carry no alpha channel; icons keep theirs as the mask.
    QImage out = QByteArray(format) == "bmp" ? image.convertToFormat(QImage::Format_RGB888) : image;
    if (writer.write(out)) return true;
    std::fprintf(stderr, "icon_painter: cannot write %s: %s\n", qPrintable(path), qPrintable(writer.errorString()));
    return false;
}

} // namespace

int main(int argc, char** argv) {
    // The application object lets the image writers find the icon format plug-in.
    QCoreApplication application(argc, argv);
    if (argc != 2 && argc != 3) {
        std::fprintf(stderr, "usage: icon_painter <program folder> [<icon theme folder>]\n");
        return 2;
    }
    QDir root(QString::fromLocal8Bit(argv[1]));
    if (!root.mkpath("icons/numbers") || !root.mkpath("bitmaps")) {
        std::fprintf(stderr, "icon_painter: cannot make the folders in %s\n", argv[1]);
        return 1;
    }
    auto icon = [&](const QString& name) { return root.filePath("icons/" + name); };
    bool ok = true;
    ok &= save(stateIcon(true), icon("mini.ico"), "ico");
    ok &= save(stateIcon(false), icon("mini_grey.ico"), "ico");
    ok &= save(waitIcon(), icon("wait.ico"), "ico");
    ok &= save(animationIcon(0), icon("mailmini.ico"), "ico");
    for (int frame = 1; frame <= 3; ++frame)
        ok &= save(animationIcon(frame), icon(QString("mailani%1.ico").arg(frame)), "ico");
    for (int digit = 0; digit <= 9; ++digit) {
        ok &= save(numberIcon(digit, false), icon(QString("numbers/%1.ico").arg(digit)), "ico");
        if (digit > 0) ok &= save(numberIcon(digit, true), icon(QString("numbers/%1").arg(digit) + "0.ico"), "ico");
    }
    ok &= save(recycleIcon(), icon("recyclemail.ico"), "ico");
    ok &= save(learnIcon(), icon("learn.ico"), "ico");
    ok &= save(statisticIcon(), icon("statistic.ico"), "ico");
    ok &= save(exitIcon(), icon("exit.ico"), "ico");
    ok &= save(settingsIcon(), icon("settings.ico"), "ico");
    ok &= save(roundBadge(QColor(40, 120, 200), kQuestion), icon("help.ico"), "ico");
    ok &= save(roundBadge(QColor(40, 150, 90), kInfo), icon("about.ico"), "ico");
    ok &= save(recycleIcon(), icon("recycle.ico"), "ico");
    ok &= save(restoreIcon(), icon("restore.ico"), "ico");
    ok &= save(triangleIcon(true), icon("down.ico"), "ico");
    ok &= save(triangleIcon(false), icon("up.ico"), "ico");
    ok &= save(switchIcon(), icon("switchto_tb.ico"), "ico");
    ok &= save(recycleToolbar(), root.filePath("bitmaps/recycletoolbar.bmp"), "bmp");
    ok &= save(markIcon(true), icon("spam.ico"), "ico");
    ok &= save(markIcon(false), icon("nonspam.ico"), "ico");
    ok &= save(trainingToolbar(), root.filePath("bitmaps/trainingtoolbar.bmp"), "bmp");
    ok &= save(bubble(), root.filePath("bitmaps/bubble.bmp"), "bmp");
    ok &= save(sslLock(), root.filePath("bitmaps/ssl.bmp"), "bmp");
    ok &= save(logo(), root.filePath("bitmaps/corvanthelix.bmp"), "bmp");
    ok &= save(optionsTree(), root.filePath("bitmaps/optionstree.bmp"), "bmp");
    ok &= save(aggressivenessStrip(), root.filePath("bitmaps/aggressiveness.bmp"), "bmp");
    // The plug-ins' page icons, beside their libraries.
    root.mkpath("plugins");
    ok &= save(roundBadge(QColor(190, 60, 50), kLetterA), root.filePath("plugins/quillatrest.ico"), "ico");
    ok &= save(menuIcon([](QPainter& p) { drawEnvelope(p, QRectF(0.5, 3.5, 15, 10), QColor(255, 250, 215), QColor(120, 100, 40)); }),
               root.filePath("plugins/newsletter.ico"), "ico");
    ok &= save(roundBadge(QColor(60, 120, 190), kLetterS), root.filePath("plugins/signature.ico"), "ico");
    ok &= save(roundBadge(QColor(60, 150, 90), kLetterG), root.filePath("plugins/recipients.ico"), "ico");
    if (argc == 3) {
        QDir theme(QString::fromLocal8Bit(argv[2]));
        for (int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
            const QString folder = QString("%1x%1/apps").arg(size);
            if (!theme.mkpath(folder)) {
                std::fprintf(stderr, "icon_painter: cannot make %s in %s\n", qPrintable(folder), argv[2]);
                return 1;
            }
            ok &= save(applicationIcon(size), theme.filePath(folder + "/corvanthelix.png"), "png");
        }
    }
    return ok ? 0 : 1;
}
