#pragma once
// HTTP on libcurl's multi interface, on one thread of its own so slow servers never stall
// a frame. Unpacking, redirects, time-outs and header limits are the library's; the
// completion is posted to the main queue exactly once.
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/http_client.h"
#include "platform/main_queue.h"

namespace tw {

class CurlTransfer;

class CurlHttpClient final : public HttpClient {
   public:
    explicit CurlHttpClient(MainQueue& mainQueue);
    // Ends what is in flight at once, each with an error; never waits on the network.
    ~CurlHttpClient() override;
    CurlHttpClient(const CurlHttpClient&) = delete;
    CurlHttpClient& operator=(const CurlHttpClient&) = delete;

    void send(HttpRequest request, Completion completion) override;

   private:
    void run();
    void deliver(CurlTransfer& transfer, HttpResponse response);

    MainQueue& main_;
    void* multi_;  // CURLM*, touched by the worker thread only, but for its wake-up
    std::mutex mutex_;
    std::vector<std::unique_ptr<CurlTransfer>> queued_;  // under mutex_
    bool stopping_ = false;                              // under mutex_
    std::thread thread_;
};

}  // namespace tw
