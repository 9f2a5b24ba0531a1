#include "platform/curl/curl_transfer.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <memory>

#include "platform/url_user_info.h"

namespace tw {

namespace {

constexpr long kMaxRedirects = 5;

std::string lowerCase(std::string_view text) {
    std::string lower(text);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return lower;
}

void replaceAll(std::string& text, const std::string& from, const std::string& to) {
    if (from.empty() || from == to) return;
    for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
        text.replace(at, from.size(), to);
    }
}

// The URL's scheme in lower case; nothing when libcurl does not read it as an absolute URL
// (it would guess a scheme for a bare host).
std::optional<std::string> schemeOf(const std::string& url) {
    const std::unique_ptr<CURLU, decltype(&curl_url_cleanup)> parsed(curl_url(), curl_url_cleanup);
    char* scheme = nullptr;
    if (!parsed || curl_url_set(parsed.get(), CURLUPART_URL, url.c_str(), 0) != CURLUE_OK ||
        curl_url_get(parsed.get(), CURLUPART_SCHEME, &scheme, 0) != CURLUE_OK)
        return std::nullopt;
    std::string lower = lowerCase(scheme);
    curl_free(scheme);
    return lower;
}

long timeoutMilliseconds(double seconds) {
    const double valid = std::isfinite(seconds) && seconds > 0 ? seconds : 30.0;
    return static_cast<long>(std::min(valid * 1000.0, 2.0e9));
}

// The answer's body came with a content encoding.
bool packed(const std::map<std::string, std::string>& headers) {
    const auto encoding = headers.find("content-encoding");
    return encoding != headers.end() && !encoding->second.empty() &&
           lowerCase(encoding->second) != "identity";
}

}  // namespace

