#include "platform/qt/qt_http_client.h"

#include <QHostAddress>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>
#include <QUrl>
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "platform/qt/content_decoder.h"
#include "platform/qt/flooded_connections.h"
#include "platform/qt/qt_http_worker.h"
#include "platform/url_user_info.h"

namespace tw {

namespace {

// Qt's network thread holds at most this much of an answer the worker has not taken yet.
constexpr qint64 kReadBufferBytes = 1 << 20;

struct Progress {
    bool timedOut = false;
    bool tooLarge = false;
    bool undecodable = false;
    bool unpacks = false;     // the encodings were asked for here, so the body is unpacked here
    bool hasHeaders = false;  // the answer's headers are in and its decoder chosen
    std::unique_ptr<ContentDecoder> decoder;
    qint64 rawBytes = 0;  // as they arrived, before unpacking
    QByteArray body;
};

// Qt reports an HTTP error status as an error too; such a reply is still an answer. (A
// body that does not unpack is an "unknown content" error as well, under any status.)
bool isStatusError(QNetworkReply::NetworkError error) {
    using E = QNetworkReply::NetworkError;
    return (error >= E::ContentAccessDenied && error <= E::UnknownContentError) ||
           (error >= E::InternalServerError && error <= E::UnknownServerError) ||
           error == E::ProtocolInvalidOperationError || error == E::ProxyAuthenticationRequiredError;
}

// Qt's error texts may quote the URL, user information and all.
std::string errorTextOf(const QNetworkReply& reply, const std::string& url) {
    QString text = reply.errorString();
    const QString shown = QString::fromStdString(withoutUserInfo(url));
    for (const QString& written :
         {QString::fromStdString(url), reply.url().toString(), reply.url().toString(QUrl::FullyEncoded)}) {
        if (!written.isEmpty()) text.replace(written, shown);
    }
    return text.toStdString();
}

// How many bytes short of its announced length a body came, where that length counts the
// bytes as they arrived (not unpacked by Qt) and a body was due.
std::optional<qint64> bytesMissing(const QNetworkReply& reply, const Progress& progress) {
    const QVariant announced = reply.header(QNetworkRequest::ContentLengthHeader);
    const int status = reply.attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (!announced.isValid() || status == 204 || status == 304 ||
        reply.operation() == QNetworkAccessManager::HeadOperation)
        return std::nullopt;
    const QByteArray encoding = reply.rawHeader("Content-Encoding").trimmed().toLower();
    if (!progress.unpacks && !encoding.isEmpty() && encoding != "identity") return std::nullopt;
    const qint64 rawBytes = progress.rawBytes;
    const qint64 missing = announced.toLongLong() - rawBytes;
    return missing > 0 ? std::optional<qint64>(missing) : std::nullopt;
}

HttpResponse responseOf(const QNetworkReply& reply, const Progress& progress, std::size_t maxBytes,
                        const std::string& url) {
    HttpResponse response;
    if (progress.tooLarge) {
        response.error = "answer larger than " + std::to_string(maxBytes) + " bytes";
        return response;
    }
    const QVariant status = reply.attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (status.isValid()) response.status = status.toInt();
    for (const auto& pair : reply.rawHeaderPairs()) {
        response.headers[pair.first.toLower().toStdString()] = pair.second.toStdString();
    }
    if (progress.timedOut) {
        response.timedOut = true;
        response.error = "timed out";
    } else if (progress.undecodable) {
        response.error = "the answer's " + reply.rawHeader("Content-Encoding").trimmed().toStdString() +
                         " body does not unpack";
    } else if (reply.error() != QNetworkReply::NoError &&
               !(status.toInt() >= 400 && isStatusError(reply.error()))) {
        // Reset mid-body, a body that does not inflate, a cancelled request: what came is
        // not the answer.
        response.error = errorTextOf(reply, url);
    } else if (const std::optional<qint64> missing = bytesMissing(reply, progress)) {
        // Qt may end a reply whose connection closed mid-body without an error.
        response.error =
            "the connection closed " + std::to_string(*missing) + " bytes before the answer's end";
    } else if (progress.decoder && progress.rawBytes > 0 && !progress.decoder->ended()) {
        response.error = "the answer's compressed body stops before its end";
    } else {
        response.body = progress.body.toStdString();
    }
    return response;
}

}  // namespace

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
    // Asked for here, Qt leaves the body packed: unpacked a piece at a time as it arrives, it
    // is checked against its size limit as it grows, and a packed stream cut short shows.
    // Without a limit, Qt unpacks it, with its own guard against compressed bombs.
    auto progress = std::make_shared<Progress>();
    if (request.maxResponseBytes > 0 && !qrequest.hasRawHeader("Accept-Encoding")) {
        qrequest.setRawHeader("Accept-Encoding",
                              QByteArray::fromStdString(std::string(ContentDecoder::kAcceptEncoding)));
        progress->unpacks = true;
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
    auto* deadline = new QTimer(reply);
    deadline->setSingleShot(true);
    const double seconds =
        std::isfinite(request.timeoutSeconds) && request.timeoutSeconds > 0 ? request.timeoutSeconds : 30.0;
    deadline->setInterval(static_cast<int>(std::min(seconds * 1000.0, 2.0e9)));
    QObject::connect(deadline, &QTimer::timeout, reply, [reply, progress]() {
        progress->timedOut = true;
        const bool headersIn = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).isValid();
        reply->abort();
        // Headers that never end keep Qt's network thread reading them, deaf to the abort.
        if (!headersIn) {
            const QUrl url = reply->url();
            const QHostAddress address(url.host());
            shutDownFloodedConnections(
                url.port(url.scheme() == "https" ? 443 : 80),
                address.isNull() ? std::nullopt : std::optional(address.toString().toStdString()));
        }
    });
    deadline->start();

