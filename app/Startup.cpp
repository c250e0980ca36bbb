#include "app/Startup.h"

TMainForm& CreateMainWindow(TApplication& application)
{
    application.SetTitle(ApplicationTitle);
    return application.CreateForm<TMainForm>();
}
