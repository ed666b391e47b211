#pragma once

#include <QIcon>
#include <QStyle>

namespace jw {

// The configuration window's pictures, drawn as vector art: the five page
// pictures (strainer, bed with a red cross, two persons with speech balloons,
// check list, gear wheel) and the help button in its two looks.
// Each is made once per run, and drawn once per size.
QIcon pageIcon(int page);
QIcon helpIcon(bool highlighted);
// The style's standard icon, loaded once per run: loading reads image files.
QIcon standardIcon(QStyle::StandardPixmap which);

} // namespace jw
