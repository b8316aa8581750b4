#pragma once
// Pictures the program draws itself are drawn into pixmaps with as many
// device pixels as the sharpest screen has, so they stay crisp at any scale.
#include <QGuiApplication>
#include <QPixmap>
#include <QRect>

// A pixmap of `size` device-independent pixels; paint on it in those units.
inline QPixmap crispPixmap(QSize size) {
    const qreal ratio = qApp ? qApp->devicePixelRatio() : 1.0;
    QPixmap pm((QSizeF(size) * ratio).toSize());
    pm.setDevicePixelRatio(ratio);
    return pm;
}

// The pixmap's area in device-independent pixels.
inline QRect logicalRect(const QPixmap& pm) {
    return QRect(QPoint(), pm.deviceIndependentSize().toSize());
}
