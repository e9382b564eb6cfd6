// kxw: the Korvex IDE.
#include "kxwStartup.h"

int main(int argc, char **argv) { return WinMain(argc, argv); }
