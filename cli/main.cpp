#include "untCliCommands.h"

int main(int argc, char** argv) {
    WatchSignals();
    return VelmoraCliMain(argc, argv);
}
