// vexa-cli: the command-line front of the pages (see CliCommands.h).
#include "../ToolMain.h"
#include "CliCommands.h"

int main(int argc, char** argv) {
    return RunToolMain(argc, argv, RunCli);
}
