#include "data/MSAccess.h"

#include "data/MSConnectionPool.h"
#include "data/MSQuery.h"

#include "common/AsciiText.h"
#include "common/Format.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <optional>

namespace {

std::string Trim(const std::string& s) {
    size_t begin = 0;
    size_t end = s.size();
    while (begin < end && static_cast<unsigned char>(s[begin]) <= ' ') ++begin;
    while (end > begin && static_cast<unsigned char>(s[end - 1]) <= ' ') --end;
    return s.substr(begin, end - begin);
}

bool PlainValueChar(char c) {
    return (c >= '!' && c <= '9') || (c >= 'A' && c <= 'Z') || c == '\\' || c == '_' || (c >= 'a' && c <= 'z');
}

// A value goes out in double quotes when it could not be read back unquoted.
std::string ConnectValue(const std::string& value) {
    if (!value.empty() && std::all_of(value.begin(), value.end(), PlainValueChar) && value.front() != '"') return value;
    return "\"" + value + "\"";
}

std::optional<bool> ParseBool(const std::string& text) {
    const std::string t = AsciiUpper(Trim(text));
    if (t == "TRUE" || t == "YES") return true;
    if (t == "FALSE" || t == "NO") return false;
    int value = 0;
    auto [ptr, ec] = std::from_chars(t.data(), t.data() + t.size(), value);
    if (ec == std::errc() && ptr == t.data() + t.size() && !t.empty()) return value != 0;
    return std::nullopt;
}

std::optional<int> ParseInt(const std::string& text) {
    int value = 0;
    auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || ptr != text.data() + text.size() || text.empty()) return std::nullopt;
    return value;
}

struct ConnectPair {
    std::string name;
    std::string value;
};

// Splits "name=value;name=\"value; with anything\"" into pairs, with the errors of the connect string.
std::vector<ConnectPair> ParseConnectString(const std::string& text) {
    std::vector<ConnectPair> pairs;
    size_t pos = 0;
    const size_t n = text.size();
    while (pos < n) {
        size_t eq = std::string::npos;
        size_t i = pos;
        while (i < n && text[i] != ';' && text[i] != '=') ++i;
        if (i >= n || text[i] == ';') {
            const std::string segment = Trim(text.substr(pos, i - pos));
            if (!segment.empty()) throw Exception(SParameterValueMissing);
            pos = i + 1;
            continue;
        }
        eq = i;
        ConnectPair pair;
        pair.name = Trim(text.substr(pos, eq - pos));
        if (pair.name.empty()) throw Exception(SParameterNameMissing);
        size_t v = eq + 1;
        while (v < n && static_cast<unsigned char>(text[v]) <= ' ' && text[v] != ';') ++v;
        if (v < n && text[v] == '"') {
            // The value ends at the quote that is followed only by blanks up to ";" or the end.
            size_t close = std::string::npos;
            for (size_t q = v + 1; q < n; ++q) {
                if (text[q] != '"') continue;
                size_t after = q + 1;
                while (after < n && static_cast<unsigned char>(text[after]) <= ' ') ++after;
                if (after >= n || text[after] == ';') {
                    close = q;
                    break;
                }
            }
            if (close == std::string::npos) throw Exception(SInvalidUnquotedValue);
            pair.value = text.substr(v + 1, close - v - 1);
            size_t after = close + 1;
            while (after < n && text[after] != ';') ++after;
            pos = after + 1;
        } else {
            size_t end = text.find(';', v);
            if (end == std::string::npos) end = n;
            pair.value = Trim(text.substr(v, end - v));
            if (pair.value.empty()) throw Exception(SParameterValueMissing);
            if (!std::all_of(pair.value.begin(), pair.value.end(), PlainValueChar)) {
                throw Exception(SInvalidUnquotedValue);
            }
            pos = end + 1;
        }
        pairs.push_back(std::move(pair));
    }
    return pairs;
}

[[noreturn]] void BadValue(const ConnectPair& pair) {
    throw Exception(Format(SBadParameterValue, pair.name.c_str(), pair.value.c_str()));
}

int IntValue(const ConnectPair& pair) {
    auto n = ParseInt(pair.value);
    if (!n) BadValue(pair);
    return *n;
}

