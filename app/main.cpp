#include "app/gui/program.h"

int main(int argc, char** argv) { return vz::runProgram(argc, argv); }
