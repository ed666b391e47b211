// Stand-in for the filtering proxy: runs until it is killed and writes no
// status, so the tray shows "waiting".
#include "standin.h"

#include <unistd.h>

int main()
{
    standin::recordStart("vexel3");
    for (;;)
        pause();
}
