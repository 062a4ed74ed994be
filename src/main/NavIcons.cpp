#include "main/NavIcons.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <cmath>
#include <functional>

namespace {

constexpr int kSize = 32; // drawn at 32 and scaled, so they stay sharp on any screen

QIcon draw(const std::function<void(QPainter &)> &paint)
{
    QPixmap pm(kSize, kSize);
    pm.fill(Qt::transparent);
    {
        QPainter p(&pm);
        p.setRenderHint(QPainter::Antialiasing);
        paint(p);
    }
    return QIcon(pm);
}

const QColor kInk(40, 52, 72);

QPen ink(qreal width = 2.0)
{
    return QPen(kInk, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

void envelope(QPainter &p, const QRectF &r, const QColor &fill)
{
    p.setPen(ink());
    p.setBrush(fill);
    p.drawRoundedRect(r, 2, 2);
    QPainterPath flap;
    flap.moveTo(r.left() + 1, r.top() + 1);
    flap.lineTo(r.center().x(), r.top() + r.height() * 0.55);
    flap.lineTo(r.right() - 1, r.top() + 1);
    p.setBrush(Qt::NoBrush);
    p.drawPath(flap);
}

void folder(QPainter &p, const QRectF &r, const QColor &fill)
{
    p.setPen(ink());
    p.setBrush(fill.darker(115));
    QPainterPath tab;
    tab.moveTo(r.left(), r.top() + 4);
    tab.lineTo(r.left(), r.top());
    tab.lineTo(r.left() + r.width() * 0.4, r.top());
    tab.lineTo(r.left() + r.width() * 0.5, r.top() + 4);
    tab.closeSubpath();
    p.drawPath(tab);
    p.setBrush(fill);
    p.drawRoundedRect(QRectF(r.left(), r.top() + 4, r.width(), r.height() - 4), 2, 2);
}

void person(QPainter &p, qreal cx, qreal top, qreal scale, const QColor &fill)
{
    p.setPen(ink(1.8));
    p.setBrush(fill);
    p.drawEllipse(QPointF(cx, top + 5 * scale), 5 * scale, 5 * scale);
    QPainterPath body;
    body.moveTo(cx - 9 * scale, top + 22 * scale);
    body.cubicTo(cx - 9 * scale, top + 12 * scale, cx + 9 * scale, top + 12 * scale, cx + 9 * scale, top + 22 * scale);
    body.closeSubpath();
    p.drawPath(body);
}

void page(QPainter &p, const QRectF &r, const QColor &fill)
{
    p.setPen(ink());
    p.setBrush(fill);
    p.drawRoundedRect(r, 2, 2);
    p.setPen(ink(1.6));
    for (qreal y = r.top() + 6; y < r.bottom() - 3; y += 5)
        p.drawLine(QPointF(r.left() + 4, y), QPointF(r.right() - 4, y));
}

void sliders(QPainter &p, const QRectF &r)
{
    p.setPen(ink(2.2));
    const qreal xs[3] = {r.left() + r.width() * 0.2, r.center().x(), r.right() - r.width() * 0.2};
    const qreal knobs[3] = {0.35, 0.7, 0.45};
    for (int i = 0; i < 3; ++i) {
        p.setPen(ink(2.2));
        p.drawLine(QPointF(xs[i], r.top()), QPointF(xs[i], r.bottom()));
        p.setBrush(QColor(230, 120, 40));
        p.setPen(ink(1.6));
        p.drawRoundedRect(QRectF(xs[i] - 4, r.top() + r.height() * knobs[i] - 3, 8, 6), 1.5, 1.5);
    }
}

void gear(QPainter &p, const QPointF &c, qreal radius, const QColor &fill)
{
    QPainterPath teeth;
    const int n = 8;
    for (int i = 0; i < n * 2; ++i) {
        const qreal a = i * M_PI / n;
        const qreal rr = (i % 2 == 0) ? radius : radius * 0.78;
        const QPointF pt(c.x() + rr * std::cos(a), c.y() + rr * std::sin(a));
        if (i == 0)
            teeth.moveTo(pt);
        else
            teeth.lineTo(pt);
    }
    teeth.closeSubpath();
    p.setPen(ink(1.6));
    p.setBrush(fill);
    p.drawPath(teeth);
    p.setBrush(Qt::white);
    p.drawEllipse(c, radius * 0.32, radius * 0.32);
}

} // namespace

namespace NavIcons {

QList<QIcon> imageList()
{
    const QColor blue(120, 170, 230), yellow(245, 205, 90), green(130, 200, 120), paper(250, 250, 245);
    QList<QIcon> list;
    // 0 Incoming Accounts: a tray with letters dropping in
    list << draw([&](QPainter &p) {
        envelope(p, QRectF(8, 3, 16, 11), paper);
        p.setPen(ink());
        p.setBrush(blue);
        QPainterPath tray;
        tray.moveTo(3, 17);
        tray.lineTo(10, 17);
        tray.lineTo(12, 21);
        tray.lineTo(20, 21);
        tray.lineTo(22, 17);
        tray.lineTo(29, 17);
        tray.lineTo(29, 29);
        tray.lineTo(3, 29);
        tray.closeSubpath();
        p.drawPath(tray);
    });
    // 1 an incoming account: an envelope
    list << draw([&](QPainter &p) { envelope(p, QRectF(3, 7, 26, 18), paper); });
    // 2 General: a gear
    list << draw([&](QPainter &p) { gear(p, QPointF(16, 16), 13, QColor(170, 180, 195)); });
    // 3 a group: a folder
    list << draw([&](QPainter &p) { folder(p, QRectF(3, 6, 26, 21), yellow); });
    // 4 Groups: two folders
    list << draw([&](QPainter &p) {
        folder(p, QRectF(8, 2, 21, 17), yellow.darker(110));
        folder(p, QRectF(3, 11, 21, 18), yellow);
    });
    // 5 Log: a notebook
    list << draw([&](QPainter &p) {
        page(p, QRectF(7, 3, 20, 26), paper);
        p.setPen(ink(1.6));
        for (int y = 7; y <= 25; y += 6)
            p.drawLine(QPointF(4, y), QPointF(9, y));
    });
    // 6 Advanced: a wrench over a gear
    list << draw([&](QPainter &p) {
        gear(p, QPointF(12, 12), 9, QColor(170, 180, 195));
        p.setPen(QPen(kInk, 5, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(15, 15), QPointF(27, 27));
        p.setPen(QPen(QColor(200, 205, 215), 2.5, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(16, 16), QPointF(26, 26));
    });
    // 7 a user: one person
    list << draw([&](QPainter &p) { person(p, 16, 4, 1.1, green); });
    // 8 Users: two persons
    list << draw([&](QPainter &p) {
        person(p, 21, 3, 0.9, green.darker(115));
        person(p, 12, 7, 1.0, green);
    });
    // 9 Log view: a page under a magnifier
    list << draw([&](QPainter &p) {
        page(p, QRectF(3, 2, 19, 25), paper);
        p.setPen(ink(2.2));
        p.setBrush(QColor(200, 225, 250, 200));
        p.drawEllipse(QPointF(20, 19), 6, 6);
        p.setPen(QPen(kInk, 3.5, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(24.5, 23.5), QPointF(29, 28));
    });
    // 10 Log settings: sliders
    list << draw([&](QPainter &p) { sliders(p, QRectF(4, 4, 24, 24)); });
    return list;
}

QIcon refreshIcon()
{
    return draw([](QPainter &p) {
        p.setPen(QPen(QColor(40, 120, 60), 3.5, Qt::SolidLine, Qt::RoundCap));
        p.setBrush(Qt::NoBrush);
        p.drawArc(QRectF(6, 6, 20, 20), 60 * 16, 280 * 16);
        QPainterPath head;
        head.moveTo(21, 2);
        head.lineTo(28, 8);
        head.lineTo(19, 11);
        head.closeSubpath();
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(40, 120, 60));
        p.drawPath(head);
    });
}

QIcon clearIcon()
{
    return draw([](QPainter &p) {
        page(p, QRectF(4, 3, 18, 24), QColor(250, 250, 245));
        p.setPen(QPen(QColor(200, 40, 40), 3.5, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(17, 17), QPointF(28, 28));
        p.drawLine(QPointF(28, 17), QPointF(17, 28));
    });
}

} // namespace NavIcons
