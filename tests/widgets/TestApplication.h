#pragma once
// The test program's application object: like the program's, it lets no exception escape the event
// loop; it records the messages so tests can check what reached the error display.
#include <QApplication>

#include <string>
#include <vector>

class TTestApplication : public QApplication {
public:
    TTestApplication(int& argc, char** argv) : QApplication(argc, argv) {}
    bool notify(QObject* receiver, QEvent* event) override;

    static std::vector<std::string>& Errors();
};
