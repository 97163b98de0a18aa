// The console's HTTP handlers on a real loopback socket, with loopback treated as any other
// address so that the token is needed: access, changes, bad requests, file names in URLs and
// the escaping of what devices send.
#include <gtest/gtest.h>
#include <httplib.h>

#include <asio.hpp>
#include <chrono>
#include <filesystem>
#include <thread>

#include "base/TextConvert.h"
#include "console/ConsoleServer.h"
#include "protocol/FileHistory.h"
#include "support/fakes.h"
#include "support/sandbox.h"
#include "support/wait.h"

namespace kestrom {
namespace {

using namespace std::chrono_literals;

constexpr char kToken[] = "0123456789abcdef0123456789abcdef";
constexpr auto kDelay = 200ms;

class ConsoleHttp : public ::testing::Test {
  protected:
    ConsoleHttp() {
        meet_ = sandbox_.MakeMeet();
        server_.Settings().Update([&](CKestromSettings& s) {
            s.LogEvents = true;
            s.EventDirectory = FromUtf8(meet_);
            s.ResultsDirectory = FromUtf8(meet_ + "/results");
            s.ConsoleToken = FromUtf8(kToken);
        });
        server_.AccessList().SetStoragePath(sandbox_.Wide("KestromMAC.dat"));
        CConsoleOptions options;
        options.trustLoopback = false;
        options.wrongTokenDelay = kDelay;
        options.answersPrompts = true;
        options.anyPort = true;
        console_ = std::make_unique<CConsoleServer>(server_, options);
        console_->Start();
    }
    ~ConsoleHttp() override { console_->Stop(); }

    std::string Origin() const { return "http://127.0.0.1:" + std::to_string(console_->Port()); }

    httplib::Client Client() const {
        httplib::Client c("127.0.0.1", console_->Port());
        c.set_read_timeout(5, 0);
        return c;
    }

    // A browser that has shown the token once: its cookie, and Origin on its posts.
    httplib::Headers Browser(bool sameOrigin = true) const {
        return {{"Cookie", std::string("kestrom_console=") + kToken},
                {"Origin", sameOrigin ? Origin() : std::string("http://evil.example")}};
    }

    httplib::Result Post(const std::string& path, const std::string& form,
                         const httplib::Headers& headers) {
        return Client().Post(path.c_str(), headers, form, "application/x-www-form-urlencoded");
    }

    std::string Form(const std::string& rest) const {
        return std::string("csrf=") + kToken + (rest.empty() ? "" : "&" + rest);
    }

    bool Logged(const std::string& part) const {
        for (const auto& text : op_.Texts())
            if (ToUtf8(text).find(part) != std::string::npos) return true;
        return false;
    }

