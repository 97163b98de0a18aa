#pragma once
// The operator console: the server's status, devices, uploads, file history and access list
// in any browser, over HTTP on its own port. Every front end runs it through CServerHost.
// Loopback is open; any other address shows the console's token once in the URL and then
// carries it in a cookie. Whatever changes something is a POST from the console's own pages.
#include <chrono>
#include <cstddef>
#include <memory>

#include "console/ConsoleState.h"
#include "server/Server.h"
#include "server/ServerHost.h"

namespace kestrom {

struct CConsoleOptions {
    // Off in tests of the token: loopback is then treated like any other address.
    bool trustLoopback = true;
    // Each wrong token waits this long, one at a time, so guessing stays slow.
    std::chrono::milliseconds wrongTokenDelay{1000};
    std::size_t maxBodyBytes = 64 * 1024;
    // Where no window can ask the operator (kestromd), prompts for unknown clients are put
    // to the console.
    bool answersPrompts = false;
    // Tests: the system picks the port instead of the settings.
    bool anyPort = false;
};

class CConsoleServer : public CHostService {
  public:
    CConsoleServer(CKestromServer& server, CConsoleOptions options = {});
    ~CConsoleServer() override;
    CConsoleServer(const CConsoleServer&) = delete;
    CConsoleServer& operator=(const CConsoleServer&) = delete;

    // Listens on the settings' ConsoleAddress and ConsolePort (nothing when the port is 0)
    // and announces it in the event log with the token; a failure is an error line.
    void Start() override;
    // Refuses the prompts still waiting, ends every page stream and joins the threads.
    void Stop() override;

    bool Running() const;
    // The port bound, or -1.
    int Port() const;
    CConsoleState& State();

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace kestrom
