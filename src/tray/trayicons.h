#pragma once

#include <QIcon>

namespace jw {

// The program's emblem, a shield with a large orange-red cross, in the four
// looks of the tray states: 0 waiting (blue), 1 running (orange),
// 2 quarantine (orange with a white envelope), 3 disabled (grey). Drawn as
// vector art, sharp at any size.
QIcon trayStateIcon(int state);
QIcon emblemIcon();

} // namespace jw
