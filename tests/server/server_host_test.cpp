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
