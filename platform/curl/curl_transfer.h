#pragma once
// One request as a libcurl easy handle: its options, the body as it arrives (held to
// the request's size cap), and the answer it makes once it ends.
#include <curl/curl.h>

#include <map>
#include <optional>
#include <string>

#include "platform/http_client.h"

namespace tw {

class CurlTransfer {
   public:
    // `caFile`: the PEM authorities https servers are checked against; empty: the system's.
    CurlTransfer(HttpRequest request, HttpClient::Completion completion, const std::string& caFile);
    ~CurlTransfer();
    CurlTransfer(const CurlTransfer&) = delete;
    CurlTransfer& operator=(const CurlTransfer&) = delete;

    // The easy handle, set up; nothing when the request cannot be made (see failure()).
    CURL* handle() const { return easy_; }
    const std::optional<std::string>& setupError() const { return setupError_; }
    // The answer once libcurl reports the transfer ended with `result`.
    HttpResponse finish(CURLcode result);
    HttpClient::Completion takeCompletion() { return std::move(completion_); }

    static HttpResponse failure(std::string error);

   private:
    using Headers = std::map<std::string, std::string>;  // lower-case names

    static std::size_t onBody(char* data, std::size_t, std::size_t length, void* self);
    bool keepBody(std::string_view piece);
    Headers lastHeaders() const;                         // of the last response, repeated names folded
    std::string shown(std::string text) const;           // with every URL's password withheld
    std::optional<std::string> redirectRefusal() const;  // when the transfer ended on a refused redirect

    HttpRequest request_;
    HttpClient::Completion completion_;
    std::string scheme_;  // the request's own, lower case
    CURL* easy_ = nullptr;
    curl_slist* headerList_ = nullptr;
    char errorText_[CURL_ERROR_SIZE] = {};
    std::optional<std::string> setupError_;
    std::string body_;
    bool bodyStarted_ = false;
    bool tooLarge_ = false;
};

}  // namespace tw
