#include "net/ConnectThread.h"

namespace kestrom {

CConnectThread::CConnectThread(asio::ip::tcp::socket socket, CRequestContext& requestContext,
                               CAdmissionContext& admissionContext)
    : socket_(std::move(socket), requestContext, admissionContext), op_(requestContext.op) {}

CConnectThread::~CConnectThread() {
    Join();
}

bool CConnectThread::Start() {
    pthread_attr_t attr;
    if (pthread_attr_init(&attr) != 0) return false;
    pthread_attr_setstacksize(&attr, kConnectThreadStackBytes);
    started_ = pthread_create(&thread_, &attr, &CConnectThread::ThreadMain, this) == 0;
    pthread_attr_destroy(&attr);
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
