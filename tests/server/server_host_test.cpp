// The start-up and shutdown path every front end shares.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "security/AccessListStorage.h"
#include "server/ServerHost.h"
#include "support/fakes.h"
#include "support/sandbox.h"

namespace kestrom::testing {
namespace {

CKestromCommandLineInfo ConfigIn(const CSandbox& folder) {
    CKestromCommandLineInfo info;
    info.configDir = folder.File("config");
    return info;
}

TEST(ServerHost, PrepareUsesTheConfigFolderWithoutChangingTheWorkingFolder) {
    CSandbox folder;
    const auto before = std::filesystem::current_path();
    const bool hadOneHere = std::filesystem::exists(before / "KestromMAC.dat");
    CRecordingOperator op;
    CKestromServer server(op);
    CServerHost host(server, ConfigIn(folder), folder.File(""));
    ASSERT_FALSE(host.PreviousInstanceRunning());
    const CHostPreparation found = host.Prepare();

    EXPECT_FALSE(found.configFolderUnusable);
    EXPECT_FALSE(found.accessListProblem.has_value());
    EXPECT_EQ(std::filesystem::current_path(), before);
    // The access list's storage file was created empty in the config folder, not here.
    EXPECT_TRUE(std::filesystem::exists(folder.File("config/KestromMAC.dat")));
    EXPECT_EQ(std::filesystem::exists(before / "KestromMAC.dat"), hadOneHere);
    EXPECT_EQ(host.Server().AccessList().StoragePath(),
              FromUtf8(folder.File("config/KestromMAC.dat")));
}

TEST(ServerHost, OverridesApplyAndShutdownSavesThemForTheNextStart) {
    CSandbox folder;
    CRecordingOperator op;
    CKestromServer server(op);
    {
        CKestromCommandLineInfo info = ConfigIn(folder);
        info.port = 2345;
        info.eventDir = FromUtf8(folder.File("meet"));
        CServerHost host(server, info, folder.File(""));
        host.Prepare();
        EXPECT_EQ(host.Server().Settings().Get().PortNumber, 2345);
        host.Shutdown();
        host.Shutdown();  // a second call does nothing
    }
    CKestromServer nextServer(op);
    CServerHost next(nextServer, ConfigIn(folder), folder.File(""));
    next.Prepare();
    EXPECT_EQ(next.Server().Settings().Get().PortNumber, 2345);
    EXPECT_EQ(next.Server().Settings().Get().EventDirectory, FromUtf8(folder.File("meet")));
}

TEST(ServerHost, AStartThatEndsEarlySavesNothing) {
    CSandbox folder;
    CRecordingOperator op;
    CKestromServer server(op);
    {
        CKestromCommandLineInfo info = ConfigIn(folder);
        info.port = 2345;
        CServerHost host(server, info, folder.File(""));
        host.Prepare();
        // Lost the race for the instance lock, say: the host goes without Shutdown.
    }
    CKestromServer nextServer(op);
    CServerHost next(nextServer, ConfigIn(folder), folder.File(""));
    next.Prepare();
    EXPECT_NE(next.Server().Settings().Get().PortNumber, 2345);
}

TEST(ServerHost, TheConsoleTokenIsMadeOnceKeptAndReplacedOnRequest) {
    CSandbox folder;
    CRecordingOperator op;
    auto tokenOf = [&](bool replace) {
        CKestromServer server(op);
        CKestromCommandLineInfo info = ConfigIn(folder);
        info.newConsoleToken = replace;
        CServerHost host(server, info, folder.File(""));
        host.Prepare();
        // No Shutdown: the token is stored as soon as it is made.
        return server.Settings().Get().ConsoleToken;
    };
    const std::u16string first = tokenOf(false);
    ASSERT_EQ(first.size(), 32u);
    EXPECT_EQ(first.find_first_not_of(u"0123456789abcdef"), std::u16string::npos);
    EXPECT_EQ(tokenOf(false), first);
    const std::u16string replaced = tokenOf(true);
    EXPECT_NE(replaced, first);
    EXPECT_EQ(tokenOf(false), replaced);
    EXPECT_NE(NewConsoleToken(), NewConsoleToken());
}

// Services run from the listener's start to the shutdown, stopped before the listener.
TEST(ServerHost, ServicesStartAfterListeningAndStopAtShutdown) {
    struct CRecordingService : CHostService {
        CKestromServer* server = nullptr;
        bool listeningAtStart = false;
        bool listeningAtStop = false;
        int starts = 0, stops = 0;
        void Start() override {
            ++starts;
            listeningAtStart = server->IsListening();
        }
        void Stop() override {
            ++stops;
            listeningAtStop = server->IsListening();
        }
    };
    CSandbox folder;
    CRecordingOperator op;
    CKestromServer server(op);
    CServerHost host(server, ConfigIn(folder), folder.File(""));
    host.Prepare();
    // The system's pick: nothing else is disturbed.
    server.Settings().Update([](CKestromSettings& s) { s.PortNumber = 0; });
    CRecordingService service;
    service.server = &server;
    host.AddService(service);
    host.StartListening();
    EXPECT_EQ(service.starts, 1);
    EXPECT_TRUE(service.listeningAtStart);
    host.Shutdown();
    host.Shutdown();
    EXPECT_EQ(service.stops, 1);
    EXPECT_TRUE(service.listeningAtStop);
}

TEST(ServerHost, ASecondHostSeesTheFirstAsRunning) {
    CSandbox folder;
    CRecordingOperator op;
    CKestromServer server(op);
    CServerHost first(server, ConfigIn(folder), folder.File(""));
    ASSERT_FALSE(first.PreviousInstanceRunning());
    first.Prepare();
    ASSERT_TRUE(first.Register([] {}));

    CKestromServer secondServer(op);
    CServerHost second(secondServer, ConfigIn(folder), folder.File(""));
    EXPECT_TRUE(second.PreviousInstanceRunning());
    EXPECT_FALSE(second.Register([] {}));
}

TEST(ServerHost, AnUnreadableAccessListIsReportedAndTheRunGoesOn) {
    CSandbox folder;
    std::filesystem::create_directories(folder.File("config"));
    folder.Put("config/KestromMAC.dat", std::string(1, '\x05'));  // a count cut short
    CRecordingOperator op;
    CKestromServer server(op);
    CServerHost host(server, ConfigIn(folder), folder.File(""));
    const CHostPreparation found = host.Prepare();
    ASSERT_TRUE(found.accessListProblem.has_value());
    EXPECT_EQ(found.accessListProblem->Detail(), kStorageCannotProcessText);
}

}  // namespace
}  // namespace kestrom::testing
