// Stand-in for the mail checker: nothing to check, ends at once.
#include "standin.h"

int main()
{
    standin::recordStart("PostPing");
    return 0;
}