CurlTransfer::CurlTransfer(HttpRequest request, HttpClient::Completion completion, const std::string& caFile)
    : request_(std::move(request)), completion_(std::move(completion)) {
    const std::optional<std::string> scheme = schemeOf(request_.url);
    if (!scheme) {
        setupError_ = "invalid URL: " + withoutUserInfo(request_.url);
        return;
    }
    if (*scheme != "http" && *scheme != "https") {
        setupError_ = "only http and https URLs are requested, not " + withoutUserInfo(request_.url);
        return;
    }
    scheme_ = *scheme;
    easy_ = curl_easy_init();
    if (!easy_) {
        setupError_ = "cannot start a request";
        return;
    }
    curl_easy_setopt(easy_, CURLOPT_URL, request_.url.c_str());
    curl_easy_setopt(easy_, CURLOPT_PROTOCOLS_STR, "http,https");
    // What starts encrypted stays so: a redirect from https down to http is refused.
    curl_easy_setopt(easy_, CURLOPT_REDIR_PROTOCOLS_STR, scheme_ == "https" ? "https" : "http,https");
    if (!caFile.empty()) curl_easy_setopt(easy_, CURLOPT_CAINFO, caFile.c_str());
    curl_easy_setopt(easy_, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(easy_, CURLOPT_MAXREDIRS, kMaxRedirects);
    curl_easy_setopt(easy_, CURLOPT_ACCEPT_ENCODING, "");  // every encoding the library unpacks
    curl_easy_setopt(easy_, CURLOPT_TIMEOUT_MS, timeoutMilliseconds(request_.timeoutSeconds));
    // No signals on the worker thread, and no wait on a name lookup when a request ends early.
    curl_easy_setopt(easy_, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy_, CURLOPT_QUICK_EXIT, 1L);
    curl_easy_setopt(easy_, CURLOPT_ERRORBUFFER, errorText_);
    curl_easy_setopt(easy_, CURLOPT_WRITEFUNCTION, &CurlTransfer::onBody);
    curl_easy_setopt(easy_, CURLOPT_WRITEDATA, this);

    // The agent every request carried before; a request's own "User-Agent" header wins.
    curl_easy_setopt(easy_, CURLOPT_USERAGENT, "Mozilla/5.0");
    // "Expect:" keeps a larger body from waiting on a "100 Continue" a server may never send.
    headerList_ = curl_slist_append(headerList_, "Expect:");
    for (const auto& [name, value] : request_.headers) {
        // "Name;" is libcurl's way to send a header with an empty value.
        const std::string line = value.empty() ? name + ";" : name + ": " + value;
        headerList_ = curl_slist_append(headerList_, line.c_str());
    }
    curl_easy_setopt(easy_, CURLOPT_HTTPHEADER, headerList_);

    const bool hasBody = request_.method == "POST" || !request_.body.empty();
    if (request_.method == "GET" && !hasBody) {
        curl_easy_setopt(easy_, CURLOPT_HTTPGET, 1L);
    } else if (request_.method == "HEAD") {
        curl_easy_setopt(easy_, CURLOPT_NOBODY, 1L);
    } else if (request_.method != "POST") {
        curl_easy_setopt(easy_, CURLOPT_CUSTOMREQUEST, request_.method.c_str());
    }
    if (hasBody) {
        // A POST keeps its body through a 307 or 308, as those redirects require.
        curl_easy_setopt(easy_, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(request_.body.size()));
        curl_easy_setopt(easy_, CURLOPT_POSTFIELDS, request_.body.data());
    }
}

CurlTransfer::~CurlTransfer() {
    if (easy_) curl_easy_cleanup(easy_);
    curl_slist_free_all(headerList_);
}

HttpResponse CurlTransfer::failure(std::string error) {
    HttpResponse response;
    response.error = std::move(error);
    return response;
}

std::size_t CurlTransfer::onBody(char* data, std::size_t, std::size_t length, void* self) {
    return static_cast<CurlTransfer*>(self)->keepBody({data, length}) ? length : 0;
}

bool CurlTransfer::keepBody(std::string_view piece) {
    const std::size_t cap = request_.maxResponseBytes;
    if (cap == 0) {
        body_.append(piece);
        return true;
    }
    if (!bodyStarted_) {
        bodyStarted_ = true;
        // An announced length counts packed bytes, which say little about the unpacked size.
        curl_off_t announced = -1;
        curl_easy_getinfo(easy_, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &announced);
        tooLarge_ = !packed(lastHeaders()) && announced > 0 && static_cast<std::uint64_t>(announced) > cap;
    }
    // Checked on the unpacked bytes: a short return ends the transfer at once.
    tooLarge_ = tooLarge_ || piece.size() > cap - body_.size();
    if (tooLarge_) {
        std::string().swap(body_);
        return false;
    }
    // Grown by doubling, but never past the cap: an answer at its cap holds no more than that.
    if (body_.size() + piece.size() > body_.capacity())
        body_.reserve(std::min(cap, std::max(2 * body_.capacity(), body_.size() + piece.size())));
    body_.append(piece);
    return true;
}

CurlTransfer::Headers CurlTransfer::lastHeaders() const {
    // Only the last response's own header lines: no trailers, no 1xx or proxy answers.
    Headers headers;
    for (curl_header* header = nullptr;
         (header = curl_easy_nextheader(easy_, CURLH_HEADER, -1, header)) != nullptr;) {
        std::string& kept = headers[lowerCase(header->name)];
        kept += kept.empty() ? std::string(header->value) : ", " + std::string(header->value);
    }
    return headers;
}

std::string CurlTransfer::shown(std::string text) const {
    replaceAll(text, request_.url, withoutUserInfo(request_.url));
    const char* effective = nullptr;
    curl_easy_getinfo(easy_, CURLINFO_EFFECTIVE_URL, &effective);
    if (effective) replaceAll(text, effective, withoutUserInfo(effective));
    return text;
}

std::optional<std::string> CurlTransfer::redirectRefusal() const {
    // libcurl reports a redirect to a protocol it may not follow as an unsupported protocol,
    // its target as where the transfer ended.
    long redirects = 0;
    curl_easy_getinfo(easy_, CURLINFO_REDIRECT_COUNT, &redirects);
    const char* target = nullptr;
    curl_easy_getinfo(easy_, CURLINFO_EFFECTIVE_URL, &target);
    if (redirects == 0 || !target) return std::nullopt;
    return "a redirect from " + scheme_ + " to " + schemeOf(target).value_or("an unknown scheme") +
           " was refused (" + withoutUserInfo(target) + ")";
}

HttpResponse CurlTransfer::finish(CURLcode result) {
    if (tooLarge_)
        return failure("answer larger than " + std::to_string(request_.maxResponseBytes) + " bytes");
    HttpResponse response;
    response.headers = lastHeaders();
    long status = 0;
    curl_easy_getinfo(easy_, CURLINFO_RESPONSE_CODE, &status);
    response.status = static_cast<int>(status);
    curl_off_t arrived = 0;
    curl_easy_getinfo(easy_, CURLINFO_SIZE_DOWNLOAD_T, &arrived);
    const bool bodyDue = request_.method != "HEAD" && status >= 200 && status != 204 && status != 304;
    const bool isPacked = packed(response.headers);
    const auto refusal = result == CURLE_UNSUPPORTED_PROTOCOL ? redirectRefusal() : std::nullopt;
    if (refusal) {
        response.error = refusal;
    } else if (result == CURLE_OPERATION_TIMEDOUT) {
        response.timedOut = true;
        response.error = "timed out";
    } else if (result == CURLE_WRITE_ERROR && isPacked) {
        // The library's unpacking failed (bytes past a stream's end, say); its own text blames the writer.
        response.error = "the answer's " + response.headers.at("content-encoding") + " body does not unpack";
    } else if (result != CURLE_OK) {
        response.error = shown(errorText_[0] != '\0' ? errorText_ : curl_easy_strerror(result));
    } else if (isPacked && bodyDue && arrived == 0) {
        // Even an empty packed stream has a header; nothing at all is no answer.
        response.error = "the answer's " + response.headers.at("content-encoding") + " body is empty";
    } else {
        response.body = std::move(body_);
    }
    return response;
}

}  // namespace tw
