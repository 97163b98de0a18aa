#include "console/ConsoleServer.h"

#include <httplib.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <mutex>
#include <optional>
#include <thread>

#include "base/Path.h"
#include "base/TextConvert.h"
#include "console/ConsoleText.h"
#include "core/LogLine.h"
#include "net/Platform.h"
#include "security/AccessListStorage.h"
#include "window/OptionsRules.h"
#include "window/SecurityItemEditor.h"
#include "window/WindowTexts.h"

namespace kestrom {

namespace {

constexpr const char* kCookieName = "kestrom_console";
constexpr const char* kHtml = "text/html; charset=utf-8";
// Lines a page's log stream sends per batch (ten batches a second at most).
constexpr size_t kStreamBatchLines = 300;

using httplib::Request;
using httplib::Response;
using Gate = httplib::Server::HandlerResponse;

bool IsLoopback(const std::string& address) {
    return address.rfind("127.", 0) == 0 || address == "::1" || address == "::ffff:127.0.0.1";
}

std::string CookieValue(const Request& req, const std::string& name) {
    const std::string header = req.get_header_value("Cookie");
    size_t pos = 0;
    while (pos < header.size()) {
        size_t end = header.find(';', pos);
        if (end == std::string::npos) end = header.size();
        std::string_view part(header.data() + pos, end - pos);
        while (!part.empty() && part.front() == ' ') part.remove_prefix(1);
        if (part.size() > name.size() && part.substr(0, name.size()) == name &&
            part[name.size()] == '=')
            return std::string(part.substr(name.size() + 1));
        pos = end + 1;
    }
    return {};
}

// The page's own origin: a browser names it in Origin on every POST (or in Referer).
bool SameOrigin(const Request& req) {
    const std::string host = req.get_header_value("Host");
    if (host.empty()) return false;
    const std::string own = "http://" + host;
    const std::string site = req.get_header_value("Sec-Fetch-Site");
    if (!site.empty() && site != "same-origin") return false;
    if (req.has_header("Origin")) return req.get_header_value("Origin") == own;
    const std::string referer = req.get_header_value("Referer");
    return referer.rfind(own + "/", 0) == 0;
}

std::string U8(std::u16string_view text) {
    return ToUtf8(text);
}

std::string Esc(std::u16string_view text) {
    return HtmlEscape(ToUtf8(text));
}

// A file's bytes as UTF-8 for showing: UTF-16 with its byte-order mark, UTF-8 with one, and
// otherwise the 8-bit text of the meet programs, taken as Latin-1.
std::string ShownText(const std::string& bytes) {
    if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
        static_cast<unsigned char>(bytes[1]) == 0xFE) {
        std::u16string text;
        for (size_t i = 2; i + 1 < bytes.size(); i += 2)
            text += static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                          (static_cast<unsigned char>(bytes[i + 1]) << 8));
        return ToUtf8(text);
    }
    if (bytes.rfind("\xEF\xBB\xBF", 0) == 0) return bytes.substr(3);
    std::u16string text;
    for (char c : bytes) text += static_cast<char16_t>(static_cast<unsigned char>(c));
    return ToUtf8(text);
}

std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::string line;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\r' || c == '\n') {
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
            lines.push_back(std::move(line));
            line.clear();
        } else {
            line += c;
        }
    }
    if (!line.empty()) lines.push_back(std::move(line));
    return lines;
}

