// vac-standin: the SQL Server stand-in as a process, for out-of-process tests and the demo.
#include "tools/standin/sql/Collation.h"
#include "tools/standin/tds/ControlStatement.h"
#include "tools/standin/tds/StandinServer.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <string_view>

#include <pthread.h>

namespace {

const char* const kUsage =
    "Usage: vac-standin [options]\n"
    "A small SQL Server stand-in (TDS 7.4) for tests and the demo. Point the real program at a\n"
    "real SQL Server; this serves lin2db, lin2world and master to FreeTDS clients over TCP.\n"
    "\n"
    "Options:\n"
    "  --port N              TCP port; 0 picks a free one (default 0). Once listening, the first\n"
    "                        line on standard output is port=N.\n"
    "  --listen ADDRESS      address to listen on (default 127.0.0.1, loopback only)\n"
    "  --data FILE           load the tables from FILE and keep every committed change in it\n"
    "  --log FILE            append each batch received as a JSON line {\"conn\": N, \"sql\": \"...\"},\n"
    "                        and for each login {\"conn\": N, \"encryption\": \"none|login|full\"}\n"
    "  --login NAME:PASSWORD accept this SQL login (repeatable; default sa:standin). The login\n"
    "                        named sa is the administrator who may run control statements.\n"
    "  --demo N              seed N demo accounts when the account tables are empty\n"
    "  --collation NAME      the server's default collation, which databases and their text\n"
    "                        columns take (default SQL_Latin1_General_CP1_CI_AS)\n"
    "  --schema FILE         build a new store's tables by running this T-SQL script instead of\n"
    "                        the built-in account tables (repeatable; batches separated by GO;\n"
    "                        each failing batch is reported on standard error and skipped)\n"
    "  --server-name NAME    server name shown in messages (default standin)\n"
    "  --encryption MODE     what pre-login offers, as SQL Server does (default on):\n"
    "                          on        a server with a certificate: the login encrypted\n"
    "                                    whenever the client can, the session when it asks\n"
    "                          required  \"Force Encryption\": every session fully encrypted;\n"
    "                                    a client that cannot encrypt is disconnected\n"
    "                          off       no certificate: \"encryption not supported\"; a client\n"
    "                                    that requires encryption gives up\n"
    "  --certificate FILE    TLS certificate (PEM) instead of the self-signed one made at start\n"
    "  --key FILE            the certificate's private key (PEM)\n"
    "  --drop-next-batch     close the connection that sends the next batch, unanswered\n"
    "  --delay MS            delay every answer by MS milliseconds\n"
    "  --fail-next-batch NUMBER:CLASS:STATE[:TEXT]\n"
    "                        answer the next batch with this error record instead of running it\n"
    "                        (repeatable: several records; class 20 or more also closes the\n"
    "                        connection, as SQL Server does)\n"
    "  --refuse-logins N     refuse the next N logins with error 18456\n"
    "  --help                show this text\n"
    "\n"
    "Control statements (sent as a batch by the administrator login, e.g. with tsql or isql):\n"
    "%s"
    "\n"
    "Runs until SIGINT or SIGTERM, then exits 0 with its data saved.\n";

void printUsage(std::FILE* to) { std::fprintf(to, kUsage, standin::kControlStatementUsage); }

[[noreturn]] void usageError(const std::string& message) {
    std::fprintf(stderr, "vac-standin: %s\n(see vac-standin --help)\n", message.c_str());
    std::exit(2);
}

long parseNumber(const std::string& option, const std::string& text, long min, long max) {
    try {
        size_t used = 0;
        const long v = std::stol(text, &used);
        if (used == text.size() && v >= min && v <= max) return v;
    } catch (const std::exception&) {}
    usageError(option + " expects a number from " + std::to_string(min) + " to " + std::to_string(max) + ", not '" +
               text + "'");
}

standin::Message parseErrorRecord(const std::string& text) {
    // NUMBER:CLASS:STATE[:TEXT]
    const auto a = text.find(':');
    const auto b = a == std::string::npos ? a : text.find(':', a + 1);
    if (b == std::string::npos) usageError("--fail-next-batch expects NUMBER:CLASS:STATE[:TEXT], not '" + text + "'");
    const auto c = text.find(':', b + 1);
    standin::Message m;
    m.number = static_cast<int32_t>(parseNumber("--fail-next-batch", text.substr(0, a), 1, 2147483647));
    m.severity = static_cast<uint8_t>(parseNumber("--fail-next-batch", text.substr(a + 1, b - a - 1), 0, 25));
    m.state = static_cast<uint8_t>(
        parseNumber("--fail-next-batch", text.substr(b + 1, c == std::string::npos ? c : c - b - 1), 0, 255));
    m.text = c == std::string::npos ? "Error " + std::to_string(m.number) + " injected by the stand-in."
                                    : text.substr(c + 1);
    return m;
}

}  // namespace

