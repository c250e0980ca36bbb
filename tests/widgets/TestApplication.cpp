#include "tests/widgets/TestApplication.h"

#include <gtest/gtest.h>

#include <exception>

bool TTestApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& error) {
        Errors().emplace_back(error.what());
    }
    return false;
}

std::vector<std::string>& TTestApplication::Errors() {
    static std::vector<std::string> errors;
    return errors;
}

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    // The tests need no display; test discovery at build time runs without ctest's environment.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    TTestApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
