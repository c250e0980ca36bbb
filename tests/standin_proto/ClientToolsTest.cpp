// The vac-standin binary driven by clients nobody here wrote: FreeTDS's tsql and unixODBC's isql
// with the FreeTDS driver. Also its command line, its data file across restarts and its log.
#include "tests/support/TempFolder.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

// A running vac-standin; its first stdout line names the port.
class StandinProcess {
public:
    // errorFile, when given, receives the process's standard error.
    explicit StandinProcess(const std::vector<std::string>& args, const std::string& errorFile = {}) {
        int out[2];
        if (::pipe(out) != 0) throw std::runtime_error("pipe");
        pid_ = ::fork();
        if (pid_ == 0) {
            ::dup2(out[1], STDOUT_FILENO);
            if (!errorFile.empty()) {
                if (FILE* err = std::fopen(errorFile.c_str(), "w")) ::dup2(::fileno(err), STDERR_FILENO);
            }
            ::close(out[0]);
            ::close(out[1]);
            std::vector<char*> argv;
            argv.push_back(const_cast<char*>(VAC_STANDIN_BINARY));
            for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
            argv.push_back(nullptr);
            ::execv(VAC_STANDIN_BINARY, argv.data());
            ::_exit(127);
        }
        ::close(out[1]);
        stdout_ = ::fdopen(out[0], "r");
        char line[64] = {};
        if (std::fgets(line, sizeof line, stdout_) && std::string(line).rfind("port=", 0) == 0)
            port_ = std::stoi(line + 5);
    }
    ~StandinProcess() {
        if (pid_ > 0 && !stopped_) stop();
        if (stdout_) std::fclose(stdout_);
    }
    int port() const { return port_; }
    // SIGTERM, then the exit status.
    int stop() {
        ::kill(pid_, SIGTERM);
        int status = 0;
        ::waitpid(pid_, &status, 0);
        stopped_ = true;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

private:
    pid_t pid_ = -1;
    FILE* stdout_ = nullptr;
    int port_ = 0;
    bool stopped_ = false;
};

struct Result {
    int status = -1;
    std::string output;
};

Result shell(const std::string& command) {
    Result r;
    FILE* p = ::popen((command + " 2>&1").c_str(), "r");
    std::array<char, 4096> buffer;
    size_t n;
    while ((n = std::fread(buffer.data(), 1, buffer.size(), p)) > 0) r.output.append(buffer.data(), n);
    const int status = ::pclose(p);
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}

class ClientTools : public ::testing::Test {
protected:
    std::string write(const std::string& name, const std::string& text) {
        const auto path = folder.Path() / name;
        std::ofstream(path) << text;
        return path.string();
    }
    Result tsql(int port, const std::string& input, const std::string& password = "standin") {
        return shell("LC_ALL=C.UTF-8 timeout 30 tsql -H 127.0.0.1 -p " + std::to_string(port) + " -U sa -P " +
                     password + " < " + write("tsql.in", input));
    }
    std::string read(const std::string& name) const {
        std::ifstream in(folder.Path() / name);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    // flags: "-e" runs each line with SQLExecDirect; without it isql prepares and executes them.
    Result isql(int port, const std::string& input, const std::string& flags = "-e") {
        const std::string ini =
            write("odbc.ini", "[standin]\nDriver=FreeTDS\nServer=127.0.0.1\nPort=" + std::to_string(port) +
                                  "\nTDS_Version=7.4\nClientCharset=UTF-8\n");
        return shell("ODBCINI=" + ini + " timeout 30 isql standin sa standin -b " + flags + " -v < " +
                     write("isql.in", input));
    }

    vactest::TempFolder folder;
};

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

}  // namespace

TEST_F(ClientTools, TsqlLogsInReadsInsertsAndSeesErrors) {
    StandinProcess standin({"--port", "0", "--demo", "4"});
    ASSERT_GT(standin.port(), 0);
    const Result r = tsql(standin.port(),
                          "SELECT COUNT(*) AS accounts FROM lin2db.dbo.user_account\ngo\n"
                          "INSERT INTO lin2db.dbo.user_auth VALUES ('tsqluser', 0x0102, 'q1', 'q2', 0x03, 0x04)\ngo\n"
                          "SELECT account, password FROM lin2db.dbo.user_auth WHERE account = 'tsqluser'\ngo\n"
                          "INSERT INTO lin2db.dbo.user_auth VALUES ('tsqluser', 0x0102, 'q1', 'q2', 0x03, 0x04)\ngo\n"
                          "SELECT * FROM lin2db.dbo.nosuch\ngo\nquit\n");
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_TRUE(contains(r.output, "accounts\n4\n")) << r.output;
    EXPECT_TRUE(contains(r.output, "tsqluser\t01020000000000000000000000000000")) << r.output;
    EXPECT_TRUE(contains(r.output, "Msg 2627 (severity 14, state 1) from standin")) << r.output;
    EXPECT_TRUE(contains(r.output, "Violation of PRIMARY KEY constraint")) << r.output;
    EXPECT_TRUE(contains(r.output, "Msg 208 (severity 16, state 1) from standin")) << r.output;
    EXPECT_TRUE(contains(r.output, "Invalid object name 'lin2db.dbo.nosuch'.")) << r.output;

    const Result refused = tsql(standin.port(), "quit\n", "wrong");
    EXPECT_TRUE(contains(refused.output, "Msg 18456 (severity 14, state 1)")) << refused.output;
    EXPECT_TRUE(contains(refused.output, "Login failed for user 'sa'.")) << refused.output;
    EXPECT_EQ(standin.stop(), 0);
}

TEST_F(ClientTools, IsqlThroughTheOdbcDriverReadsInsertsAndSeesErrors) {
    StandinProcess standin({"--port", "0", "--demo", "2"});
    ASSERT_GT(standin.port(), 0);
    // Direct execution, and isql's default: SQLPrepare and SQLExecute, which the driver sends as
    // sp_prepexec remote procedure calls.
    for (const std::string flags : {"-e", ""}) {
        SCOPED_TRACE("isql " + flags);
        const std::string user = flags.empty() ? "isqlprep" : "isqluser";
        const std::string insert =
            "INSERT INTO lin2db.dbo.user_auth VALUES ('" + user + "', 0x0a0b, 'q1', 'q2', 0x03, 0x04)\n";
        const Result r = isql(standin.port(),
                              "SELECT account FROM lin2world.dbo.builder_account WHERE account_name IS NULL\n" +
                                  insert + "SELECT account, quiz1 FROM lin2db.dbo.user_auth WHERE account = '" + user +
                                  "'\n" + insert + "INSERT INTO lin2db.dbo.user_account (account) VALUES (NULL)\n",
                              flags);
        EXPECT_TRUE(contains(r.output, "Invalid column name 'account'.")) << r.output;
        EXPECT_TRUE(contains(r.output, "| " + user)) << r.output;
        EXPECT_TRUE(contains(r.output, "SQLRowCount returns 1")) << r.output;
        EXPECT_TRUE(contains(r.output, "Violation of PRIMARY KEY constraint")) << r.output;
        EXPECT_TRUE(contains(r.output, "Cannot insert the value NULL into column 'account'")) << r.output;
        EXPECT_FALSE(contains(r.output, "Could not find stored procedure")) << r.output;
    }
}

TEST_F(ClientTools, DataSurvivesARestartAndTheLogShowsEveryBatch) {
    const std::string data = folder.File("tables.dat");
    const std::string log = folder.File("batches.jsonl");
    {
        StandinProcess standin({"--port", "0", "--data", data, "--log", log});
        ASSERT_GT(standin.port(), 0);
        const Result r = tsql(standin.port(),
                              "INSERT INTO lin2world.dbo.builder_account VALUES ('keeper', 3, 77)\ngo\n"
                              "SELECT 'say \"hi\"'\ngo\nquit\n");
        EXPECT_TRUE(contains(r.output, "(1 row affected)")) << r.output;
        EXPECT_EQ(standin.stop(), 0);
    }
    {
        StandinProcess standin({"--port", "0", "--data", data});
        const Result r = tsql(standin.port(),
                              "SELECT default_builder, account_id FROM lin2world.dbo.builder_account WHERE "
                              "account_name = 'keeper'\ngo\nquit\n");
        EXPECT_TRUE(contains(r.output, "3\t77")) << r.output;
    }
    std::ifstream in(log);
    std::string line;
    std::vector<std::string> lines;
    while (std::getline(in, line)) lines.push_back(line);
    ASSERT_EQ(lines.size(), 3u);
    // tsql offers "off" (encryption = request): the server encrypts its login only.
    EXPECT_EQ(lines[0], "{\"conn\": 1, \"encryption\": \"login\"}");
    EXPECT_EQ(lines[1],
              "{\"conn\": 1, \"sql\": \"INSERT INTO lin2world.dbo.builder_account VALUES ('keeper', 3, 77)\\n\"}");
    EXPECT_EQ(lines[2], "{\"conn\": 1, \"sql\": \"SELECT 'say \\\"hi\\\"'\\n\"}");
}

TEST_F(ClientTools, TsqlInEveryEncryptionModeOfClientAndServer) {
    struct Case {
        const char* server;  // --encryption
        const char* client;  // freetds.conf "encryption"
        const char* logged;  // the log's encryption for the connection; nullptr: refused
        const char* error;   // what tsql prints when refused
    };
    const Case cases[] = {
        {"on", "request", "login", nullptr},
        {"on", "require", "full", nullptr},
        {"on", "off", "none", nullptr},
        {"required", "request", "full", nullptr},
        {"required", "require", "full", nullptr},
        // Force Encryption drops a client that cannot encrypt without answering its PRELOGIN.
        {"required", "off", nullptr, "Error 20017 (severity 9):\n\tUnexpected EOF from the server"},
        {"off", "request", "none", nullptr},
        {"off", "off", "none", nullptr},
        // The client itself gives up when told "encryption not supported".
        {"off", "require", nullptr, "Error 20002 (severity 9):\n\tAdaptive Server connection failed"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.server) + " / " + c.client);
        const std::string log = folder.File(std::string(c.server) + "-" + c.client + ".jsonl");
        StandinProcess standin({"--port", "0", "--encryption", c.server, "--log", log});
        ASSERT_GT(standin.port(), 0);
        const std::string conf =
            write("freetds.conf", "[standin]\nhost = 127.0.0.1\nport = " + std::to_string(standin.port()) +
                                      "\ntds version = 7.4\nencryption = " + c.client + "\n");
        const Result r = shell("FREETDSCONF=" + conf + " timeout 30 tsql -S standin -U sa -P standin < " +
                               write("tsql.in", "SELECT 'through ' + 'TLS'\ngo\nquit\n"));
        EXPECT_EQ(standin.stop(), 0);
        std::ifstream in(log);
        const std::string logged((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        if (c.logged) {
            EXPECT_EQ(r.status, 0) << r.output;
            EXPECT_TRUE(contains(r.output, "through TLS")) << r.output;
            EXPECT_TRUE(contains(logged, std::string("{\"conn\": 1, \"encryption\": \"") + c.logged + "\"}")) << logged;
        } else {
            EXPECT_NE(r.status, 0) << r.output;
            EXPECT_TRUE(contains(r.output, c.error)) << r.output;
            EXPECT_TRUE(contains(r.output, "There was a problem connecting to the server")) << r.output;
            EXPECT_FALSE(contains(logged, "through")) << logged;
        }
    }
}

TEST_F(ClientTools, CertificateAndKeyFromFiles) {
    const std::string key = folder.File("key.pem");
    const std::string certificate = folder.File("cert.pem");
    const std::string otherKey = folder.File("other-key.pem");
    const std::string templ =
        write("cert.cfg", "cn = standin.test\nexpiration_days = 30\ntls_www_server\nsigning_key\n");
    ASSERT_EQ(shell("certtool --generate-privkey --key-type rsa --sec-param medium --outfile " + key).status, 0);
    ASSERT_EQ(shell("certtool --generate-privkey --key-type ecdsa --outfile " + otherKey).status, 0);
    ASSERT_EQ(shell("certtool --generate-self-signed --load-privkey " + key + " --template " + templ + " --outfile " +
                    certificate)
                  .status,
              0);

    StandinProcess standin({"--port", "0", "--certificate", certificate, "--key", key});
    ASSERT_GT(standin.port(), 0);
    const std::string conf =
        write("freetds.conf", "[standin]\nhost = 127.0.0.1\nport = " + std::to_string(standin.port()) +
                                  "\ntds version = 7.4\nencryption = require\n");
    const Result r = shell("FREETDSCONF=" + conf + " timeout 30 tsql -S standin -U sa -P standin < " +
                           write("tsql.in", "SELECT 'signed'\ngo\nquit\n"));
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_TRUE(contains(r.output, "signed")) << r.output;
    EXPECT_EQ(standin.stop(), 0);

    const std::string binary = std::string("timeout 10 ") + VAC_STANDIN_BINARY;
    const Result mismatched = shell(binary + " --port 0 --certificate " + certificate + " --key " + otherKey);
    EXPECT_EQ(mismatched.status, 1) << mismatched.output;
    EXPECT_TRUE(
        contains(mismatched.output, "cannot use the certificate '" + certificate + "' with the key '" + otherKey + "'"))
        << mismatched.output;
    const Result missing =
        shell(binary + " --port 0 --certificate " + certificate + " --key " + folder.File("none.pem"));
    EXPECT_EQ(missing.status, 1) << missing.output;
    const Result alone = shell(binary + " --port 0 --certificate " + certificate);
    EXPECT_EQ(alone.status, 2) << alone.output;
    EXPECT_TRUE(contains(alone.output, "--certificate and --key go together")) << alone.output;
}

TEST_F(ClientTools, ControlStatementFromTsqlInjectsFaults) {
    StandinProcess standin({"--port", "0"});
    const Result set = tsql(standin.port(),
                            "STANDIN REFUSE LOGINS 1\ngo\nSTANDIN FAIL NEXT BATCH 1205 13 51 'Deadlock victim.'\ngo\n"
                            "SELECT 1\ngo\nquit\n");
    EXPECT_TRUE(contains(set.output, "the next 1 login(s) are refused")) << set.output;
    EXPECT_TRUE(contains(set.output, "Msg 1205 (severity 13, state 51)")) << set.output;
    EXPECT_TRUE(contains(set.output, "Deadlock victim.")) << set.output;
    const Result refused = tsql(standin.port(), "quit\n");
    EXPECT_TRUE(contains(refused.output, "Login failed for user 'sa'.")) << refused.output;
    const Result again = tsql(standin.port(), "SELECT 'back'\ngo\nquit\n");
    EXPECT_TRUE(contains(again.output, "back")) << again.output;
}

TEST_F(ClientTools, FaultOptionsOnTheCommandLine) {
    StandinProcess standin(
        {"--port", "0", "--fail-next-batch", "50000:20:1:Fatal from the start", "--refuse-logins", "1"});
    EXPECT_TRUE(contains(tsql(standin.port(), "quit\n").output, "Login failed for user 'sa'."));
    const Result r = tsql(standin.port(), "SELECT 1\ngo\nquit\n");
    EXPECT_TRUE(contains(r.output, "Msg 50000 (severity 20, state 1)")) << r.output;
    EXPECT_TRUE(contains(r.output, "Fatal from the start")) << r.output;
}

TEST_F(ClientTools, CommandLineHelpAndMistakes) {
    const Result help = shell(std::string(VAC_STANDIN_BINARY) + " --help");
    EXPECT_EQ(help.status, 0);
    for (const char* option : {"--port", "--listen", "--data", "--log", "--login", "--demo", "--encryption",
                               "--certificate", "--key", "--drop-next-batch", "--delay", "--fail-next-batch",
                               "--refuse-logins", "STANDIN DROP NEXT BATCH", "STANDIN CLEAR"})
        EXPECT_TRUE(contains(help.output, option)) << option;

    EXPECT_EQ(shell(std::string(VAC_STANDIN_BINARY) + " --bogus").status, 2);
    EXPECT_EQ(shell(std::string(VAC_STANDIN_BINARY) + " --port 70000").status, 2);
    EXPECT_EQ(shell(std::string(VAC_STANDIN_BINARY) + " --login nocolon").status, 2);
    EXPECT_TRUE(contains(shell(std::string(VAC_STANDIN_BINARY) + " --encryption strict").output,
                         "--encryption expects on, required or off, not 'strict'"));

    const std::string damaged = write("damaged.dat", "this is not a stand-in data file\n");
    const Result refused = shell("timeout 10 " + std::string(VAC_STANDIN_BINARY) + " --port 0 --data " + damaged);
    EXPECT_EQ(refused.status, 1) << refused.output;
    EXPECT_TRUE(contains(refused.output, damaged)) << refused.output;
    std::ifstream kept(damaged);
    std::string first;
    std::getline(kept, first);
    EXPECT_EQ(first, "this is not a stand-in data file");
}

TEST_F(ClientTools, OtherLoginsReplaceTheDefaultOne) {
    StandinProcess standin({"--port", "0", "--login", "operator:pa:ss"});
    const Result sa = tsql(standin.port(), "quit\n");
    EXPECT_TRUE(contains(sa.output, "Login failed for user 'sa'.")) << sa.output;
    const Result op =
        shell("timeout 30 tsql -H 127.0.0.1 -p " + std::to_string(standin.port()) + " -U operator -P pa:ss < " +
              write("in", "SELECT SUSER_SNAME()\ngo\nSTANDIN CLEAR\ngo\nquit\n"));
    EXPECT_TRUE(contains(op.output, "operator")) << op.output;
    EXPECT_TRUE(contains(op.output, "User does not have permission to perform this action.")) << op.output;
}

// A Korean server built by a generated schema script: tsql and isql see its tables, collations and
// Hangul text, and the stand-in names each batch it skipped on its standard error.
TEST_F(ClientTools, SchemaScriptAndCollationAsTheClientsSeeThem) {
    const std::string errors = folder.File("stderr.txt");
    StandinProcess standin({"--port", "0", "--collation", "Korean_Wansung_CI_AS", "--schema", VAC_SCHEMA_SAMPLE},
                           errors);
    ASSERT_GT(standin.port(), 0);
    const std::string report = read("stderr.txt");
    for (const char* skipped : {"CREATE PROCEDURE", "GRANT", "FOREIGN KEY", "CREATE VIEW", "CREATE TRIGGER"})
        EXPECT_TRUE(contains(report, std::string("Msg 40517, Level 16, State 1, Line ")) &&
                    contains(report, std::string("option '") + skipped + "'"))
            << skipped << "\n"
            << report;
    EXPECT_EQ(std::count(report.begin(), report.end(), '\n'), 5) << report;

    const std::string hangul = "\xEA\xB0\x80\xEB\x82\x98\xEB\x8B\xA4";  // 가나다
    const Result r = tsql(standin.port(),
                          "INSERT INTO lin2db.dbo.user_auth VALUES (N'" + hangul +
                              "', 0x01, '', '', 0x0, 0x0)\ngo\n"
                              "SELECT account, DATALENGTH(account) AS bytes FROM lin2db.dbo.user_auth\ngo\n"
                              "SELECT name, collation_name FROM sys.databases WHERE name = 'lin2log'\ngo\n"
                              "SELECT name FROM lin2world.dbo.sysobjects WHERE xtype = 'U' ORDER BY name\ngo\nquit\n");
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_TRUE(contains(r.output, hangul + "\t6\n")) << r.output;
    EXPECT_TRUE(contains(r.output, "lin2log\tKorean_Wansung_CI_AS\n")) << r.output;
    EXPECT_TRUE(contains(r.output, "name\nbuilder_account\nuser_data\n")) << r.output;

    const Result i = isql(standin.port(),
                          "SELECT account FROM lin2db.dbo.user_auth\n"
                          "SELECT DATABASEPROPERTYEX('lin2db', 'Collation')\n");
    EXPECT_TRUE(contains(i.output, "| " + hangul)) << i.output;
    EXPECT_TRUE(contains(i.output, "| Korean_Wansung_CI_AS")) << i.output;
    EXPECT_EQ(standin.stop(), 0);
}

// The demo's data file of the previous layout loads; the stand-in says what it converted.
TEST_F(ClientTools, PreviousDataFileIsConvertedAndSaysSo) {
    const std::string data = folder.File("tables.dat");
    fs::copy_file(VAC_PREVIOUS_LAYOUT_FILE, data);
    StandinProcess standin({"--port", "0", "--data", data}, folder.File("stderr.txt"));
    ASSERT_GT(standin.port(), 0);
    const std::string report = read("stderr.txt");
    EXPECT_TRUE(contains(report, "vac-standin: The data file '" + data +
                                     "' held lin2db.dbo.user_account in the previous layout; it was converted"))
        << report;
    const Result r = tsql(standin.port(), "SELECT COUNT(*) AS accounts FROM lin2db.dbo.user_account\ngo\nquit\n");
    EXPECT_TRUE(contains(r.output, "accounts\n4\n")) << r.output;
    EXPECT_EQ(standin.stop(), 0);
}
