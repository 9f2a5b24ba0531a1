#include "platform/qt/qt_http_client.h"

#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>
#include <QUrl>
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/qt/qt_http_worker.h"
#include "platform/url_user_info.h"

namespace tw {

QNetworkAccessManager* QtHttpWorker::manager() {
    if (!manager_) manager_ = new QNetworkAccessManager(this);
    return manager_;
}

void QtHttpWorker::start(const HttpRequest& request, Deliver deliver) {
    const QUrl url(QString::fromStdString(request.url));
    if (!url.isValid() || url.scheme().isEmpty()) {
        HttpResponse response;
        response.error = "invalid URL: " + withoutUserInfo(request.url);
        deliver(std::move(response));
        return;
    }
    QNetworkRequest qrequest(url);
    qrequest.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                          QNetworkRequest::NoLessSafeRedirectPolicy);
    for (const auto& [name, value] : request.headers) {
        qrequest.setRawHeader(QByteArray::fromStdString(name), QByteArray::fromStdString(value));
    }
    const QByteArray body = QByteArray::fromStdString(request.body);
    QNetworkReply* reply = nullptr;
    if (request.method == "GET") {
        reply = manager()->get(qrequest);
    } else if (request.method == "POST") {
        reply = manager()->post(qrequest, body);
    } else {
        reply = manager()->sendCustomRequest(qrequest, QByteArray::fromStdString(request.method), body);
    }

    // A whole-request deadline: a server that accepts and then never answers is cut off.
    auto timedOut = std::make_shared<bool>(false);
    auto* deadline = new QTimer(reply);
    deadline->setSingleShot(true);
    const double seconds =
        std::isfinite(request.timeoutSeconds) && request.timeoutSeconds > 0 ? request.timeoutSeconds : 30.0;
    deadline->setInterval(static_cast<int>(std::min(seconds * 1000.0, 2.0e9)));
    QObject::connect(deadline, &QTimer::timeout, reply, [reply, timedOut]() {
        *timedOut = true;
        reply->abort();
    });
    deadline->start();

    // A size limit holds while the answer arrives, not after all of it is in memory.
    // The reply holds at most one byte past it, so Qt's network thread stops taking
    // from the socket there; each chunk is checked as it comes (progress signals come
    // at most every 100 ms, by when a fast server has sent a hundred megabytes), and
    // so is the announced length.
    auto tooLarge = std::make_shared<bool>(false);
    if (request.maxResponseBytes > 0) {
        // One below the largest size, so that the read buffer's extra byte still fits.
        const qint64 limit =
            static_cast<qint64>(std::min<std::size_t>(request.maxResponseBytes, INT64_MAX - 1));
        auto check = [reply, tooLarge, limit]() {
            const QVariant announced = reply->header(QNetworkRequest::ContentLengthHeader);
            if (*tooLarge || (reply->bytesAvailable() <= limit && announced.toLongLong() <= limit)) return;
            *tooLarge = true;
            reply->abort();
        };
        reply->setReadBufferSize(limit + 1);
        QObject::connect(reply, &QNetworkReply::metaDataChanged, reply, check);
        QObject::connect(reply, &QNetworkReply::readyRead, reply, check);
    }

    const std::size_t maxBytes = request.maxResponseBytes;
    QObject::connect(reply, &QNetworkReply::finished, this, [reply, timedOut, tooLarge, maxBytes, deliver]() {
        HttpResponse response;
        if (*tooLarge) {
            response.error = "answer larger than " + std::to_string(maxBytes) + " bytes";
            reply->deleteLater();
            deliver(std::move(response));
            return;
        }
        const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
        if (status.isValid()) response.status = status.toInt();
        for (const auto& pair : reply->rawHeaderPairs()) {
            response.headers[pair.first.toLower().toStdString()] = pair.second.toStdString();
        }
        if (reply->isOpen()) response.body = reply->readAll().toStdString();
        if (*timedOut) {
            response.timedOut = true;
            response.error = "timed out";
        } else if (reply->error() != QNetworkReply::NoError && !status.isValid()) {
            response.error = reply->errorString().toStdString();
        }
        reply->deleteLater();
        deliver(std::move(response));
    });
}

void QtHttpWorker::abortAll() {
    if (!manager_) return;
    for (auto* reply : manager_->findChildren<QNetworkReply*>()) reply->abort();
}

QtHttpClient::QtHttpClient(MainQueue& mainQueue) : main_(mainQueue), worker_(new QtHttpWorker) {
    thread_.setObjectName("tw-http");
    worker_->moveToThread(&thread_);
    QObject::connect(&thread_, &QThread::finished, worker_, &QObject::deleteLater);
    thread_.start();
}

QtHttpClient::~QtHttpClient() {
    QMetaObject::invokeMethod(
        worker_, [worker = worker_]() { worker->abortAll(); }, Qt::BlockingQueuedConnection);
    thread_.quit();
    thread_.wait();
}

void QtHttpClient::send(HttpRequest request, Completion completion) {
    auto once = std::make_shared<Completion>(std::move(completion));
    MainQueue* main = &main_;
    QMetaObject::invokeMethod(
        worker_,
        [worker = worker_, request = std::move(request), once, main]() {
            worker->start(request, [once, main](HttpResponse response) {
                if (!*once) return;
                auto completion = std::move(*once);
                *once = nullptr;
                main->post([completion = std::move(completion), response = std::move(response)]() mutable {
                    completion(std::move(response));
                });
            });
        },
        Qt::QueuedConnection);
}

}  // namespace tw
