#pragma once

#include <QIcon>

namespace jw {

// The configuration window's pictures, drawn as vector art: the five page
// pictures (strainer, bed with a red cross, two persons with speech balloons,
// check list, gear wheel) and the help button in its two looks.
QIcon pageIcon(int page);
QIcon helpIcon(bool highlighted);

} // namespace jw
