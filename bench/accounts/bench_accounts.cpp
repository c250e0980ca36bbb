// The "Edit" page with 100,000 and 1,000,000 accounts in user_auth (stand-in on loopback):
//  - BM_ShowEditPage: from the operator's click on the "Edit" tab to the list filled and the window
//    handling events again (a queued call delivered and the window repainted); each iteration starts
//    disconnected, so the page connects and loads the list as it does on first use;
//  - BM_DataLayerFetch, the baseline of the same run: the data layer alone connecting, opening the same
//    SELECT and reading every name as text;
//  - BM_LookupPress over 1,000,000 items: a press that examines every item and finds nothing, and one
//    whose match is the last item (the search, then the account shown with its two queries).
// Printed after the table: how much the list adds over the fetch (goal: at most 50 %) and the lookup
// times (goal: under 50 ms).
#include "app/mUnit.h"
#include "bench/support/RatioReporter.h"
#include "data/MSAccess.h"
#include "data/MSQuery.h"
#include "framework/Dialogs.h"
#include "tools/standin/tds/StandinServer.h"

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTabBar>
#include <QTest>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace {

const char* const ListSelect = "SELECT account FROM lin2db.dbo.user_auth";

standin::Server& ServerWith(int accounts) {
    static std::map<int, std::unique_ptr<standin::Server>> servers;
    auto& server = servers[accounts];
    if (!server) {
        server = std::make_unique<standin::Server>();
        server->start();
        // Seeded on a thread of its own so that the tables live in another malloc arena than the
        // window's: a server on another machine does not fragment the program's heap either.
        std::thread([&server, accounts] { server->engine().seedDemo(accounts); }).join();
    }
    return *server;
}

std::string Address(int accounts) { return "127.0.0.1," + std::to_string(ServerWith(accounts).port()); }

// Answers every box with No and counts them: a box in a benchmark means something went wrong.
class SilentDialogs final : public IDialogs {
public:
    void ShowMessage(const std::string& text) override { Unexpected(text); }
    TDialogAnswer AskYesNo(const std::string& text, const std::string&) override {
        Unexpected(text);
        return TDialogAnswer::No;
    }
    void ShowError(const std::string& text) override { Unexpected(text); }

private:
    static void Unexpected(const std::string& text) { throw std::runtime_error("unexpected box: " + text); }
};

class Window {
public:
    explicit Window(int accounts) : Form(Dialogs) {
        Form.DBHostEdit->setText(QString::fromStdString(Address(accounts)));
        Form.DBLoginEdit->setText("sa");
        Form.DBPassEdit->setText("standin");
        Form.ShowCentred();
        if (!QTest::qWaitForWindowExposed(&Form)) throw std::runtime_error("the window was not shown");
    }

    void ClickTab(int index) {
        QTabBar* tabs = Form.PageControl1->tabBar();
        QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(index).center());
    }

    // Returns once the event loop has delivered a call queued now and the window has repainted.
    void WaitUntilResponsive() {
        bool delivered = false;
        QMetaObject::invokeMethod(
            &Form, [&delivered] { delivered = true; }, Qt::QueuedConnection);
        while (!delivered) QCoreApplication::processEvents(QEventLoop::AllEvents);
        Form.repaint();
    }

    SilentDialogs Dialogs;
    TMainForm Form;
};

