// Figures for the account tool, each against a baseline measured in the same run:
//  - HashPassword throughput against a plain 16-byte copy-and-XOR loop;
//  - program start to the main window's first paint (offscreen), over repeated starts of a process, against
//    the same for a bare Qt application showing an empty window, and one showing a line of text (the
//    part of the start-up that is the font system's: the empty window never starts it before its paint);
//  - creating and showing the main window inside a running application.
// The ratios are printed after the table.
#include "app/PasswordHash.h"
#include "app/mUnit.h"
#include "bench/support/RatioReporter.h"

#include <QApplication>
#include <QEvent>

#include <benchmark/benchmark.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <optional>
#include <spawn.h>
#include <stdexcept>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

std::vector<std::string> SamplePasswords() {
    std::vector<std::string> passwords;
    for (int i = 0; i < 64; ++i) {
        std::string password = "pw" + std::to_string(i * 7919);
        password.resize(static_cast<size_t>(i % 20), static_cast<char>('a' + i % 26));
        passwords.push_back(password);
    }
    return passwords;
}

void BM_HashPassword(benchmark::State& state) {
    const std::vector<std::string> passwords = SamplePasswords();
    size_t next = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(HashPassword(passwords[next]));
        next = (next + 1) % passwords.size();
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_HashPassword);

// The least any transform of 16 password bytes has to do: pad-copy them and XOR them with a key.
void BM_CopyXor16Baseline(benchmark::State& state) {
    const std::vector<std::string> passwords = SamplePasswords();
    constexpr std::array<unsigned char, 16> key{0x35, 0x97, 0x26, 0x00, 0x41, 0xC5, 0x26, 0x00,
                                                0x75, 0xE5, 0x26, 0x00, 0xCD, 0x9A, 0x26, 0x00};
    size_t next = 0;
    for (auto _ : state) {
        const std::string& password = passwords[next];
        std::array<unsigned char, 16> block{};
        for (size_t i = 0; i < block.size() && i < password.size(); ++i)
            block[i] = static_cast<unsigned char>(password[i]);
        for (size_t i = 0; i < block.size(); ++i) block[i] ^= key[i];
        benchmark::DoNotOptimize(block);
        next = (next + 1) % passwords.size();
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_CopyXor16Baseline);

// Launches the start-up probe and returns the time from launch to the window's first paint.
std::chrono::nanoseconds TimeOneStart(const char* mode) {
    int output[2];
    if (pipe(output) != 0) throw std::runtime_error("pipe failed");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, output[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, output[0]);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    char probe[] = APP_START_PROBE;
    std::string modeArgument = mode;
    char* arguments[] = {probe, modeArgument.data(), nullptr};

    const auto launched = std::chrono::steady_clock::now();
    pid_t child = 0;
    const int spawned = posix_spawn(&child, probe, &actions, nullptr, arguments, environ);
    posix_spawn_file_actions_destroy(&actions);
    close(output[1]);
    if (spawned != 0) {
        close(output[0]);
        throw std::runtime_error("cannot start the probe");
    }
    std::string printed;
    char buffer[64];
    for (ssize_t got; (got = read(output[0], buffer, sizeof buffer)) > 0;)
        printed.append(buffer, static_cast<size_t>(got));
    close(output[0]);
    int status = 0;
    waitpid(child, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0 || printed.empty())
        throw std::runtime_error("the probe did not report a first paint");
    const std::chrono::steady_clock::time_point painted{std::chrono::nanoseconds(std::stoll(printed))};
    return painted - launched;
}

void BM_StartToFirstPaint(benchmark::State& state, const char* mode) {
    for (auto _ : state) {
        try {
            state.SetIterationTime(std::chrono::duration<double>(TimeOneStart(mode)).count());
        } catch (const std::exception& error) {
            state.SkipWithError(error.what());
            break;
        }
    }
}
BENCHMARK_CAPTURE(BM_StartToFirstPaint, program, "program")
    ->UseManualTime()
    ->Iterations(20)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_StartToFirstPaint, bare_qt_window, "bare")
    ->UseManualTime()
    ->Iterations(20)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_StartToFirstPaint, bare_qt_window_with_text, "bare-text")
    ->UseManualTime()
    ->Iterations(20)
    ->Unit(benchmark::kMillisecond);

// Waits for a window's first paint inside this process.
class TPaintWatch final : public QObject {
public:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint) Painted = true;
        return QObject::eventFilter(watched, event);
    }
    bool Painted = false;
};

// Creating and showing the window shows no message box.
class TNoDialogs final : public IDialogs {
public:
    void ShowMessage(const std::string&) override {}
    TDialogAnswer AskYesNo(const std::string&, const std::string&) override { return TDialogAnswer::No; }
    void ShowError(const std::string&) override {}
};

void BM_CreateAndShowMainWindowInProcess(benchmark::State& state) {
    TNoDialogs dialogs;
    for (auto _ : state) {
        TMainForm form(dialogs);
        TPaintWatch watch;
        form.installEventFilter(&watch);
        form.ShowCentred();
        while (!watch.Painted) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
}
BENCHMARK(BM_CreateAndShowMainWindowInProcess)->Unit(benchmark::kMillisecond);

// Prints one ratio of time per iteration, or nothing when either benchmark has no time.
void PrintRatio(const bench::RatioReporter& reporter, const char* what, const std::string& measured,
                const std::string& baseline) {
    const std::optional<double> m = reporter.Seconds(measured);
    const std::optional<double> b = reporter.Seconds(baseline);
    if (!m || !b || *b <= 0) return;
    std::printf("%-58s %8.2f  (%s / %s)\n", what, *m / *b, measured.c_str(), baseline.c_str());
}

}  // namespace

int main(int argc, char** argv) {
    // In-process windows use the offscreen platform unless the caller chose one.
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    bench::RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    std::printf("\nRatios (time per item, measured / baseline):\n");
    PrintRatio(reporter, "HashPassword vs 16-byte copy-and-XOR", "BM_HashPassword", "BM_CopyXor16Baseline");
    PrintRatio(reporter, "program start to first paint vs bare Qt window",
               "BM_StartToFirstPaint/program/iterations:20/manual_time",
               "BM_StartToFirstPaint/bare_qt_window/iterations:20/manual_time");
    PrintRatio(reporter, "program start to first paint vs bare Qt window with text",
               "BM_StartToFirstPaint/program/iterations:20/manual_time",
               "BM_StartToFirstPaint/bare_qt_window_with_text/iterations:20/manual_time");
    PrintRatio(reporter, "bare Qt window with text vs bare Qt window",
               "BM_StartToFirstPaint/bare_qt_window_with_text/iterations:20/manual_time",
               "BM_StartToFirstPaint/bare_qt_window/iterations:20/manual_time");
    benchmark::Shutdown();
    return 0;
}
