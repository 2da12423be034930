// Draws the legend's three icons (an open eye, a struck-through eye and a cross) as 32 x 32 PNG files
// into the folder given as the only argument. Built and run by make_legend_icons.sh.
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QString>

#include <cstdio>
#include <functional>

namespace {

constexpr int kSize = 32;
const QColor kInk(60, 60, 60);

void drawEye(QPainter& painter) {
    QPainterPath outline;
    outline.moveTo(3, 16);
    outline.quadTo(16, 3, 29, 16);
    outline.quadTo(16, 29, 3, 16);
    painter.setPen(QPen(kInk, 2.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.setBrush(Qt::white);
    painter.drawPath(outline);
    painter.setPen(Qt::NoPen);
    painter.setBrush(kInk);
    painter.drawEllipse(QPointF(16, 16), 5, 5);
}

void drawVisible(QPainter& painter) {
    drawEye(painter);
}

void drawInvisible(QPainter& painter) {
    painter.setOpacity(0.45);
    drawEye(painter);
    painter.setOpacity(1.0);
    painter.setPen(QPen(QColor(190, 30, 30), 3, Qt::SolidLine, Qt::RoundCap));
    painter.drawLine(QPointF(6, 26), QPointF(26, 6));
}

void drawClose(QPainter& painter) {
    painter.setPen(QPen(kInk, 3.5, Qt::SolidLine, Qt::RoundCap));
    painter.drawLine(QPointF(8, 8), QPointF(24, 24));
    painter.drawLine(QPointF(24, 8), QPointF(8, 24));
}

bool writeIcon(const QString& path, const std::function<void(QPainter&)>& draw) {
    QImage image(kSize, kSize, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    draw(painter);
    painter.end();
    return image.save(path, "PNG");
}

} // namespace

int main(int argc, char* argv[]) {
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_legend_icons <folder>\n");
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);
    const bool written = writeIcon(folder + QStringLiteral("/visible.png"), drawVisible) &&
                         writeIcon(folder + QStringLiteral("/invisible.png"), drawInvisible) &&
                         writeIcon(folder + QStringLiteral("/close.png"), drawClose);
    return written ? 0 : 1;
}
