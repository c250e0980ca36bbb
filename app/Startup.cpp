#include "app/Startup.h"

TMainForm& CreateMainWindow(TApplication& application) {
    application.SetTitle(ApplicationTitle);
    TMainForm& form = application.CreateForm<TMainForm>();
    // All controls exist; the settings fill the "Options" page before the window is shown.
    form.DoCreate();
    return form;
}
