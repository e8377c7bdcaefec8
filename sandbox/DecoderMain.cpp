// The helper program that decodes pictures and clips for the program, in a
// process that can do nothing else.

#include "sandbox/Helper.h"

int main(int argc, char** argv)
{
    mugrove::sandbox::RunHelper(argc, argv);
}