bool BoolValue(const ConnectPair& pair) {
    auto b = ParseBool(pair.value);
    if (!b) BadValue(pair);
    return *b;
}

// One connect-string keyword: its names (compared without regard to ASCII case) and what its value
// sets. integrated collects Integrated Security, applied once every pair is read.
struct ConnectKeyword {
    std::array<std::string_view, 6> names;
    void (*apply)(TMSConnection& connection, const ConnectPair& pair, bool& integrated);
};

constexpr ConnectKeyword ConnectKeywords[] = {
    {{"Provider"},
     [](TMSConnection& c, const ConnectPair& p, bool&) {
         const std::string upper = AsciiUpper(p.value);
         if (upper != "SQLOLEDB.1" && upper != "SQLNCLI.1") BadValue(p);
         c.Options().SetProvider(p.value);
     }},
    {{"User ID", "UID", "Username"}, [](TMSConnection& c, const ConnectPair& p, bool&) { c.SetUsername(p.value); }},
    {{"Password", "PWD"}, [](TMSConnection& c, const ConnectPair& p, bool&) { c.SetPassword(p.value); }},
    {{"Data Source", "Server"}, [](TMSConnection& c, const ConnectPair& p, bool&) { c.SetServer(p.value); }},
    {{"Initial Catalog", "Database"}, [](TMSConnection& c, const ConnectPair& p, bool&) { c.SetDatabase(p.value); }},
    {{"Connect Timeout", "ConnectTimeout", "Timeout"},
     [](TMSConnection& c, const ConnectPair& p, bool&) {
         const int seconds = IntValue(p);
         if (seconds < 0) BadValue(p);
         c.SetConnectionTimeout(seconds);
     }},
    {{"Use Encryption for Data", "Encryption", "Encrypt"},
     [](TMSConnection& c, const ConnectPair& p, bool&) { c.Options().SetEncrypt(BoolValue(p)); }},
    {{"AutoTranslate", "Auto Translate"},
     [](TMSConnection& c, const ConnectPair& p, bool&) { c.Options().SetAutoTranslate(BoolValue(p)); }},
    {{"Packet Size", "PacketSize"},
     [](TMSConnection& c, const ConnectPair& p, bool&) { c.Options().SetPacketSize(IntValue(p)); }},
    {{"Current Language", "Language"},
     [](TMSConnection& c, const ConnectPair& p, bool&) { c.Options().SetLanguage(p.value); }},
    {{"Network Library", "Network", "NetworkLibrary", "NetLibrary"},
     [](TMSConnection& c, const ConnectPair& p, bool&) { c.Options().SetNetworkLibrary(p.value); }},
    {{"ApplicationName", "Application Name", "AppName"},
     [](TMSConnection& c, const ConnectPair& p, bool&) { c.Options().SetApplicationName(p.value); }},
    {{"WorkstationID", "Workstation ID", "WSID"},
     [](TMSConnection& c, const ConnectPair& p, bool&) { c.Options().SetWorkstationID(p.value); }},
    {{"Integrated Security", "Trusted_Connection"},
     [](TMSConnection&, const ConnectPair& p, bool& integrated) {
         if (AsciiSameText(Trim(p.value), "SSPI")) {
             integrated = true;
         } else {
             integrated = BoolValue(p) || integrated;
         }
     }},
    // Accepted for compatibility; they change nothing here.
    {{"Persist Security Info", "Use Procedure for Prepare", "MARS Connection", "Asynchronous Connection",
      "Client Failover", "Tag with column collation when possible"},
     [](TMSConnection&, const ConnectPair&, bool&) {}},
};

const ConnectKeyword* FindConnectKeyword(const std::string& name) {
    for (const ConnectKeyword& keyword : ConnectKeywords) {
        for (std::string_view alias : keyword.names) {
            if (!alias.empty() && AsciiSameText(name, alias)) return &keyword;
        }
    }
    return nullptr;
}

}  // namespace

// ---------------------------------------------------------------------------------------------------

TMSConnectionOptions::TMSConnectionOptions(TMSConnection& owner) : TDAConnectionOptions(owner) {}

TMSConnection& TMSConnectionOptions::Connection() { return static_cast<TMSConnection&>(FOwner); }

