#pragma once
// One TApplication for a whole test program, created before the first test and ended after the last.
// Its own error display (for events that escape every handler) records into TestApplicationDialogs().
#include "framework/Application.h"
#include "tests/framework/support/QtPrinters.h"
#include "tests/framework/support/RecordingDialogs.h"

#include <gtest/gtest.h>

#include <memory>

inline TRecordingDialogs& TestApplicationDialogs() {
    static TRecordingDialogs dialogs;
    return dialogs;
}

class TApplicationEnvironment final : public ::testing::Environment {
public:
    void SetUp() override { Application = std::make_unique<TApplication>(Argc, Argv, &TestApplicationDialogs()); }
    void TearDown() override { Application.reset(); }

    static TApplication& App() { return *Application; }

private:
    static inline int Argc = 1;
    static inline char ProgramName[] = "test";
    static inline char* Argv[] = {ProgramName, nullptr};
    static inline std::unique_ptr<TApplication> Application;
};

// Include in exactly one source file of a test program.
#define VAC_USE_APPLICATION_ENVIRONMENT()                                             \
    [[maybe_unused]] static ::testing::Environment* const vacApplicationEnvironment = \
        ::testing::AddGlobalTestEnvironment(new TApplicationEnvironment)
