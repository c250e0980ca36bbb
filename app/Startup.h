#pragma once
// The program's start-up steps between initialising the application object and running its loop.
#include "app/mUnit.h"
#include "framework/Application.h"

inline constexpr const char* ApplicationTitle = "Vantor Account Creator";

// Sets the application title, creates the main window and runs its create handler.
TMainForm& CreateMainWindow(TApplication& application);
