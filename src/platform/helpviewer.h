#pragma once

#include <memory>

class QString;

namespace jw {

// Shows the program's help at a topic number.
class HelpViewer
{
public:
    virtual ~HelpViewer() = default;
    virtual void showTopic(int context) = 0;
    // Closes a help window that is open.
    virtual void quit() = 0;
};

// Help pages "<context>.html" in `helpFolder`, shown in the program's own
// help window (built with the dialogs).
std::unique_ptr<HelpViewer> createHelpWindowViewer(const QString &helpFolder);

} // namespace jw
