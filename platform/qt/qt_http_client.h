#pragma once
// HTTP on Qt Network, on a thread of its own so slow servers never stall a frame.
// Every request gets a whole-request time-out; the completion is posted to the
// main queue exactly once.
#include <QObject>
#include <QThread>
#include <memory>

#include "platform/http_client.h"
#include "platform/main_queue.h"

namespace tw {

class QtHttpWorker;

class QtHttpClient final : public HttpClient {
   public:
    explicit QtHttpClient(MainQueue& mainQueue);
    ~QtHttpClient() override;  // aborts what is in flight; their completions report an error

    void send(HttpRequest request, Completion completion) override;

   private:
    MainQueue& main_;
    QThread thread_;
    QtHttpWorker* worker_;  // lives on thread_, deleted there
};

}  // namespace tw
