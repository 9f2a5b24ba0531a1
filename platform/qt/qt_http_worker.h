#pragma once
#include <QNetworkAccessManager>
#include <QObject>
#include <functional>

#include "platform/http_client.h"

namespace tw {

// Owns the network access manager; every method runs on the client's thread.
class QtHttpWorker final : public QObject {
    Q_OBJECT
   public:
    using Deliver = std::function<void(HttpResponse)>;
    void start(const HttpRequest& request, Deliver deliver);
    void abortAll();

   private:
    QNetworkAccessManager* manager();
    QNetworkAccessManager* manager_ = nullptr;
};

}  // namespace tw
