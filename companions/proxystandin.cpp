// Stand-in for the filtering proxy: runs until it is killed and writes no
// status, so the tray shows "waiting". Tests that need a proxy that fails
// put "vexel3.behaviour" beside it:
//   "exit N"        every start ends at once with exit code N;
//   "exit-first N"  the first start recorded in "companions.log" ends with
//                   code N, later ones run as usual;
//   "crash"         every start ends by SIGSEGV.
#include "standin.h"

#include <csignal>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <unistd.h>

namespace {

std::string readAll(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

int countStarts(const std::string &log)
{
    int starts = 0;
    for (std::string::size_type at = log.find("vexel3 "); at != std::string::npos; at = log.find("vexel3 ", at + 1))
        ++starts;
    return starts;
}

} // namespace

int main()
{
    standin::recordStart("vexel3");
    std::istringstream behaviour(readAll(standin::ownFolder() + "vexel3.behaviour"));
    std::string what;
    int code = 0;
    behaviour >> what >> code;
    if (what == "exit")
        return code;
    if (what == "exit-first" && countStarts(readAll(standin::ownFolder() + "companions.log")) <= 1)
        return code;
    if (what == "crash")
        std::raise(SIGSEGV);
    for (;;)
        pause();
}