const char* kStyle = R"(<style>
body{font-family:sans-serif;margin:0;background:#f4f4f4;color:#111}
nav{background:#234;padding:.5em 1em}nav a{color:#fff;margin-right:1.2em;text-decoration:none}
main{padding:1em}table{border-collapse:collapse;background:#fff}
td,th{border:1px solid #bbb;padding:.2em .5em;text-align:left}th{background:#dde}
#log{font-family:monospace;background:#fff;border:1px solid #bbb;height:28em;overflow:auto;
white-space:pre;padding:.3em}#log .e{color:#b00}.stale td{background:#eee;color:#777}
.yes{color:#0a0}.no{color:#d00}.msg{background:#ffd;border:1px solid #cc8;padding:.5em}
.cols{display:flex;gap:1em}.cols pre{background:#fff;border:1px solid #bbb;padding:.3em;
flex:1;overflow:auto}.diff{background:#fdd}input.b{width:2.2em}
</style>)";

}  // namespace

struct CConsoleServer::Impl {
    Impl(CKestromServer& s, CConsoleOptions o) : server(s), options(o), state(&s.Settings()) {}

    CKestromServer& server;
    CConsoleOptions options;
    CConsoleState state;
    std::unique_ptr<httplib::Server> http;
    std::thread thread;
    // Set when the listening loop has returned, whether it ran or failed.
    std::atomic<bool> listenEnded{false};
    int port = -1;
    std::mutex guessMutex;

    std::string Token() const { return U8(server.Settings().Get().ConsoleToken); }

    void Log(const std::string& text) {
        server.Operator().AddLogLine(FromUtf8(text), LogLevel::kInfo);
    }

    void Forbid(const Request& req, Response& res, const std::string& why, bool delay) {
        Log("Console: refused " + req.method + " " + req.path + " from " + req.remote_addr + " (" +
            why + ")");
        if (delay) {
            // One wrong token at a time, each after the delay: guessing gains nothing from
            // parallel requests.
            std::lock_guard lock(guessMutex);
            std::this_thread::sleep_for(options.wrongTokenDelay);
        }
        res.status = 403;
        res.set_content("<!doctype html><title>Forbidden</title><p>" + HtmlEscape(why) + "</p>",
                        kHtml);
    }

    Gate Check(const Request& req, Response& res) {
        const std::string token = Token();
        const bool local = options.trustLoopback && IsLoopback(req.remote_addr);
        std::string presented;
        bool fromUrl = false;
        if (req.method == "GET" && req.has_param("token")) {
            presented = req.get_param_value("token");
            fromUrl = true;
        } else {
            presented = CookieValue(req, kCookieName);
        }
        if (!presented.empty() && !SameSecret(presented, token)) {
            Forbid(req, res, "wrong token", true);
            return Gate::Handled;
        }
        if (!local && presented.empty()) {
            Forbid(req, res, "this console needs its token", false);
            return Gate::Handled;
        }
        if (fromUrl) {
            res.set_header("Set-Cookie", std::string(kCookieName) + "=" + token +
                                             "; HttpOnly; SameSite=Strict; Path=/");
            res.set_redirect(req.path, 303);
            return Gate::Handled;
        }
        if (req.method == "POST") {
            // The form's token is in the body, which is read after this gate: checked again
            // by each change (Changes).
            if (!SameOrigin(req)) {
                Forbid(req, res, "request from another origin", false);
                return Gate::Handled;
            }
        } else if (req.method != "GET" && req.method != "HEAD") {
            res.status = 405;
            return Gate::Handled;
        }
        res.set_header("Cache-Control", "no-store");
        res.set_header("X-Content-Type-Options", "nosniff");
        res.set_header("X-Frame-Options", "DENY");
        res.set_header("Content-Security-Policy",
                       "default-src 'self'; script-src 'self' 'unsafe-inline'; style-src "
                       "'unsafe-inline'; frame-ancestors 'none'");
        return Gate::Unhandled;
    }

    std::string Page(const std::string& title, const std::string& body) const {
        return "<!doctype html><html lang=en><head><meta charset=utf-8><title>Kestrom - " +
               HtmlEscape(title) + "</title>" + kStyle +
               "</head><body><nav><a href=\"/\">Status</a><a href=\"/devices\">Devices</a>"
               "<a href=\"/uploads\">Uploads</a><a href=\"/history\">History</a>"
               "<a href=\"/access\">Access list</a></nav><main><h1>" +
               HtmlEscape(title) + "</h1>" + body + "</main></body></html>";
    }

    std::string Csrf() const { return "<input type=hidden name=csrf value=\"" + Token() + "\">"; }

    static std::string Message(std::string_view text) {
        return text.empty() ? std::string() : "<p class=msg id=msg>" + HtmlEscape(text) + "</p>";
    }

    // The status page ---------------------------------------------------------------------

    std::string GridRows() const {
        const CKestromSettings s = server.Settings().Get();
        const struct {
            const char* name;
            CProduct product;
            bool on;
        } rows[] = {{"Wenlow", CProduct::Wenlow, s.WenlowSecurityEnabled},
                    {"ClerkOrvo", CProduct::ClerkOrvo, s.ClerkOrvoSecurityEnabled},
                    {"FieldOrvo", CProduct::FieldOrvo, s.FieldOrvoSecurityEnabled}};
        std::string html;
        for (const auto& row : rows) {
            std::string addresses;
            for (const auto& ip : server.ClientAddresses().Addresses(row.product))
                addresses += (addresses.empty() ? "" : ", ") + Esc(ip);
            html += "<tr><td>" + std::string(row.name) + "</td><td>" +
                    (s.SecurityEnabled && row.on ? "On" : "Off") + "</td><td>" +
                    std::to_string(server.ClientAddresses().Count(row.product)) + "</td><td>" +
                    addresses + "</td></tr>";
        }
        return html;
    }

    void Status(const Request&, Response& res) {
        const std::string body =
            "<table><tr><th>Product</th><th>Security</th><th>Clients</th><th>Addresses</th>"
            "</tr>" +
            GridRows() + "</table><p>Current connections: <b id=conns>" +
            std::to_string(state.Connections()) + "</b> &nbsp; Errors: <b id=errs>" +
            std::to_string(state.Errors()) +
            "</b> <form method=post action=\"/errors/clear\" style=\"display:inline\">" + Csrf() +
            "<button id=clear>Clear Errors</button></form></p><h2>Event log</h2>"
            "<div id=log></div><script>"
            "const log=document.getElementById('log');"
            "const es=new EventSource('/events');"
            "es.onmessage=e=>{const d=document.createElement('div');d.textContent=e.data;"
            "log.prepend(d);while(log.childNodes.length>2000)log.lastChild.remove();};"
            "es.addEventListener('error-line',e=>{const d=document.createElement('div');"
            "d.className='e';d.textContent=e.data;log.prepend(d);});"
            "setInterval(()=>fetch('/api/status').then(r=>r.json()).then(s=>{"
            "document.getElementById('conns').textContent=s.connections;"
            "document.getElementById('errs').textContent=s.errors;}).catch(()=>{}),2000);"
            "</script>";
        res.set_content(Page("Status", body), kHtml);
    }

    void Events(const Request& req, Response& res) {
        auto after = std::make_shared<std::uint64_t>(0);
        if (req.has_header("Last-Event-ID")) {
            try {
                *after = std::stoull(req.get_header_value("Last-Event-ID"));
            } catch (const std::exception&) {
            }
        }
        res.set_header("Cache-Control", "no-cache");
        res.set_chunked_content_provider("text/event-stream", [this, after](
                                                                  size_t, httplib::DataSink& sink) {
            if (state.Stopped()) {
                sink.done();
                return true;
            }
            // A busy log goes out in batches, a few a second, well within the second
            // in which a line must show.
            if (state.WaitForLine(*after, std::chrono::milliseconds(1000)))
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
            std::string out;
            auto entries = state.LogAfter(*after);
            // A flood is more than anyone reads: a page gets the newest lines of each
            // batch and a line that counts the rest, as the window's log does.
            if (entries.size() > kStreamBatchLines) {
                const size_t lost = entries.size() - kStreamBatchLines;
                entries.erase(entries.begin(), entries.begin() + static_cast<std::ptrdiff_t>(lost));
                CConsoleLogEntry note = entries.front();
                note.text = LostLogLinesMessage(lost);
                note.level = LogLevel::kInfo;
                entries.insert(entries.begin(), note);
            }
            const auto lines = FormatLogEntries(entries);
            for (size_t i = 0; i < entries.size(); ++i) {
                out += "id: " + std::to_string(entries[i].seq) + "\n";
                if (entries[i].level == LogLevel::kError) out += "event: error-line\n";
                out += "data: " + lines[i] + "\n\n";
                *after = entries[i].seq;
            }
            if (out.empty()) out = ": idle\n\n";
            return sink.write(out.data(), out.size());
        });
    }

    void ApiStatus(const Request&, Response& res) {
        res.set_content("{\"connections\":" + std::to_string(state.Connections()) +
                            ",\"errors\":" + std::to_string(state.Errors()) +
                            ",\"lastLine\":" + std::to_string(state.LastSeq()) + "}",
                        "application/json");
    }

    // Devices and uploads -----------------------------------------------------------------

    static std::string Products(const CDeviceRow& row) {
        std::string text;
        for (const auto& p : row.products) text += (text.empty() ? "" : ", ") + U8(p);
        return text;
    }

    bool Stale(const CDeviceRow& row) const {
        return std::time(nullptr) - row.last > server.Settings().Get().ConsoleStaleSeconds;
    }

    void Devices(const Request&, Response& res) {
        std::string body =
            "<p>A device is marked stale after " +
            std::to_string(server.Settings().Get().ConsoleStaleSeconds) +
            " seconds without a request.</p><table id=devices><tr><th>Product</th><th>IP</th>"
            "<th>MAC</th><th>First request</th><th>Last request</th><th>Requests</th>"
            "<th>Uploads</th><th>Refusals</th><th></th></tr>";
        for (const auto& row : state.Devices()) {
            const bool stale = Stale(row);
            body += std::string("<tr") + (stale ? " class=stale" : "") + "><td>" +
                    HtmlEscape(Products(row)) + "</td><td>" + Esc(row.ip) + "</td><td>" +
                    Esc(row.mac) + "</td><td>" + TimeText(row.first) + "</td><td>" +
                    TimeText(row.last) + "</td><td>" + std::to_string(row.requests) + "</td><td>" +
                    std::to_string(row.uploads) + "</td><td>" + std::to_string(row.refusals) +
                    "</td><td>" + (stale ? "stale" : "") + "</td></tr>";
        }
        res.set_content(Page("Devices", body + "</table>"), kHtml);
    }

    void ApiDevices(const Request&, Response& res) {
        std::string json =
            "{\"staleSeconds\":" + std::to_string(server.Settings().Get().ConsoleStaleSeconds) +
            ",\"devices\":[";
        bool first = true;
        for (const auto& row : state.Devices()) {
            json += std::string(first ? "" : ",") + "{\"product\":" + JsonString(Products(row)) +
                    ",\"ip\":" + JsonString(U8(row.ip)) + ",\"mac\":" + JsonString(U8(row.mac)) +
                    ",\"first\":" + JsonString(TimeText(row.first)) +
                    ",\"last\":" + JsonString(TimeText(row.last)) +
                    ",\"requests\":" + std::to_string(row.requests) +
                    ",\"uploads\":" + std::to_string(row.uploads) +
                    ",\"refusals\":" + std::to_string(row.refusals) +
                    ",\"stale\":" + (Stale(row) ? "true" : "false") + "}";
            first = false;
        }
        res.set_content(json + "]}", "application/json");
    }

    void Uploads(const Request&, Response& res) {
        std::string body =
            "<table id=uploads><tr><th>Time</th><th>Device</th><th>File</th><th>Size</th>"
            "<th>Outcome</th></tr>";
        for (const auto& u : state.Uploads())
            body += "<tr><td>" + TimeText(u.when) + "</td><td>" + Esc(u.ip) +
                    (u.mac.empty() ? "" : " (" + Esc(u.mac) + ")") + "</td><td>" + Esc(u.file) +
                    "</td><td>" + std::to_string(u.bytes) + "</td><td>" + Esc(u.outcome) +
                    "</td></tr>";
        res.set_content(Page("Uploads", body + "</table>"), kHtml);
    }

    // History -----------------------------------------------------------------------------

    // The folder a URL's "dir" names, or none; the file name must be plain.
    std::optional<std::u16string> MeetPath(const Request& req) const {
        const std::string dir = req.get_param_value("dir");
        const std::string file = req.get_param_value("file");
        if (!PlainFileName(file)) return std::nullopt;
        const CKestromSettings s = server.Settings().Get();
        if (dir == "results") return JoinPath(s.ResultsDirectory, FromUtf8(file));
        if (dir == "event") return JoinPath(s.EventDirectory, FromUtf8(file));
        return std::nullopt;
    }

    static void BadName(Response& res) {
        res.status = 400;
        res.set_content("<!doctype html><title>Bad request</title><p>No such file.</p>", kHtml);
    }

    std::string FilesWithHistory(const std::u16string& folder, const char* dir) const {
        std::string html;
        std::error_code ec;
        const auto root = std::filesystem::path(JoinPath(folder, kHistoryFolderName));
        std::vector<std::string> names;
        for (std::filesystem::directory_iterator it(root, ec), end; !ec && it != end;
             it.increment(ec))
            if (it->is_directory(ec)) names.push_back(ToUtf8(it->path().filename().u16string()));
        std::sort(names.begin(), names.end());
        for (const auto& name : names) {
            if (!PlainFileName(name)) continue;
            html += "<li><a href=\"/history/file?dir=" + std::string(dir) +
                    "&amp;file=" + httplib::detail::encode_query_param(name) + "\">" +
                    HtmlEscape(name) + "</a></li>";
        }
        return html;
    }

    void History(const Request&, Response& res) {
        const CKestromSettings s = server.Settings().Get();
        std::string body = "<h2>Results folder</h2><ul id=results>" +
                           FilesWithHistory(s.ResultsDirectory, "results") +
                           "</ul><h2>Event folder</h2><ul id=event>" +
                           FilesWithHistory(s.EventDirectory, "event") + "</ul>";
        res.set_content(Page("History", body), kHtml);
    }

    void HistoryFile(const Request& req, Response& res, std::string_view message = {}) {
        const auto path = MeetPath(req);
        if (!path) return BadName(res);
        const std::string dir = req.get_param_value("dir");
        const std::string file = req.get_param_value("file");
        std::string body = Message(message) +
                           "<form method=get action=\"/history/compare\">"
                           "<input type=hidden name=dir value=\"" +
                           HtmlEscape(dir) + "\"><input type=hidden name=file value=\"" +
                           HtmlEscape(file) +
                           "\"><table id=versions><tr><th>A</th><th>B</th><th>Kept at</th>"
                           "<th>Replaced by</th><th>Size</th><th></th></tr>"
                           "<tr><td><input type=radio name=a value=current></td><td><input "
                           "type=radio name=b value=current checked></td><td colspan=4>the "
                           "current file</td></tr>";
        bool first = true;
        for (const auto& v : server.History().Versions(*path)) {
            const std::string id = U8(v.id);
            body += "<tr><td><input type=radio name=a value=" + id + (first ? " checked" : "") +
                    "></td><td><input type=radio name=b value=" + id + "></td><td>" +
                    TimeText(v.when) + "</td><td>" + Esc(v.device) + "</td><td>" +
                    std::to_string(v.bytes) +
                    "</td><td><button formmethod=post "
                    "formaction=\"/history/restore\" name=version value=" +
                    id + " id=\"restore-" + id + "\">Restore</button></td></tr>";
            first = false;
        }
        body += "</table>" + Csrf() + "<p><button id=compare>Show side by side</button></p></form>";
        res.set_content(Page("History of " + file, body), kHtml);
    }

    bool VersionText(const std::u16string& path, const std::string& id, std::string& text) const {
        std::string bytes;
        if (id == "current") {
            std::error_code ec;
            if (!std::filesystem::is_regular_file(std::filesystem::path(path), ec)) return false;
            std::ifstream in(std::filesystem::path(path), std::ios::binary);
            bytes.assign(std::istreambuf_iterator<char>(in), {});
        } else if (!server.History().Read(path, FromUtf8(id), bytes)) {
            return false;
        }
        text = ShownText(bytes);
        return true;
    }

    void HistoryCompare(const Request& req, Response& res) {
        const auto path = MeetPath(req);
        std::string a, b;
        if (!path || !VersionText(*path, req.get_param_value("a"), a) ||
            !VersionText(*path, req.get_param_value("b"), b))
            return BadName(res);
        const auto left = SplitLines(a);
        const auto right = SplitLines(b);
        auto column = [&](const std::vector<std::string>& lines,
                          const std::vector<std::string>& other, const char* id) {
            std::string html = std::string("<pre id=") + id + ">";
            for (size_t i = 0; i < lines.size(); ++i) {
                const bool differs = i >= other.size() || other[i] != lines[i];
                html += differs ? "<span class=diff>" + HtmlEscape(lines[i]) + "</span>\n"
                                : HtmlEscape(lines[i]) + "\n";
            }
            return html + "</pre>";
        };
        const std::string body = "<p>A: " + HtmlEscape(req.get_param_value("a")) +
                                 " &nbsp; B: " + HtmlEscape(req.get_param_value("b")) +
                                 "</p><div class=cols>" + column(left, right, "a") +
                                 column(right, left, "b") + "</div>";
        res.set_content(Page("Compare " + req.get_param_value("file"), body), kHtml);
    }

    void HistoryRestoreVersion(const Request& req, Response& res) {
        const auto path = MeetPath(req);
        const std::string id = req.get_param_value("version");
        if (!path) return BadName(res);
        const HistoryRestore outcome = server.History().Restore(*path, FromUtf8(id), u"console");
        std::string message;
        switch (outcome) {
            case HistoryRestore::kRestored:
                message = "Restored version " + id + "; the file it replaced is kept as a version.";
                Log("Console: restored " + ToUtf8(*path) + " from version " + id);
                break;
            case HistoryRestore::kNoSuchVersion:
                res.status = 404;
                message = "There is no such version.";
                break;
            case HistoryRestore::kBusy:
                res.status = 409;
                message = "The file is being written; try again.";
                break;
            case HistoryRestore::kFailed:
                res.status = 500;
                message = "The file could not be replaced.";
                break;
        }
        HistoryFile(req, res, message);
    }

    // Access list -------------------------------------------------------------------------

    static std::string YesNo(bool yes) {
        return yes ? "<span class=yes>Yes</span>" : "<span class=no>No</span>";
    }

    std::string EntryFields(const CSecurityItemValues& e, bool macEditable) const {
        std::string html = "<p>MAC Address: ";
        for (size_t i = 0; i < 6; ++i) {
            html += (i ? ":" : "") + std::string("<input class=b maxlength=2 name=b") +
                    std::to_string(i + 1) + " id=b" + std::to_string(i + 1) + " value=\"" +
                    Esc(e.macBytes[i]) + "\"" + (macEditable ? "" : " disabled") + ">";
        }
        html += "</p><p>Name (optional): <input name=name id=name value=\"" + Esc(e.name) + "\"" +
                (macEditable ? "" : " disabled") + "></p>";
        const struct {
            const char* field;
            const char* label;
            int value;
        } boxes[] = {{"enabled", "Enable", e.boxes[0]},
                     {"wenlow", "Wenlow", e.boxes[1]},
                     {"clerkorvo", "ClerkOrvo", e.boxes[2]},
                     {"fieldorvo", "FieldOrvo", e.boxes[3]}};
        for (const auto& box : boxes) {
            html += std::string("<label>") + box.label + " <select name=" + box.field +
                    " id=" + box.field + ">";
            for (const auto& [value, text] :
                 {std::pair{0, "clear"}, std::pair{1, "ticked"}, std::pair{2, "as they are"}}) {
                if (value == 2 && box.value != 2) continue;
                html += "<option value=" + std::to_string(value) +
                        (value == box.value ? " selected" : "") + ">" + text + "</option>";
            }
            html += "</select></label> ";
        }
        return html;
    }

    // A new entry starts enabled, with no product allowed, as in the window's dialog.
    static CSecurityItemValues NewEntryValues() {
        CSecurityItemValues e;
        e.boxes = {kBoxTicked, kBoxClear, kBoxClear, kBoxClear};
        return e;
    }

    static CSecurityItemValues EditOf(const Request& req) {
        CSecurityItemValues e;
        for (size_t i = 0; i < 6; ++i)
            e.macBytes[i] = FromUtf8(req.get_param_value(("b" + std::to_string(i + 1)).c_str()));
        e.name = FromUtf8(req.get_param_value("name"));
        // A box the form does not send is clear.
        auto box = [&](const char* name) -> int {
            const std::string v = req.has_param(name) ? req.get_param_value(name) : "";
            return v == "1" ? kBoxTicked : v == "2" ? kBoxIndeterminate : kBoxClear;
        };
        e.boxes = {box("enabled"), box("wenlow"), box("clerkorvo"), box("fieldorvo")};
        return e;
    }

    static CSecurityItemValues EditOf(const CAccessControlItem& item) {
        CSecurityItemValues e;
        e.macBytes = {item.macByte1, item.macByte2, item.macByte3,
                      item.macByte4, item.macByte5, item.macByte6};
        e.name = item.name;
        auto box = [](std::int32_t flag) { return flag ? kBoxTicked : kBoxClear; };
        e.boxes = {box(item.enabled), box(item.allowWenlow), box(item.allowClerkOrvo),
                   box(item.allowFieldOrvo)};
        return e;
    }

    static std::vector<int> Selection(const Request& req) {
        std::vector<int> selection;
        const size_t n = req.get_param_value_count("sel");
        for (size_t i = 0; i < n; ++i) {
            const std::string v = req.get_param_value("sel", i);
            if (v.empty() || v.size() > 9 ||
                !std::all_of(v.begin(), v.end(), [](char c) { return c >= '0' && c <= '9'; }))
                continue;
            selection.push_back(std::stoi(v));
        }
        return selection;
    }

    void Access(const Request&, Response& res, std::string_view message = {},
                const CSecurityItemValues& addForm = NewEntryValues()) {
        const CKestromSettings s = server.Settings().Get();
        std::string body = Message(message);
        if (options.answersPrompts) {
            for (const auto& p : state.Prompts()) {
                body += "<form method=post action=\"/prompt/answer\" class=prompt id=\"prompt-" +
                        std::to_string(p.id) + "\"><h2>Add MAC Address</h2>" + Csrf() +
                        "<input type=hidden name=id value=" + std::to_string(p.id) + ">" +
                        EntryFields(EditOf(p.entry), true) +
                        "<p>Do you wish to add this MAC Address?</p><button name=answer "
                        "value=yes id=\"prompt-ok-" +
                        std::to_string(p.id) +
                        "\">OK</button> <button name=answer value=no>Cancel"
                        "</button></form>";
            }
            body += std::string("<form method=post action=\"/access/prompting\">") + Csrf() +
                    "<label><input type=checkbox name=on value=1 id=prompting" +
                    (server.Prompts().Enabled() ? " checked" : "") +
                    "> Prompt for unknown clients</label> <button id=prompting-save>Save</button>"
                    "</form>";
        }
        body += "<form method=post action=\"/access/edit\">" + Csrf() +
                "<table id=acl><tr><th></th><th>MAC Address</th><th>Name</th><th>Enabled</th>"
                "<th>Wenlow</th><th>ClerkOrvo</th><th>FieldOrvo</th></tr>";
        const auto items = server.AccessList().Snapshot();
        for (size_t i = 0; i < items.size(); ++i) {
            const auto& item = items[i];
            body += "<tr><td><input type=checkbox name=sel value=" + std::to_string(i) +
                    "></td><td>" + Esc(item.GetMacText()) + "</td><td>" + Esc(item.name) +
                    "</td><td>" + YesNo(item.enabled) + "</td><td>" +
                    YesNo(item.allowWenlow && s.WenlowSecurityEnabled && item.enabled) +
                    "</td><td>" +
                    YesNo(item.allowClerkOrvo && s.ClerkOrvoSecurityEnabled && item.enabled) +
                    "</td><td>" +
                    YesNo(item.allowFieldOrvo && s.FieldOrvoSecurityEnabled && item.enabled) +
                    "</td></tr>";
        }
        body +=
            "</table><p><button name=op value=update>Update</button> <button name=op "
            "value=delete>Delete</button></p></form><h2>Add MAC Address</h2>"
            "<form method=post action=\"/access/add\">" +
            Csrf() + EntryFields(addForm, true) + "<p><button id=add>OK</button></p></form>";
        res.set_content(Page("Access list", body), kHtml);
    }

    std::string SaveList(const std::vector<CAccessControlItem>& items) {
        server.AccessList().ReplaceAll(items);
        const CStatus saved = SaveAccessList(server.AccessList());
        return saved ? std::string() : U8(saved.Detail());
    }

    void AccessAdd(const Request& req, Response& res) {
        auto items = server.AccessList().Snapshot();
        const CSecurityItemValues edit = EditOf(req);
        if (const auto refusal = EditAccessList(items, {}, false, edit); !refusal.empty()) {
            res.status = 422;
            return Access(req, res, U8(refusal), edit);
        }
        Access(req, res, SaveList(items));
    }

    void AccessEditForm(const Request&, Response& res, const std::vector<int>& selection,
                        std::string_view message, const CSecurityItemValues* entered) {
        const auto items = server.AccessList().Snapshot();
        CSecurityItemValues shown;
        if (entered) {
            shown = *entered;
        } else if (selection.size() == 1) {
            shown = EditOf(items[static_cast<size_t>(selection.front())]);
        } else {
            // Each box shows the value the selected entries share, or "as they are".
            shown = EditOf(items[static_cast<size_t>(selection.front())]);
            shown.macBytes = {};
            shown.name.clear();
            for (const int i : selection) {
                const CSecurityItemValues other = EditOf(items[static_cast<size_t>(i)]);
                for (size_t b = 0; b < shown.boxes.size(); ++b)
                    if (other.boxes[b] != shown.boxes[b]) shown.boxes[b] = kBoxIndeterminate;
            }
        }
        std::string hidden;
        for (const int i : selection)
            hidden += "<input type=hidden name=sel value=" + std::to_string(i) + ">";
        const std::string title =
            selection.size() == 1 ? "Update Access Control Client" : "Add MAC Address";
        res.set_content(
            Page(title, Message(message) + "<form method=post action=\"/access/update\">" + Csrf() +
                            hidden + EntryFields(shown, selection.size() == 1) +
                            "<p><button id=update>OK</button> <a href=\"/access\">"
                            "Cancel</a></p></form>"),
            kHtml);
    }

    bool ValidSelection(const std::vector<int>& selection) const {
        const size_t size = server.AccessList().Size();
        return !selection.empty() && std::all_of(selection.begin(), selection.end(), [&](int i) {
            return i >= 0 && static_cast<size_t>(i) < size;
        });
    }

    void AccessEdit(const Request& req, Response& res) {
        const auto selection = Selection(req);
        if (!ValidSelection(selection)) return Access(req, res, U8(texts::kSelectAnItem));
        if (req.get_param_value("op") == "delete") {
            auto items = server.AccessList().Snapshot();
            std::vector<int> rows(items.size());
            for (size_t i = 0; i < rows.size(); ++i) rows[i] = static_cast<int>(i);
            std::vector<int> selected(selection);
            std::sort(selected.begin(), selected.end());
            selected.erase(std::unique(selected.begin(), selected.end()), selected.end());
            DeleteSecurityRows(items, rows, selected);
            return Access(req, res, SaveList(items));
        }
        AccessEditForm(req, res, selection, {}, nullptr);
    }

    void AccessUpdate(const Request& req, Response& res) {
        const auto selection = Selection(req);
        if (!ValidSelection(selection)) return Access(req, res, U8(texts::kSelectAnItem));
        auto items = server.AccessList().Snapshot();
        const CSecurityItemValues edit = EditOf(req);
        if (const auto refusal = EditAccessList(items, selection, false, edit); !refusal.empty()) {
            res.status = 422;
            return AccessEditForm(req, res, selection, U8(refusal), &edit);
        }
        Access(req, res, SaveList(items));
    }

    void PromptAnswer(const Request& req, Response& res) {
        std::uint64_t id = 0;
        try {
            id = std::stoull(req.get_param_value("id"));
        } catch (const std::exception&) {
            return Access(req, res, "There is no such prompt.");
        }
        if (req.get_param_value("answer") != "yes") {
            state.Answer(id, false, {});
            return Access(req, res);
        }
        std::vector<CAccessControlItem> one;
        for (const auto& p : state.Prompts())
            if (p.id == id) one.push_back(p.entry);
        if (one.empty()) return Access(req, res, "The client has been refused meanwhile.");
        if (const auto refusal = EditAccessList(one, {0}, true, EditOf(req)); !refusal.empty()) {
            res.status = 422;
            return Access(req, res, U8(refusal));
        }
        state.Answer(id, true, one.front());
        Access(req, res);
    }

    void Route() {
        auto& h = *http;
        auto get = [&](const char* path, void (Impl::*page)(const Request&, Response&)) {
            h.Get(path,
                  [this, page](const Request& req, Response& res) { (this->*page)(req, res); });
        };
        auto post = [&](const char* path, void (Impl::*action)(const Request&, Response&)) {
            h.Post(path, [this, action](const Request& req, Response& res) {
                // The page's forms carry the token, which no other site's page can know.
                if (!SameSecret(req.get_param_value("csrf"), Token()))
                    return Forbid(req, res, "wrong token", true);
                (this->*action)(req, res);
            });
            // A change asked for by GET changes nothing.
            h.Get(path, [](const Request&, Response& res) {
                res.status = 405;
                res.set_header("Allow", "POST");
            });
        };
        get("/", &Impl::Status);
        get("/events", &Impl::Events);
        get("/api/status", &Impl::ApiStatus);
        get("/api/devices", &Impl::ApiDevices);
        get("/devices", &Impl::Devices);
        get("/uploads", &Impl::Uploads);
        get("/history", &Impl::History);
        h.Get("/history/file",
              [this](const Request& req, Response& res) { HistoryFile(req, res); });
        get("/history/compare", &Impl::HistoryCompare);
        h.Get("/access", [this](const Request& req, Response& res) { Access(req, res); });
        post("/errors/clear", &Impl::ClearErrors);
        post("/history/restore", &Impl::HistoryRestoreVersion);
        post("/access/add", &Impl::AccessAdd);
        post("/access/edit", &Impl::AccessEdit);
        post("/access/update", &Impl::AccessUpdate);
        post("/access/prompting", &Impl::Prompting);
        post("/prompt/answer", &Impl::PromptAnswer);
    }

    void ClearErrors(const Request&, Response& res) {
        state.ClearErrors();
        res.set_redirect("/", 303);
    }

    void Prompting(const Request& req, Response& res) {
        server.Prompts().SetEnabled(req.get_param_value("on") == "1");
        Access(req, res);
    }
};

CConsoleServer::CConsoleServer(CKestromServer& server, CConsoleOptions options)
    : impl_(std::make_unique<Impl>(server, options)) {}

CConsoleServer::~CConsoleServer() {
    Stop();
}

void CConsoleServer::Start() {
    Impl& m = *impl_;
    if (m.http) return;
    const CKestromSettings s = m.server.Settings().Get();
    if (s.ConsolePort == 0 && !m.options.anyPort) return;
    m.state.SetPromptSeconds(s.ConsolePromptSeconds);
    auto http = std::make_unique<httplib::Server>();
    // Each open Status page holds one thread for its log stream.
    http->new_task_queue = [] { return new httplib::ThreadPool(32); };
    http->set_payload_max_length(m.options.maxBodyBytes);
    http->set_read_timeout(10, 0);
    http->set_keep_alive_max_count(100);
    // The library's own choice would let a second server share the port (SO_REUSEPORT on
    // Linux, SO_REUSEADDR on Windows): the console's port is refused like the listener's.
    http->set_socket_options([](NativeSocket socket) {
        asio::error_code ignored;
        SetListenerAddressReuse(socket, ignored);
    });
    http->set_pre_routing_handler(
        [&m](const Request& req, Response& res) { return m.Check(req, res); });
    const std::string address = U8(s.ConsoleAddress);
    int port = -1;
    if (m.options.anyPort) {
        port = http->bind_to_any_port(address);
    } else if (http->bind_to_port(address, s.ConsolePort)) {
        port = s.ConsolePort;
    }
    if (port <= 0) {
        m.server.Operator().AddLogLine(u"UNABLE TO START THE CONSOLE ON " + s.ConsoleAddress +
                                           u" PORT " + U16(std::to_string(s.ConsolePort)),
                                       LogLevel::kError);
        return;
    }
    m.http = std::move(http);
    m.port = port;
    m.Route();
    m.server.Operator().SetWatcher(&m.state, m.options.answersPrompts);
    m.server.RequestObservers().Set(&m.state);
    m.listenEnded = false;
    m.thread = std::thread([&m] {
        m.http->listen_after_bind();
        m.listenEnded = true;
    });
    const std::string shown = address == "0.0.0.0" || address == "::" ? "127.0.0.1" : address;
    m.Log("Operator console at http://" + shown + ":" + std::to_string(port) +
          "/ ; from another computer add ?token=" + m.Token());
}

void CConsoleServer::Stop() {
    Impl& m = *impl_;
    if (!m.http) return;
    m.state.Stop();
    m.server.Operator().SetWatcher(nullptr, false);
    m.server.RequestObservers().Set(nullptr);
    // The library's stop() does nothing until its loop has begun, and the loop would then run
    // for ever: a stop right after the start (a daemon stopped at once) waits for the loop.
    while (!m.http->is_running() && !m.listenEnded)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    m.http->stop();
    if (m.thread.joinable()) m.thread.join();
    m.http.reset();
    m.port = -1;
}

bool CConsoleServer::Running() const {
    return impl_->http != nullptr;
}

int CConsoleServer::Port() const {
    return impl_->port;
}

CConsoleState& CConsoleServer::State() {
    return impl_->state;
}

}  // namespace kestrom