    // The body is taken as it arrives, so Qt's read buffer never fills and stalls the
    // transfer; a size limit is checked on every chunk taken and on the announced length,
    // so an answer is cut as soon as it passes its limit, not at its deadline.
    const qint64 limit = static_cast<qint64>(std::min<std::size_t>(request.maxResponseBytes, INT64_MAX));
    auto take = [reply, progress, limit]() {
        if (progress->tooLarge || progress->undecodable) return;
        if (!progress->hasHeaders && reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).isValid()) {
            progress->hasHeaders = true;
            if (progress->unpacks)
                progress->decoder = ContentDecoder::forEncoding(
                    reply->rawHeader("Content-Encoding").trimmed().toLower().toStdString());
        }
        const QByteArray raw = reply->readAll();
        progress->rawBytes += raw.size();
        const auto keep = [&](std::string_view piece) {
            progress->body.append(piece.data(), static_cast<qsizetype>(piece.size()));
            return limit == 0 || progress->body.size() <= limit;
        };
        if (!progress->decoder) {
            keep({raw.constData(), static_cast<std::size_t>(raw.size())});
        } else if (!progress->decoder->decode({raw.constData(), static_cast<std::size_t>(raw.size())},
                                              keep)) {
            progress->undecodable = true;
            progress->body.clear();
            reply->abort();
            return;
        }
        // The announced length counts packed bytes, which say little about the unpacked size.
        const QVariant announced = reply->header(QNetworkRequest::ContentLengthHeader);
        if (limit == 0 ||
            (progress->body.size() <= limit && (progress->decoder || announced.toLongLong() <= limit)))
            return;
        progress->tooLarge = true;
        progress->body.clear();
        reply->abort();
    };
    reply->setReadBufferSize(kReadBufferBytes);
    QObject::connect(reply, &QNetworkReply::metaDataChanged, reply, take);
    QObject::connect(reply, &QNetworkReply::readyRead, reply, take);

    const std::size_t maxBytes = request.maxResponseBytes;
    QObject::connect(reply, &QNetworkReply::finished, this,
                     [reply, progress, take, maxBytes, url = request.url, deliver]() {
                         if (reply->isOpen()) take();
                         deliver(responseOf(*reply, *progress, maxBytes, url));
                         reply->deleteLater();
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
