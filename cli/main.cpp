#include "untCliCommands.h"

int main(int argc, char** argv) { return VelmoraCliMain(argc, argv); }
