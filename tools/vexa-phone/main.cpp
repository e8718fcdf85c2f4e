// vexa-phone: the command-line control of simulated phones (see PhoneCommands.cpp for the forms).
#include "../ToolMain.h"
#include "PhoneCommands.h"

int main(int argc, char** argv) {
    return RunToolMain(argc, argv, RunPhoneCommand);
}
