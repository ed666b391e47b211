// Stand-in for the updater: reports a few progress steps in "status-update",
// then success with a new version.
#include "standin.h"

#include <unistd.h>

int main()
{
    standin::recordStart("update");
    const std::string status = standin::ownFolder() + "status-update";
    for (const char *percent : {"5", "20", "45", "70", "90"}) {
        standin::replaceFile(status, std::string(percent) + "\r\n");
        usleep(400 * 1000);
    }
    // The next version after this build's.
    standin::replaceFile(status,
        "N" + std::to_string(JUNKWARDEN_VERSION_MAJOR) + "." + std::to_string(JUNKWARDEN_VERSION_MINOR) + "."
            + std::to_string(JUNKWARDEN_BUILD + 1) + "\r\n");
    return 0;
}