void TMSConnectionOptions::Changing() {
    if (Connection().Connected()) throw EDatabaseError(SConnectionOpen);
}

void TMSConnectionOptions::Hand(int prop, const TPropValue& value) { Connection().HandToObject(prop, value); }

void TMSConnectionOptions::SetQuotedIdentifier(bool value) {
    if (value == FQuotedIdentifier) return;
    Hand(prQuotedIdentifier, value);  // an open connection is told first; a refusal keeps the old value
    FQuotedIdentifier = value;
}

void TMSConnectionOptions::SetLanguage(const std::string& value) {
    if (value == FLanguage) return;
    Changing();
    FLanguage = value;
    Hand(prLanguage, value);
}

void TMSConnectionOptions::SetEncrypt(bool value) {
    if (value == FEncrypt) return;
    Changing();
    FEncrypt = value;
    Hand(prEncrypt, value);
}

void TMSConnectionOptions::SetAutoTranslate(bool value) {
    if (value == FAutoTranslate) return;
    Changing();
    FAutoTranslate = value;
    Hand(prAutoTranslate, value);
}

void TMSConnectionOptions::SetNetworkLibrary(const std::string& value) {
    if (value == FNetworkLibrary) return;
    Changing();
    FNetworkLibrary = value;
    Hand(prNetworkLibrary, value);
}

void TMSConnectionOptions::SetApplicationName(const std::string& value) {
    if (value == FApplicationName) return;
    Changing();
    FApplicationName = value;
    Hand(prApplicationName, value);
}

void TMSConnectionOptions::SetWorkstationID(const std::string& value) {
    if (value == FWorkstationID) return;
    Changing();
    FWorkstationID = value;
    Hand(prWorkstationID, value);
}

void TMSConnectionOptions::SetPacketSize(int value) {
    if (value == FPacketSize) return;
    Changing();
    FPacketSize = value;
    Hand(prPacketSize, static_cast<int32_t>(value));
}

void TMSConnectionOptions::SetNumericType(TDANumericType value) {
    if (value == FNumericType) return;
    Changing();
    FNumericType = value;
}

void TMSConnectionOptions::SetProvider(const std::string& value) {
    if (value == FProvider) return;
    Changing();
    FProvider = value;
    Hand(prProvider, value);
}

// ---------------------------------------------------------------------------------------------------

TMSConnection::TMSConnection() : FOptions(*this) {}

TMSConnection::~TMSConnection() { DestroyConnection(); }

TOLEDBConnection* TMSConnection::OLEDBConnection() const { return dynamic_cast<TOLEDBConnection*>(FIConnection.get()); }

void TMSConnection::HandToObject(int prop, const TPropValue& value) {
    if (FIConnection) FIConnection->SetProp(prop, value);
}

void TMSConnection::SetDatabase(const std::string& value) {
    const std::string next = value.empty() ? std::string("master") : value;
    if (next == FDatabase) return;
    const std::string previous = FDatabase;
    FDatabase = next;
    try {
        HandToObject(prDatabase, next);
    } catch (...) {
        // The server stayed in the previous database; so does the setting.
        FDatabase = previous;
        throw;
    }
}

void TMSConnection::SetIsolationLevel(TIsolationLevel value) {
    if (value == FIsolationLevel) return;
    FIsolationLevel = value;
    HandToObject(prIsolationLevel, static_cast<int32_t>(value));
}

void TMSConnection::SetAuthentication(TMSAuthentication value) {
    if (value == FAuthentication) return;
    Disconnect();
    FAuthentication = value;
    HandToObject(prAuthentication, static_cast<int32_t>(value));
}

void TMSConnection::SetConnectionTimeout(int value) {
    if (value == FConnectionTimeout) return;
    FConnectionTimeout = value;
    HandToObject(prConnectionTimeout, static_cast<int32_t>(value));
}

std::unique_ptr<TCRConnection> TMSConnection::CreateIConnection() {
    auto object = std::make_unique<TOLEDBConnection>();
    AssignConnectOptions(*object);
    return object;
}

