#pragma once
// One request as a libcurl easy handle: its options, the headers and body as they
// arrive (held to the request's size cap), and the answer they make once it ends.
#include <curl/curl.h>

#include <map>
#include <optional>
#include <string>

#include "platform/http_client.h"

namespace tw {

class CurlTransfer {
   public:
    CurlTransfer(HttpRequest request, HttpClient::Completion completion);
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
    static std::size_t onHeader(char* data, std::size_t, std::size_t length, void* self);
    static std::size_t onBody(char* data, std::size_t, std::size_t length, void* self);
    bool keepHeader(std::string_view line);
    bool keepBody(std::string_view piece);
    bool packed() const;                        // the answer's body came with a content encoding
    std::string shown(std::string text) const;  // with every URL's password withheld

    HttpRequest request_;
    HttpClient::Completion completion_;
    CURL* easy_ = nullptr;
    curl_slist* headerList_ = nullptr;
    char errorText_[CURL_ERROR_SIZE] = {};
    std::optional<std::string> setupError_;
    int status_ = 0;                              // of the latest response
    std::map<std::string, std::string> headers_;  // of the latest response, lower-case names
    std::string body_;
    bool bodyStarted_ = false;
    bool tooLarge_ = false;
    bool downgraded_ = false;
};

}  // namespace tw
