#pragma once

#include "platform/helpviewer.h"

#include <QString>

#include <memory>

namespace jw {

// Help pages "<context>.html" in `helpFolder`, shown in the program's own
// help window.
std::unique_ptr<HelpViewer> createHelpWindowViewer(const QString &helpFolder);

} // namespace jw
