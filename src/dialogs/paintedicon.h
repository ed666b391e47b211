#pragma once

#include <QIcon>
#include <QSizeF>

#include <functional>

class QPainter;

namespace jw {

// An icon drawn by code at whatever size it is shown: `paint` draws into a
// box of `designSize`, which is scaled to fit the requested size.
using IconPainter = std::function<void(QPainter &)>;
QIcon paintedIcon(QSizeF designSize, IconPainter paint);

} // namespace jw
