#include "platform/curl/curl_http_client.h"

#include <curl/curl.h>
#include <pthread.h>

#include <climits>

#include "platform/curl/curl_transfer.h"
#include "platform/log.h"

namespace tw {

namespace {

constexpr const char* kOff = "HTTP is off: libcurl could not start its transfer engine";

}  // namespace

CurlHttpClient::CurlHttpClient(MainQueue& mainQueue, CurlHttpOptions options)
    : main_(mainQueue), caFile_(std::move(options.caFile)) {
    curl_global_init(CURL_GLOBAL_DEFAULT);
    multi_ = options.makeMulti ? options.makeMulti() : curl_multi_init();
    if (!multi_) {
        // No worker: each request fails as it is sent.
        log::warning(std::string(kOff) + "; every request fails.");
        return;
    }
    thread_ = std::thread([this] {
        pthread_setname_np(pthread_self(), "tw-http");
        run();
    });
}

CurlHttpClient::~CurlHttpClient() {
    if (thread_.joinable()) {
        {
            std::lock_guard lock(mutex_);
            stopping_ = true;
        }
        curl_multi_wakeup(multi_);
        thread_.join();
    }
    // Closed under the server, never waited for; their completions go unrun, here on the
    // owner's thread rather than the worker's.
    for (auto& [easy, transfer] : active_) curl_multi_remove_handle(multi_, easy);
    active_.clear();
    queued_.clear();
    if (multi_) curl_multi_cleanup(multi_);
    curl_global_cleanup();
}

void CurlHttpClient::send(HttpRequest request, Completion completion) {
    auto transfer = std::make_unique<CurlTransfer>(std::move(request), std::move(completion), caFile_);
    if (transfer->setupError() || !multi_) {
        deliver(*transfer, CurlTransfer::failure(transfer->setupError().value_or(kOff)));
        return;
    }
    {
        std::lock_guard lock(mutex_);
        queued_.push_back(std::move(transfer));
    }
    curl_multi_wakeup(multi_);
}

void CurlHttpClient::deliver(CurlTransfer& transfer, HttpResponse response) {
    main_.post([completion = transfer.takeCompletion(), response = std::move(response)]() mutable {
        if (completion) completion(std::move(response));
    });
}

void CurlHttpClient::run() {
    for (;;) {
        std::vector<std::unique_ptr<CurlTransfer>> fresh;
        {
            std::lock_guard lock(mutex_);
            if (stopping_) return;
            fresh.swap(queued_);
        }
        for (auto& transfer : fresh) {
            CURL* easy = transfer->handle();
            if (curl_multi_add_handle(multi_, easy) == CURLM_OK) {
                active_.emplace(easy, std::move(transfer));
            } else {
                deliver(*transfer, CurlTransfer::failure("cannot start a request"));
            }
        }
        int running = 0;
        curl_multi_perform(multi_, &running);
        int left = 0;
        while (CURLMsg* message = curl_multi_info_read(multi_, &left)) {
            if (message->msg != CURLMSG_DONE) continue;
            CURL* easy = message->easy_handle;
            const CURLcode result = message->data.result;
            const auto found = active_.find(easy);
            curl_multi_remove_handle(multi_, easy);
            if (found == active_.end()) continue;
            deliver(*found->second, found->second->finish(result));
            active_.erase(found);
        }
        // Asleep until a socket is ready, a wake-up comes or a transfer's timer is due;
        // -1: no timer, as at rest.
        long due = -1;
        curl_multi_timeout(multi_, &due);
        curl_multi_poll(multi_, nullptr, 0, due < 0 || due > INT_MAX ? INT_MAX : static_cast<int>(due),
                        nullptr);
        ++wakeUps_;
    }
}

}  // namespace tw
