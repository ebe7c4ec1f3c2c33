#include "cli/cliapp.h"

int main(int argc, char** argv) {
    return fenlowick::runCli(argc, argv);
}
