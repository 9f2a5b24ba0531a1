#pragma once
// HTTP on libcurl's multi interface, on one thread of its own so slow servers never stall
// a frame. Unpacking, redirects, time-outs and header limits are the library's; the
// completion is posted to the main queue exactly once, unless the client goes first.
#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/http_client.h"
#include "platform/main_queue.h"

namespace tw {

class CurlTransfer;

struct CurlHttpOptions {
    // A PEM file of the authorities https servers are checked against; empty: the system's.
    std::string caFile;
    // Makes the libcurl multi handle (a CURLM*); empty: curl_multi_init. Tests make one that fails.
    std::function<void*()> makeMulti;
};

class CurlHttpClient final : public HttpClient {
   public:
    explicit CurlHttpClient(MainQueue& mainQueue, CurlHttpOptions options = {});
    // Never waits on the network: what is in flight is dropped, its completion never run
    // (in the app the main queue it would be posted to is ending too). What was answered
    // before is already posted.
    ~CurlHttpClient() override;
    CurlHttpClient(const CurlHttpClient&) = delete;
    CurlHttpClient& operator=(const CurlHttpClient&) = delete;

    void send(HttpRequest request, Completion completion) override;

    // How often the worker has woken from its wait: at rest it sleeps until a request comes.
    std::uint64_t wakeUpsForTesting() const { return wakeUps_; }

   private:
    void run();
    void deliver(CurlTransfer& transfer, HttpResponse response);

    MainQueue& main_;
    const std::string caFile_;
    void* multi_;  // CURLM*, touched by the worker thread only, but for its wake-up; null: HTTP is off
    std::mutex mutex_;
    std::vector<std::unique_ptr<CurlTransfer>> queued_;      // under mutex_
    bool stopping_ = false;                                  // under mutex_
    std::map<void*, std::unique_ptr<CurlTransfer>> active_;  // by easy handle; the worker's until it ends
    std::atomic<std::uint64_t> wakeUps_{0};
    std::thread thread_;
};

}  // namespace tw
