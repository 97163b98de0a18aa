#include "tools/ClientCommands.h"

#include <cstdio>
#include <ostream>

namespace kestrom::client {

namespace {

std::vector<CClientCommand>& Registry() {
    static std::vector<CClientCommand> commands;
    return commands;
}

constexpr const char* kControlNames[] = {"<NUL>", "<SOH>", "<STX>", "<ETX>", "<EOT>"};

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

bool RegisterClientCommand(const CClientCommand& command) {
    Registry().push_back(command);
    return true;
}

const std::vector<CClientCommand>& ClientCommands() {
    return Registry();
}

std::unique_ptr<CClientConnection> CClientSession::Connect() {
    auto connection = CClientConnection::Connect(options_.host, options_.port, options_.Mode(),
                                                 options_.timeout, options_.localAddress);
    if (!connection)
        err_ << "kestrom-client: cannot connect to " << options_.host << ":" << options_.port
             << "\n";
    return connection;
}

std::optional<CReply> CClientSession::Request(std::u16string_view request) {
    auto connection = Connect();
    if (!connection) return std::nullopt;
    if (!connection->SendText(request)) {
        err_ << "kestrom-client: send failed\n";
        return std::nullopt;
    }
    auto reply = connection->ReceiveReply(options_.timeout);
    if (!reply) {
        err_ << "kestrom-client: no reply";
        if (!connection->LastBytes().empty())
            err_ << " (received " << connection->LastBytes().size() << " bytes)";
        err_ << "\n";
    }
    return reply;
}

void CClientSession::PrintReply(const CReply& reply) {
    out_ << EscapeForDisplay(reply.code) << " " << reply.size << "\n";
    if (!reply.payload.empty()) out_ << EscapeForDisplay(reply.payload) << "\n";
}

std::u16string UnescapeRequestText(std::string_view text) {
    std::u16string out;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '<') {
            bool named = false;
            for (size_t k = 1; k < std::size(kControlNames); ++k) {
                const std::string_view name = kControlNames[k];
                if (text.substr(i, name.size()) == name) {
                    out += static_cast<char16_t>(k);
                    i += name.size() - 1;
                    named = true;
                    break;
                }
            }
            if (!named) out += u'<';
            continue;
        }
        if (c == '\\' && i + 1 < text.size()) {
            const char e = text[i + 1];
            if (e == 'x' && i + 3 < text.size() && HexValue(text[i + 2]) >= 0 &&
                HexValue(text[i + 3]) >= 0) {
                out += static_cast<char16_t>(HexValue(text[i + 2]) * 16 + HexValue(text[i + 3]));
                i += 3;
                continue;
            }
            if (e == 'n' || e == 'r' || e == 't' || e == '\\') {
                out += e == 'n' ? u'\n' : e == 'r' ? u'\r' : e == 't' ? u'\t' : u'\\';
                ++i;
                continue;
            }
        }
        // Plain text is taken as UTF-8 bytes one by one only when ASCII.
        out += static_cast<char16_t>(static_cast<unsigned char>(c));
    }
    return out;
}

std::string EscapeForDisplay(std::u16string_view text) {
    std::string out;
    for (char16_t c : text) {
        if (c < std::size(kControlNames)) {
            out += kControlNames[c];
        } else if (c == u'\r' || c == u'\n' || c == u'\t' || (c >= 0x20 && c < 0x7F)) {
            out += static_cast<char>(c);
        } else {
            char buffer[8];
            std::snprintf(buffer, sizeof buffer, "\\u%04X", static_cast<unsigned>(c));
            out += buffer;
        }
    }
    return out;
}

}  // namespace kestrom::client
