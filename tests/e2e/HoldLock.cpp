// Stands in for a copy of the player caught inside its start-up in end-to-end runs:
//   tvq-e2e-holdlock
// attaches to the hand-over block and takes its start-up lock exactly as a starting copy does
// first thing, prints "held" and waits to be killed. The object folder is XDG_RUNTIME_DIR's.
#include <unistd.h>

#include <cstdio>

#include "support/SharedFileMap.h"

int main() {
    CSharedFileMapCreator block;
    if (!block.IsCreated())
        return 1;
    block.Lock();
    std::printf("held\n");
    std::fflush(stdout);
    for (;;) pause();
}
