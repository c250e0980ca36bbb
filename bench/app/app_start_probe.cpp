// Runs the program's start-up (or, with "bare", a Qt application with an empty window of the same size;
// with "bare-text", the same window showing one line of text, so the font system starts too) until the
// window's first paint, prints that moment on the monotonic clock in nanoseconds and exits.
#include "app/Startup.h"

#include <QApplication>
#include <QEvent>
#include <QLabel>
#include <QWidget>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>

namespace {

// Notes the first paint of the watched window and ends the loop.
class TFirstPaint final : public QObject {
public:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint && !Seen) {
            Seen = true;
            At = std::chrono::steady_clock::now();
            // Once this paint has reached the screen.
            QMetaObject::invokeMethod(QCoreApplication::instance(), &QCoreApplication::quit, Qt::QueuedConnection);
        }
        return QObject::eventFilter(watched, event);
    }

    bool Seen = false;
    std::chrono::steady_clock::time_point At;
};

int Report(const TFirstPaint& paint) {
    if (!paint.Seen) return 1;
    std::printf("%lld\n",
                static_cast<long long>(
                    std::chrono::duration_cast<std::chrono::nanoseconds>(paint.At.time_since_epoch()).count()));
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    TFirstPaint paint;
    const bool text = argc > 1 && std::strcmp(argv[1], "bare-text") == 0;
    if (text || (argc > 1 && std::strcmp(argv[1], "bare") == 0)) {
        QApplication application(argc, argv);
        QWidget window;
        window.setFixedSize(236, 186);
        if (text) (new QLabel(QStringLiteral("Login"), &window))->move(13, 12);
        window.installEventFilter(&paint);
        window.show();
        application.exec();
        return Report(paint);
    }
    TApplication application(argc, argv);
    TMainForm& form = CreateMainWindow(application);
    form.installEventFilter(&paint);
    form.ShowCentred();
    application.exec();
    return Report(paint);
}
