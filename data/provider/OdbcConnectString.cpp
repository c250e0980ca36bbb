#include "data/provider/OdbcConnectString.h"

#include "common/AsciiText.h"
#include "common/CodePage.h"

#include <algorithm>
#include <cctype>

namespace provider {

namespace {

std::string_view Trim(std::string_view s) {
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.remove_suffix(1);
    return s;
}

std::optional<uint16_t> ParsePort(std::string_view text) {
    text = Trim(text);
    if (text.empty() || text.size() > 5) return std::nullopt;
    uint32_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + static_cast<uint32_t>(c - '0');
    }
    if (value == 0 || value > 65535) return std::nullopt;
    return static_cast<uint16_t>(value);
}

}  // namespace

std::optional<ServerAddress> ParseServerName(std::string_view server) {
    server = Trim(server);
    if (server.size() >= 4 && AsciiSameText(server.substr(0, 4), "tcp:")) {
        server = Trim(server.substr(4));
        if (server.empty()) return std::nullopt;
    }
    ServerAddress address;
    std::string_view hostPart = server;
    if (auto comma = server.find(','); comma != std::string_view::npos) {
        auto port = ParsePort(server.substr(comma + 1));
        if (!port) return std::nullopt;
        address.port = port;
        hostPart = server.substr(0, comma);
    }
    if (auto slash = hostPart.find('\\'); slash != std::string_view::npos) {
        address.instance = std::string(Trim(hostPart.substr(slash + 1)));
        hostPart = hostPart.substr(0, slash);
    }
    hostPart = Trim(hostPart);
    if (hostPart.empty() || hostPart == "." || AsciiSameText(hostPart, "(local)")) {
        // The loopback address rather than "localhost": a name may resolve to ::1 first, where a
        // server listening on IPv4 only is not found.
        address.host = "127.0.0.1";
    } else {
        address.host = std::string(hostPart);
    }
    return address;
}

std::string UnsayableCharacters(DriverFamily family, std::string_view value) {
    if (value.find('\0') != std::string_view::npos) return "NUL";
    if (family == DriverFamily::FreeTDS && value.find("};") != std::string_view::npos) return "};";
    return {};
}

void AppendConnectPair(std::string& out, std::string_view key, std::string_view value, bool doubleBraces) {
    out.append(key);
    out.push_back('=');
    bool needsBraces = value.find_first_of(";{}") != std::string_view::npos ||
                       (!value.empty() && (std::isspace(static_cast<unsigned char>(value.front())) ||
                                           std::isspace(static_cast<unsigned char>(value.back()))));
    if (needsBraces) {
        out.push_back('{');
        for (char c : value) {
            out.push_back(c);
            if (c == '}' && doubleBraces) out.push_back('}');
        }
        out.push_back('}');
    } else {
        out.append(value);
    }
    out.push_back(';');
}

std::string BuildConnectString(const ConnectSettings& s) {
    std::string out;
    const bool freeTds = s.family == DriverFamily::FreeTDS;
    // FreeTDS 1.3 ends a braced value only at "};" and does not understand "}}".
    auto AppendConnectPair = [freeTds](std::string& target, std::string_view key, std::string_view value) {
        provider::AppendConnectPair(target, key, value, !freeTds);
    };
    AppendConnectPair(out, "DRIVER", s.driver);
    std::string server = s.address.host;
    if (!s.address.instance.empty()) server += "\\" + s.address.instance;
    if (freeTds) {
        AppendConnectPair(out, "SERVER", server);
        // FreeTDS applies no default port on this path; an instance without a port is looked up
        // through the SQL Browser service instead.
        if (s.address.port) {
            AppendConnectPair(out, "PORT", std::to_string(*s.address.port));
        } else if (s.address.instance.empty()) {
            AppendConnectPair(out, "PORT", "1433");
        }
    } else {
        if (s.address.port) server += "," + std::to_string(*s.address.port);
        AppendConnectPair(out, "SERVER", server);
    }
    if (!s.database.empty()) AppendConnectPair(out, "DATABASE", s.database);
    if (s.integrated) {
        AppendConnectPair(out, "Trusted_Connection", "Yes");
    } else {
        if (s.userId) AppendConnectPair(out, "UID", *s.userId);
        if (s.password) AppendConnectPair(out, "PWD", *s.password);
    }
    if (!s.applicationName.empty()) AppendConnectPair(out, "APP", s.applicationName);
    if (!s.workstationId.empty()) AppendConnectPair(out, "WSID", s.workstationId);
    if (!s.language.empty()) AppendConnectPair(out, "LANGUAGE", s.language);
    if (freeTds) {
        AppendConnectPair(out, "TDS_Version", "7.4");
        // The layers above speak byte strings in the system code page.
        AppendConnectPair(out, "ClientCharset", "CP" + std::to_string(codepage::Active()));
        if (s.encrypt) AppendConnectPair(out, "Encryption", "require");
        AppendConnectPair(out, "PacketSize", std::to_string(s.packetSize));
    } else {
        AppendConnectPair(out, "Encrypt", s.encrypt ? "yes" : "no");
        AppendConnectPair(out, "AutoTranslate", s.autoTranslate ? "yes" : "no");
        AppendConnectPair(out, "Packet Size", std::to_string(s.packetSize));
        if (!s.networkLibrary.empty()) AppendConnectPair(out, "Network", s.networkLibrary);
    }
    return out;
}

std::string UnquoteIdentifier(std::string_view name) {
    std::string out;
    size_t i = 0;
    while (i <= name.size()) {
        if (i < name.size() && (name[i] == '[' || name[i] == '"')) {
            const char close = name[i] == '[' ? ']' : '"';
            size_t j = i + 1;
            std::string part;
            bool closed = false;
            while (j < name.size()) {
                if (name[j] == close) {
                    if (j + 1 < name.size() && name[j + 1] == close) {
                        part.push_back(close);
                        j += 2;
                        continue;
                    }
                    closed = true;
                    ++j;
                    break;
                }
                part.push_back(name[j++]);
            }
            if (closed && (j == name.size() || name[j] == '.')) {
                out += part;
                i = j;
            } else {
                // Not a quoted part after all: keep it as written.
                size_t dot = name.find('.', i);
                out.append(name.substr(i, dot == std::string_view::npos ? std::string_view::npos : dot - i));
                i = dot == std::string_view::npos ? name.size() : dot;
            }
        } else {
            size_t dot = name.find('.', i);
            out.append(name.substr(i, dot == std::string_view::npos ? std::string_view::npos : dot - i));
            i = dot == std::string_view::npos ? name.size() : dot;
        }
        if (i >= name.size()) break;
        out.push_back('.');  // name[i] == '.'
        ++i;
        if (i == name.size()) break;
    }
    return out;
}

}  // namespace provider
