#include "platform/curl/curl_http_client.h"

#include <curl/curl.h>
#include <pthread.h>

#include <map>

#include "platform/curl/curl_transfer.h"

namespace tw {

namespace {

// How long the worker sleeps at most when nothing happens; a wake-up ends it at once.
constexpr int kIdlePollMilliseconds = 1000;

}  // namespace

CurlHttpClient::CurlHttpClient(MainQueue& mainQueue) : main_(mainQueue) {
    curl_global_init(CURL_GLOBAL_DEFAULT);
    multi_ = curl_multi_init();
    thread_ = std::thread([this] {
        pthread_setname_np(pthread_self(), "tw-http");
        run();
    });
}

CurlHttpClient::~CurlHttpClient() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    curl_multi_wakeup(multi_);
    thread_.join();
    curl_multi_cleanup(multi_);
    curl_global_cleanup();
}

void CurlHttpClient::send(HttpRequest request, Completion completion) {
    auto transfer = std::make_unique<CurlTransfer>(std::move(request), std::move(completion));
    if (transfer->setupError()) {
        deliver(*transfer, CurlTransfer::failure(*transfer->setupError()));
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
    std::map<CURL*, std::unique_ptr<CurlTransfer>> active;
    for (;;) {
        std::vector<std::unique_ptr<CurlTransfer>> fresh;
        bool stopping = false;
        {
            std::lock_guard lock(mutex_);
            fresh.swap(queued_);
            stopping = stopping_;
        }
        for (auto& transfer : fresh) {
            CURL* easy = transfer->handle();
            if (curl_multi_add_handle(multi_, easy) == CURLM_OK) {
                active.emplace(easy, std::move(transfer));
            } else {
                deliver(*transfer, CurlTransfer::failure("cannot start a request"));
            }
        }
        if (stopping) break;
        int running = 0;
        curl_multi_perform(multi_, &running);
        int left = 0;
        while (CURLMsg* message = curl_multi_info_read(multi_, &left)) {
            if (message->msg != CURLMSG_DONE) continue;
            CURL* easy = message->easy_handle;
            const CURLcode result = message->data.result;
            const auto found = active.find(easy);
            curl_multi_remove_handle(multi_, easy);
            if (found == active.end()) continue;
            deliver(*found->second, found->second->finish(result));
            active.erase(found);
        }
        curl_multi_poll(multi_, nullptr, 0, kIdlePollMilliseconds, nullptr);
    }
    // A quit: what is in flight ends now, its connection closed under it.
    for (auto& [easy, transfer] : active) {
        curl_multi_remove_handle(multi_, easy);
        deliver(*transfer, CurlTransfer::failure("cancelled: the HTTP client was closed"));
    }
}

}  // namespace tw