void TMSConnection::AssignConnectOptions(TCRConnection& object) {
    object.SetProp(prDatabase, FDatabase);
    object.SetProp(prIsolationLevel, static_cast<int32_t>(FIsolationLevel));
    object.SetProp(prAuthentication, static_cast<int32_t>(FAuthentication));
    object.SetProp(prConnectionTimeout, static_cast<int32_t>(FConnectionTimeout));
    object.SetProp(prQuotedIdentifier, FOptions.QuotedIdentifier());
    object.SetProp(prLanguage, FOptions.Language());
    object.SetProp(prEncrypt, FOptions.Encrypt());
    object.SetProp(prAutoTranslate, FOptions.AutoTranslate());
    object.SetProp(prNetworkLibrary, FOptions.NetworkLibrary());
    object.SetProp(prApplicationName, FOptions.ApplicationName());
    object.SetProp(prWorkstationID, FOptions.WorkstationID());
    object.SetProp(prPacketSize, static_cast<int32_t>(FOptions.PacketSize()));
    object.SetProp(prProvider, FOptions.Provider());
}

void TMSConnection::BindInfoMessage(TCRConnection& object) {
    object.OnInfoMessage = [this](EDAError& info) {
        if (!OnInfoMessage) return;
        if (auto* ms = dynamic_cast<EMSError*>(&info)) OnInfoMessage(this, *ms);
    };
}

std::unique_ptr<TCRConnection> TMSConnection::GetPooledIConnection() {
    TMSConnectionParameters p;
    p.MinPoolSize = FPoolingOptions.MinPoolSize;
    p.MaxPoolSize = FPoolingOptions.MaxPoolSize;
    p.ConnectionLifetime = FPoolingOptions.ConnectionLifetime;
    p.IsolationLevel = FIsolationLevel;
    p.Authentication = FAuthentication;
    p.QuotedIdentifier = FOptions.QuotedIdentifier();
    p.Encrypt = FOptions.Encrypt();
    p.AutoTranslate = FOptions.AutoTranslate();
    p.PacketSize = FOptions.PacketSize();
    p.Username = FUsername;
    p.Server = FServer;
    p.Database = FDatabase;
    p.Language = FOptions.Language();
    p.NetworkLibrary = FOptions.NetworkLibrary();
    p.ApplicationName = FOptions.ApplicationName();
    p.WorkstationID = FOptions.WorkstationID();
    p.Password = FPassword;
    p.Provider = FOptions.Provider();
    p.ConnectionTimeout = FConnectionTimeout;
    return TMSConnectionPoolManager::Instance().GetConnection(p);
}

void TMSConnection::ReturnPooledIConnection(std::unique_ptr<TCRConnection> object) {
    TMSConnectionPoolManager::Instance().PutConnection(std::move(object));
}

bool TMSConnection::DataSetBlocksReconnect(const TDataSetClient& dataSet) const {
    return dataSet.HoldsProviderRowset();
}

// ---------------------------------------------------------------------------------------------------

std::string TMSConnection::ConnectString() const {
    std::vector<std::pair<std::string, std::string>> pairs;
    auto add = [&pairs](const char* key, const std::string& value) { pairs.emplace_back(key, ConnectValue(value)); };
    if (!FOptions.Provider().empty()) add("Provider", FOptions.Provider());
    if (!FUsername.empty()) add("User ID", FUsername);
    if (!FPassword.empty()) add("Password", FPassword);
    if (!FServer.empty()) add("Data Source", FServer);
    if (FDatabase != "master") add("Initial Catalog", FDatabase);
    if (FConnectionTimeout != 15) add("Connect Timeout", std::to_string(FConnectionTimeout));
    if (FOptions.Encrypt()) add("Use Encryption for Data", "True");
    if (!FOptions.AutoTranslate()) add("Auto Translate", "False");
    if (FOptions.PacketSize() != 4096) add("Packet Size", std::to_string(FOptions.PacketSize()));
    if (!FOptions.ApplicationName().empty()) add("Application Name", FOptions.ApplicationName());
    if (!FOptions.WorkstationID().empty()) add("Workstation ID", FOptions.WorkstationID());
    if (!FOptions.Language().empty()) add("Current Language", FOptions.Language());
    if (!FOptions.NetworkLibrary().empty()) add("Network Library", FOptions.NetworkLibrary());
    std::string out;
    for (const auto& [key, value] : pairs) {
        if (!out.empty()) out += ';';
        out += key + "=" + value;
    }
    if (FAuthentication == TMSAuthentication::auWindows) out += ";Integrated Security=SSPI";
    if (!FPassword.empty()) out += ";Persist Security Info=True";
    return out;
}

