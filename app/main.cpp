// Start-up: initialise the application object, set the title and create the main window, then run the
// message loop until that window closes.
#include "app/Startup.h"

int main(int argc, char** argv) {
    TApplication application(argc, argv);
    CreateMainWindow(application);
    return application.Run();
}
