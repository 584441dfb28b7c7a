#include "app/entry.h"

int main(int argc, char *argv[])
{
    return runToneTuningTool(argc, argv);
}
