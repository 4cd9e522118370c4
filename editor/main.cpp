#include "editor/program.h"

int main(int argc, char *argv[])
{
    return editor::runProgram(argc, argv);
}