void TMSConnection::SetConnectString(const std::string& value) {
    const std::string previous = ConnectString();
    try {
        SetUsername("");
        SetPassword("");
        SetServer("");
        FOptions.SetLanguage("");
        FOptions.SetNetworkLibrary("");
        FOptions.SetProvider("");
        SetDatabase("master");
        FOptions.SetEncrypt(false);
        FOptions.SetAutoTranslate(true);
        FOptions.SetPacketSize(4096);
        SetAuthentication(TMSAuthentication::auServer);
        bool integrated = false;
        for (const auto& pair : ParseConnectString(value)) {
            const ConnectKeyword* keyword = FindConnectKeyword(pair.name);
            if (keyword == nullptr) throw Exception(Format(SUnknownParameter, pair.name.c_str()));
            keyword->apply(*this, pair, integrated);
        }
        if (integrated) SetAuthentication(TMSAuthentication::auWindows);
    } catch (...) {
        CleanUpKeepingError([&] { SetConnectString(previous); });
        throw;
    }
}

// ---------------------------------------------------------------------------------------------------

TPropValue TMSConnection::ExecSQL(const std::string& text, const std::vector<TPropValue>& params) {
    if (!FSQLCommand) {
        FSQLCommand = std::make_unique<TMSSQL>();
        FSQLCommand->SetConnection(this);
    }
    FSQLCommand->SQL().SetText(text);
    TDAParams& list = FSQLCommand->Params();
    for (size_t i = 0; i < list.Count(); ++i) {
        TParamValue value;  // missing values are null
        if (i < params.size()) {
            if (const auto* b = std::get_if<bool>(&params[i]))
                value = *b;
            else if (const auto* n = std::get_if<int32_t>(&params[i]))
                value = int64_t{*n};
            else if (const auto* s = std::get_if<std::string>(&params[i]))
                value = *s;
        }
        list[i].SetValue(std::move(value));
        if (auto* param = dynamic_cast<TMSParam*>(&list[i]);
            param != nullptr && param->Name() == "Result" && param->DataType == TFieldType::ftUnknown) {
            param->DataType = TFieldType::ftInteger;
        }
    }
    FSQLCommand->Execute();
    const TDAParam* result = list.FindParam("Result");
    if (result == nullptr) return {};
    const TParamValue& value = result->Value();
    if (const auto* b = std::get_if<bool>(&value)) return *b;
    if (const auto* n = std::get_if<int64_t>(&value)) return static_cast<int32_t>(*n);
    if (const auto* d = std::get_if<double>(&value)) return static_cast<int32_t>(*d);
    if (const auto* s = std::get_if<std::string>(&value)) return *s;
    return {};
}

std::vector<std::string> TMSConnection::ReadNames(const std::string& sql, bool resetDatabaseOn4060) {
    Connect();
    try {
        auto names = OLEDBConnection()->ReadStrings(sql);
        std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
            return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
                return std::tolower(static_cast<unsigned char>(x)) < std::tolower(static_cast<unsigned char>(y));
            });
        });
        return names;
    } catch (EMSError& e) {
        if (resetDatabaseOn4060 && e.ErrorCode == 4060) {
            FDatabase = "master";
            if (FIConnection) CleanUpKeepingError([this] { FIConnection->SetProp(prDatabase, FDatabase); });
        }
        throw;
    }
}

std::vector<std::string> TMSConnection::GetDatabaseNames() {
    return ReadNames("SELECT name FROM master.dbo.sysdatabases", true);
}

std::vector<std::string> TMSConnection::GetTableNames() {
    return ReadNames("SELECT name FROM sysobjects WHERE type IN ('U', 'V')", false);
}

std::vector<std::string> TMSConnection::GetStoredProcNames() {
    return ReadNames("SELECT name FROM sysobjects WHERE type = 'P'", true);
}