    testing::CSandbox sandbox_;
    std::string meet_;
    testing::CRecordingOperator op_;
    CKestromServer server_{op_};
    std::unique_ptr<CConsoleServer> console_;
};

TEST_F(ConsoleHttp, AStopRightAfterTheStartEndsTheConsole) {
    // A daemon stopped the moment it has started: the listening loop may not have begun when
    // the stop comes, and a stop that is lost there would leave the process waiting for ever.
    for (int round = 0; round < 50; ++round) {
        console_->Stop();
        EXPECT_FALSE(console_->Running());
        console_->Start();
        ASSERT_TRUE(console_->Running());
    }
    const auto page = Client().Get("/", Browser());
    ASSERT_TRUE(page);
    EXPECT_EQ(page->status, 200);
}

TEST_F(ConsoleHttp, ASecondServerCannotTakeTheConsolesPort) {
    // Another server started on the same machine with the same console port: it reports that
    // its console did not start, and this one keeps the port (Linux SO_REUSEPORT or Windows
    // SO_REUSEADDR would let the second bind and take requests meant for the first; Wine
    // refuses such a second bind whatever the options, so there only Linux shows it).
    testing::CRecordingOperator otherOp;
    CKestromServer other{otherOp};
    other.Settings().Update([&](CKestromSettings& s) { s.ConsolePort = console_->Port(); });
    CConsoleServer second(other);
    second.Start();
    EXPECT_FALSE(second.Running());
    bool reported = false;
    for (const auto& text : otherOp.Texts())
        reported = reported || ToUtf8(text) == "UNABLE TO START THE CONSOLE ON 127.0.0.1 PORT " +
                                                   std::to_string(console_->Port());
    EXPECT_TRUE(reported);
    for (int i = 0; i < 5; ++i) {
        const auto page = Client().Get("/", Browser());
        ASSERT_TRUE(page);
        EXPECT_EQ(page->status, 200);
    }
}

TEST_F(ConsoleHttp, PagesNeedTheTokenAndAWrongOneIsRefusedSlowlyWithALogLine) {
    ASSERT_TRUE(console_->Running());
    auto c = Client();
    for (const char* path :
         {"/", "/devices", "/uploads", "/history", "/access", "/api/devices", "/events"}) {
        SCOPED_TRACE(path);
        auto none = c.Get(path);
        ASSERT_TRUE(none);
        EXPECT_EQ(none->status, 403);
    }
    EXPECT_TRUE(Logged("this console needs its token"));

    const auto start = std::chrono::steady_clock::now();
    auto wrong = c.Get("/?token=0123456789abcdef0123456789abcdee");
    ASSERT_TRUE(wrong);
    EXPECT_EQ(wrong->status, 403);
    EXPECT_GE(std::chrono::steady_clock::now() - start, kDelay);
    EXPECT_TRUE(Logged("wrong token"));

    auto badCookie = c.Get("/", {{"Cookie", "kestrom_console=guess"}});
    ASSERT_TRUE(badCookie);
    EXPECT_EQ(badCookie->status, 403);
}

TEST_F(ConsoleHttp, TheTokenInTheUrlBecomesAStrictHttpOnlyCookie) {
    auto c = Client();
    auto first = c.Get((std::string("/devices?token=") + kToken).c_str());
    ASSERT_TRUE(first);
    EXPECT_EQ(first->status, 303);
    EXPECT_EQ(first->get_header_value("Location"), "/devices");
    const std::string cookie = first->get_header_value("Set-Cookie");
    EXPECT_NE(cookie.find(std::string("kestrom_console=") + kToken), std::string::npos);
    EXPECT_NE(cookie.find("HttpOnly"), std::string::npos);
    EXPECT_NE(cookie.find("SameSite=Strict"), std::string::npos);

    auto page = c.Get("/devices", Browser());
    ASSERT_TRUE(page);
    EXPECT_EQ(page->status, 200);
    EXPECT_NE(page->body.find("<table id=devices>"), std::string::npos);
}

TEST_F(ConsoleHttp, ChangesNeedPostFromTheSameOriginWithTheFormToken) {
    server_.Operator().AddLogLine(u"a failure", LogLevel::kError);
    ASSERT_EQ(console_->State().Errors(), 1);

    auto get = Client().Get("/errors/clear", Browser());
    ASSERT_TRUE(get);
    EXPECT_EQ(get->status, 405);

    auto foreign = Post("/errors/clear", Form(""), Browser(false));
    ASSERT_TRUE(foreign);
    EXPECT_EQ(foreign->status, 403);
    EXPECT_TRUE(Logged("request from another origin"));

    // No Origin and no Referer: a browser always sends one of them on a form post.
    auto anonymous =
        Post("/errors/clear", Form(""), {{"Cookie", std::string("kestrom_console=") + kToken}});
    ASSERT_TRUE(anonymous);
    EXPECT_EQ(anonymous->status, 403);

    auto noFormToken = Post("/errors/clear", "", Browser());
    ASSERT_TRUE(noFormToken);
    EXPECT_EQ(noFormToken->status, 403);
    EXPECT_EQ(console_->State().Errors(), 1);

    auto cleared = Post("/errors/clear", Form(""), Browser());
    ASSERT_TRUE(cleared);
    EXPECT_EQ(cleared->status, 303);
    EXPECT_EQ(console_->State().Errors(), 0);
}

TEST_F(ConsoleHttp, OversizedAndMalformedRequestsAreRefused) {
    auto big = Post("/access/add", Form("name=" + std::string(100 * 1024, 'x')), Browser());
    ASSERT_TRUE(big);
    EXPECT_EQ(big->status, 413);
    EXPECT_EQ(server_.AccessList().Size(), 0u);

    auto put = Client().Put("/access/add", Browser(), Form(""), "text/plain");
    ASSERT_TRUE(put);
    EXPECT_NE(put->status, 200);

    for (const std::string& raw :
         {std::string("GARBAGE\r\n\r\n"), std::string("GET / HTTP/1.1\r\nHost\r\n\r\n"),
          "GET /" + std::string(20000, 'a') + " HTTP/1.1\r\n\r\n"}) {
        asio::io_context io;
        asio::ip::tcp::socket socket(io);
        socket.connect(
            {asio::ip::make_address("127.0.0.1"), static_cast<unsigned short>(console_->Port())});
        asio::write(socket, asio::buffer(raw));
        std::string reply(64, '\0');
        asio::error_code ec;
        const size_t n = socket.read_some(asio::buffer(reply), ec);
        reply.resize(n);
        EXPECT_EQ(reply.rfind("HTTP/1.1 4", 0), 0u) << reply;
    }
    // Still serving.
    auto page = Client().Get("/", Browser());
    ASSERT_TRUE(page);
    EXPECT_EQ(page->status, 200);
}

TEST_F(ConsoleHttp, NoUrlThatNamesAFileReachesOutsideTheMeetFolders) {
    sandbox_.Put("secret.txt", "secret");
    const std::string results = meet_ + "/results/";
    std::filesystem::create_directories(results + ".kestrom-history/001-1-01.qff");
    testing::WriteText(results + "001-1-01.qff", "1,1,1\r\n");
    ASSERT_TRUE(server_.History().Keep(FromUtf8(results + "001-1-01.qff"), u"10.0.0.9"));

    const std::vector<std::string> names = {"..%2F..%2Fsecret.txt",
                                            "../../secret.txt",
                                            "%2Fetc%2Fpasswd",
                                            ".kestrom-history",
                                            "..",
                                            "001-1-01.qff%00",
                                            "001-1-01.qff%2F..%2F..%2F..%2Fsecret.txt"};
    for (const auto& name : names) {
        SCOPED_TRACE(name);
        for (const std::string& path :
             {"/history/file?dir=results&file=" + name,
              "/history/compare?dir=results&a=current&b=current&file=" + name,
              "/history/compare?dir=results&file=001-1-01.qff&a=current&b=" + name}) {
            auto page = Client().Get(path.c_str(), Browser());
            ASSERT_TRUE(page);
            EXPECT_EQ(page->status, 400) << path;
            EXPECT_EQ(page->body.find("secret"), std::string::npos);
        }
        auto restore = Post("/history/restore", Form("dir=results&version=0000000001&file=" + name),
                            Browser());
        ASSERT_TRUE(restore);
        EXPECT_EQ(restore->status, 400);
    }
    for (const char* dir : {"..", "%2Ftmp", "results%2F.."}) {
        auto page = Client().Get(
            (std::string("/history/file?file=001-1-01.qff&dir=") + dir).c_str(), Browser());
        ASSERT_TRUE(page);
        EXPECT_EQ(page->status, 400);
    }
    auto version =
        Post("/history/restore", Form("dir=results&file=001-1-01.qff&version=..%2F..%2Fsecret.txt"),
             Browser());
    ASSERT_TRUE(version);
    EXPECT_EQ(version->status, 404);
    EXPECT_EQ(sandbox_.Get("meet/results/001-1-01.qff"), "1,1,1\r\n");

    auto fine = Client().Get("/history/file?dir=results&file=001-1-01.qff", Browser());
    ASSERT_TRUE(fine);
    EXPECT_EQ(fine->status, 200);
    EXPECT_NE(fine->body.find("restore-0000000001"), std::string::npos);
}

TEST_F(ConsoleHttp, TextFromDevicesIsEscapedOnEveryPage) {
    const std::string script = "<script>alert(1)</script>";
    CUploadRecord upload;
    upload.when = std::time(nullptr);
    upload.ip = u"10.0.0.7";
    upload.mac = FromUtf8("\"><img src=x onerror=alert(2)>");
    upload.file = FromUtf8(script + ".qff");
    upload.outcome = u"ROK";
    console_->State().OnUpload(upload);
    console_->State().OnMessage(u"10.0.0.7", upload.mac, RequestKind::kResultsUpload, false);
    const std::string results = meet_ + "/results/";
    testing::WriteText(results + "002-1-01.qff", "2,1,1," + script + "\r\n");
    ASSERT_TRUE(server_.History().Keep(FromUtf8(results + "002-1-01.qff"), u"10.0.0.7"));

    for (const char* path : {"/uploads", "/devices",
                             "/history/compare?dir=results&file=002-1-01.qff&a=current&b="
                             "0000000001"}) {
        SCOPED_TRACE(path);
        auto page = Client().Get(path, Browser());
        ASSERT_TRUE(page);
        ASSERT_EQ(page->status, 200);
        EXPECT_EQ(page->body.find("<script>alert"), std::string::npos);
        EXPECT_EQ(page->body.find("<img"), std::string::npos);
        EXPECT_NE(page->body.find("&lt;"), std::string::npos);
    }
    auto json = Client().Get("/api/devices", Browser());
    ASSERT_TRUE(json);
    EXPECT_EQ(json->body.find("<img"), std::string::npos);
}

TEST_F(ConsoleHttp, TheLogStreamsNewLinesToAnOpenPage) {
    server_.Operator().AddLogLine(u"before the page", LogLevel::kInfo);
    std::string received;
    std::thread reader([&] {
        Client().Get("/events", Browser(), [&](const char* data, size_t n) {
            received.append(data, n);
            return received.find("after the page <b>") == std::string::npos;
        });
    });
    ASSERT_TRUE(testing::WaitUntil([&] { return console_->State().LastSeq() >= 1; }, 5s));
    std::this_thread::yield();
    server_.Operator().AddLogLine(u"after the page <b>", LogLevel::kInfo);
    reader.join();
    EXPECT_NE(received.find("   before the page\n"), std::string::npos);
    EXPECT_NE(received.find("data: "), std::string::npos);
    EXPECT_LT(received.find("before the page"), received.find("after the page"));
}

TEST_F(ConsoleHttp, APromptWaitsForTheAnswerGivenInTheBrowser) {
    CAccessControlItem entry;
    SplitMacText(u"00:11:22:AA:BB:CC", entry);
    bool added = false;
    std::thread connection([&] { added = server_.Operator().PromptAddClient(entry); });
    ASSERT_TRUE(testing::WaitUntil([&] { return !console_->State().Prompts().empty(); }, 5s));
    auto page = Client().Get("/access", Browser());
    ASSERT_TRUE(page);
    EXPECT_NE(page->body.find("Do you wish to add this MAC Address?"), std::string::npos);
    const std::string id = std::to_string(console_->State().Prompts().front().id);

    auto bad =
        Post("/prompt/answer", Form("id=" + id + "&answer=yes&b1=0-&b2=11&b3=22&b4=AA&b5=BB&b6=CC"),
             Browser());
    ASSERT_TRUE(bad);
    EXPECT_NE(bad->body.find("Valid characters are 0-9, A-Z"), std::string::npos);
    EXPECT_EQ(console_->State().Prompts().size(), 1u);

    auto ok = Post("/prompt/answer",
                   Form("id=" + id +
                        "&answer=yes&b1=00&b2=11&b3=22&b4=aa&b5=BB&b6=CC&name=Pit+1&enabled=1&"
                        "fieldorvo=1"),
                   Browser());
    ASSERT_TRUE(ok);
    connection.join();
    EXPECT_TRUE(added);
    EXPECT_EQ(entry.GetMacText(), u"00:11:22:AA:BB:CC");
    EXPECT_EQ(entry.name, u"Pit 1");
    EXPECT_EQ(entry.enabled, 1);
    EXPECT_EQ(entry.allowFieldOrvo, 1);
    EXPECT_EQ(entry.allowWenlow, 0);

    console_->State().SetPromptSeconds(1);
    EXPECT_FALSE(server_.Operator().PromptAddClient(entry));
}

TEST_F(ConsoleHttp, TheAccessListIsEditedWithTheEditorsTexts) {
    const std::string mac = "b1=00&b2=11&b3=22&b4=33&b5=44&b6=55";
    auto added = Post("/access/add", Form(mac + "&name=Clerk&enabled=1&clerkorvo=1"), Browser());
    ASSERT_TRUE(added);
    EXPECT_EQ(added->status, 200);
    ASSERT_EQ(server_.AccessList().Size(), 1u);
    EXPECT_TRUE(std::filesystem::exists(sandbox_.File("KestromMAC.dat")));

    auto again = Post("/access/add", Form("b1=00&b2=11&b3=22&b4=33&b5=44&b6=55"), Browser());
    ASSERT_TRUE(again);
    EXPECT_NE(again->body.find("A client with that MAC address already exists."),
              std::string::npos);
    auto short_ = Post("/access/add", Form("b1=0&b2=11&b3=22&b4=33&b5=44&b6=56"), Browser());
    ASSERT_TRUE(short_);
    EXPECT_NE(short_->body.find("You have entered an incomplete MAC address.  The MAC Address "
                                "must be 12 bytes long."),
              std::string::npos);
    auto none = Post("/access/edit", Form("op=update"), Browser());
    ASSERT_TRUE(none);
    EXPECT_NE(none->body.find("Please select an item"), std::string::npos);

    auto updated = Post("/access/update",
                        Form("sel=0&" + mac + "&name=Clerk+2&enabled=0&clerkorvo=1"), Browser());
    ASSERT_TRUE(updated);
    EXPECT_EQ(server_.AccessList().Snapshot().front().name, u"Clerk 2");
    EXPECT_EQ(server_.AccessList().Snapshot().front().enabled, 0);

    auto deleted = Post("/access/edit", Form("op=delete&sel=0"), Browser());
    ASSERT_TRUE(deleted);
    EXPECT_EQ(server_.AccessList().Size(), 0u);
}

}  // namespace
}  // namespace kestrom
