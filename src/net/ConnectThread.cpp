#include "net/ConnectThread.h"

namespace kestrom {

CConnectThread::CConnectThread(asio::ip::tcp::socket socket, CConnectionShared& shared)
    : socket_(std::move(socket), shared), op_(shared.op) {}

CConnectThread::~CConnectThread() {
    Join();
}

bool CConnectThread::Start(int* error) {
    pthread_attr_t attr;
    int rc = pthread_attr_init(&attr);
    if (rc == 0) {
        pthread_attr_setstacksize(&attr, kConnectThreadStackBytes);
        rc = pthread_create(&thread_, &attr, &CConnectThread::ThreadMain, this);
        pthread_attr_destroy(&attr);
    }
    started_ = rc == 0;
    if (error) *error = rc;
    return started_;
}

void CConnectThread::Join() {
    if (!started_) return;
    pthread_join(thread_, nullptr);
    started_ = false;
}

void* CConnectThread::ThreadMain(void* self) {
    static_cast<CConnectThread*>(self)->Body();
    return nullptr;
}

void CConnectThread::Body() {
    op_.ConnectionOpened();
    socket_.Run();
    op_.ConnectionClosed();
    finished_.store(true, std::memory_order_release);
}

}  // namespace kestrom