int main(int argc, char** argv) {
    standin::ServerOptions options;
    bool dropNext = false;
    long delayMs = 0;
    long refuse = 0;
    std::vector<standin::Message> failNext;

    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&]() -> std::string {
            if (i + 1 >= argc) usageError(arg + " needs a value");
            return argv[++i];
        };
        if (arg == "--help" || arg == "-h") {
            printUsage(stdout);
            return 0;
        } else if (arg == "--port") {
            options.port = static_cast<uint16_t>(parseNumber(arg, value(), 0, 65535));
        } else if (arg == "--listen") {
            options.listenAddress = value();
        } else if (arg == "--data") {
            options.dataFile = value();
        } else if (arg == "--log") {
            options.logFile = value();
        } else if (arg == "--login") {
            const std::string v = value();
            const auto colon = v.find(':');
            if (colon == std::string::npos || colon == 0) usageError("--login expects NAME:PASSWORD, not '" + v + "'");
            options.logins.emplace_back(v.substr(0, colon), v.substr(colon + 1));
        } else if (arg == "--demo") {
            options.demoAccounts = static_cast<int>(parseNumber(arg, value(), 0, 1000000));
        } else if (arg == "--collation") {
            options.collation = value();
            if (!standin::findCollation(options.collation)) usageError("unknown collation '" + options.collation + "'");
        } else if (arg == "--schema") {
            const std::string file = value();
            std::ifstream in(file, std::ios::binary);
            std::ostringstream text;
            text << in.rdbuf();
            if (!in) usageError("cannot read the schema script '" + file + "'");
            options.schemaScripts.emplace_back(file, text.str());
        } else if (arg == "--server-name") {
            options.serverName = value();
        } else if (arg == "--encryption") {
            const std::string v = value();
            const auto mode = standin::tds::parseEncryptionMode(v);
            if (!mode) usageError("--encryption expects on, required or off, not '" + v + "'");
            options.encryption = *mode;
        } else if (arg == "--certificate") {
            options.certificateFile = value();
        } else if (arg == "--key") {
            options.keyFile = value();
        } else if (arg == "--drop-next-batch") {
            dropNext = true;
        } else if (arg == "--delay") {
            delayMs = parseNumber(arg, value(), 0, 3600 * 1000);
        } else if (arg == "--fail-next-batch") {
            failNext.push_back(parseErrorRecord(value()));
        } else if (arg == "--refuse-logins") {
            refuse = parseNumber(arg, value(), 0, 1000000);
        } else {
            usageError("unknown option '" + arg + "'");
        }
    }

    // Signals are taken by sigwait below, never by a connection thread in the middle of its work.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    if (options.certificateFile.has_value() != options.keyFile.has_value())
        usageError("--certificate and --key go together");
    try {
        standin::Server server(options);
        if (dropNext) server.dropNextBatch();
        if (delayMs > 0) server.setDelay(std::chrono::milliseconds(delayMs));
        if (!failNext.empty()) server.failNextBatch(failNext);
        if (refuse > 0) server.refuseLogins(static_cast<int>(refuse));
        server.start();
        for (const std::string& line : server.engine().startReport())
            std::fprintf(stderr, "vac-standin: %s\n", line.c_str());
        std::printf("port=%u\n", static_cast<unsigned>(server.port()));
        std::fflush(stdout);
        int received = 0;
        sigwait(&signals, &received);
        server.stop();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "vac-standin: %s\n", e.what());
        return 1;
    }
    return 0;
}