void BM_DataLayerFetch(benchmark::State& state) {
    const int accounts = static_cast<int>(state.range(0));
    ServerWith(accounts);
    size_t rows = 0;
    for (auto _ : state) {
        TMSConnection connection;
        connection.SetServer(Address(accounts));
        connection.SetUsername("sa");
        connection.SetPassword("standin");
        connection.Connect();
        TMSQuery query;
        query.SetConnection(&connection);
        query.SQL().SetText(ListSelect);
        query.Open();
        std::vector<std::string> names;
        names.reserve(static_cast<size_t>(query.RecordCount()));
        while (!query.EndOfData()) {
            names.push_back(query.Fields()[0].AsString());
            query.Next();
        }
        rows = names.size();
        benchmark::DoNotOptimize(names.data());
    }
    state.counters["rows"] = static_cast<double>(rows);
}
BENCHMARK(BM_DataLayerFetch)
    ->Arg(100'000)
    ->Arg(1'000'000)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Repetitions(3);

void BM_ShowEditPage(benchmark::State& state) {
    const int accounts = static_cast<int>(state.range(0));
    Window window(accounts);
    for (auto _ : state) {
        state.PauseTiming();
        window.Form.MSConnection1.Disconnect();
        window.ClickTab(TMainForm::CreatePageIndex);
        window.WaitUntilResponsive();
        state.ResumeTiming();

        window.ClickTab(TMainForm::EditPageIndex);
        window.WaitUntilResponsive();
    }
    if (window.Form.AccountsComboBox->Count() != accounts) state.SkipWithError("the list does not hold every account");
    state.counters["items"] = window.Form.AccountsComboBox->Count();
}
BENCHMARK(BM_ShowEditPage)->Arg(100'000)->Arg(1'000'000)->Unit(benchmark::kMillisecond)->UseRealTime()->Repetitions(3);

// range(0): 0 for a text that no item holds, 1 for the text of the last item.
void BM_LookupPress(benchmark::State& state) {
    constexpr int Accounts = 1'000'000;
    Window window(Accounts);
    window.ClickTab(TMainForm::EditPageIndex);
    TComboBox& list = *window.Form.AccountsComboBox;
    const bool lastItem = state.range(0) == 1;
    const QString text = lastItem ? list.Item(list.Count() - 1) : QStringLiteral("no such name");
    for (auto _ : state) {
        state.PauseTiming();
        list.SetItemIndex(-1);
        list.lineEdit()->setText(text);
        state.ResumeTiming();

        QTest::mouseClick(window.Form.LookupButton, Qt::LeftButton);
    }
    const QString expected = lastItem ? "Match found" : "No matches found";
    if (window.Form.StatusBar1->PanelText(TMainForm::StatusLinePanel) != expected)
        state.SkipWithError("the lookup did not end as expected");
    else if (lastItem && list.ItemIndex() != list.Count() - 1)
        state.SkipWithError("an earlier item holds the last item's name; the press did not examine every item");
}
BENCHMARK(BM_LookupPress)
    ->ArgName("match_last")
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Repetitions(3);

}  // namespace

int main(int argc, char** argv) {
    if (std::getenv("QT_QPA_PLATFORM") == nullptr) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    ServerWith(100'000);  // seeded before anything is timed
    ServerWith(1'000'000);
    bench::RatioReporter reporter(benchmark::ConsoleReporter::OO_Tabular);
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    // Milliseconds per iteration, or -1 for a benchmark that did not run or failed.
    const auto milliseconds = [&reporter](const std::string& name) {
        const std::optional<double> seconds = reporter.Seconds(name);
        return seconds ? *seconds * 1e3 : -1.0;
    };
    std::printf("\n");
    for (const char* accounts : {"100000", "1000000"}) {
        const double fetch = milliseconds(std::string("BM_DataLayerFetch/") + accounts);
        const double page = milliseconds(std::string("BM_ShowEditPage/") + accounts);
        if (fetch > 0 && page > 0)
            std::printf(
                "%s accounts: page shown %.0f ms, data layer fetch %.0f ms, ratio %.2f: the list adds %.0f %% "
                "(goal <= 50 %%)\n",
                accounts, page, fetch, page / fetch, (page / fetch - 1) * 100);
    }
    const double noMatch = milliseconds("BM_LookupPress/match_last:0");
    const double lastMatch = milliseconds("BM_LookupPress/match_last:1");
    if (noMatch >= 0 && lastMatch >= 0)
        std::printf("lookup over 1000000 items: no match %.1f ms, match at the last item %.1f ms (goal < 50 ms)\n",
                    noMatch, lastMatch);
    return 0;
}
