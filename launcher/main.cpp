// corvane-r: starts the locally installed remote-display client, hands it the
// connection parameters from our environment and waits for it to exit.
// No options, no output: the exit status, 0 or -1, is the only report.
#include "launch_sequence.h"

int main() {
    controller::ControllerConnection connection;
    const int status = launcher::runLaunch(connection);
    connection.close();
    return status;
}
