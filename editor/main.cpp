#include "cipher/hardening.h"
#include "editor/program.h"

int main(int argc, char *argv[])
{
    cipher::hardenProcess("velmorandquist");
    return editor::runProgram(argc, argv);
}
