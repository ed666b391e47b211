#pragma once

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

} // namespace jw
