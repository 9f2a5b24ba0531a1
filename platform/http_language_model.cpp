#include "platform/http_language_model.h"

#include <cstdlib>
#include <utility>

#include "platform/log.h"
#include "platform/unicode.h"
#include "platform/url_user_info.h"

namespace tw {

namespace {

// Servers word a prompt that does not fit differently; these are the common spellings.
bool mentionsContextOverflow(const std::string& body) {
    const std::string lower = unicode::lowercased(body);
    for (const char* marker : {"context_length_exceeded", "exceed_context_size", "context length",
                               "context window", "context size", "maximum context"}) {
        if (lower.find(marker) != std::string::npos) return true;
    }
    return false;
}

std::string shortened(const std::string& text) {
    constexpr std::size_t kMax = 200;
    return unicode::graphemeCount(text) <= kMax ? text : unicode::graphemePrefix(text, kMax) + "…";
}

LanguageModelResult failed(std::string description) {
    log::warning("Model server: " + description);
    return LanguageModelResult::failure(std::move(description));
}

}  // namespace

std::optional<std::string> HttpLanguageModel::baseUrlFromEnvironment() {
    const char* raw = std::getenv(kBaseUrlVariable);
    if (raw == nullptr) return std::nullopt;
    std::string value = unicode::trimmed(raw);
    if (value.empty()) return std::nullopt;
    if (!value.starts_with("http://") && !value.starts_with("https://")) {
        log::warning(std::string(kBaseUrlVariable) + " is not an http(s) URL (\"" + withoutUserInfo(value) +
                     "\"); dialogue uses templates only");
        return std::nullopt;
    }
    return value;
}

std::string HttpLanguageModel::endpointUrl(const std::string& baseUrl) {
    std::string base = baseUrl;
    while (!base.empty() && base.back() == '/') base.pop_back();
    if (base.ends_with("/v1")) return base + "/chat/completions";
    return base + "/v1/chat/completions";
}

HttpLanguageModel::HttpLanguageModel(HttpClient& http, std::string baseUrl, std::string modelName)
    : http_(http), endpoint_(endpointUrl(baseUrl)), modelName_(std::move(modelName)) {}

std::string HttpLanguageModel::requestBody(const LanguageModelRequest& request) const {
    std::string prompt = request.prompt;
    if (request.includeSchemaInPrompt) {
        prompt += "\n\nAnswer with one JSON object that follows this schema:\n" + dumpJson(request.schema);
    }
    OrderedJson body = OrderedJson::object();
    if (!modelName_.empty()) body["model"] = modelName_;
    body["messages"] = OrderedJson::array({
        OrderedJson{{"role", "system"}, {"content", request.instructions}},
        OrderedJson{{"role", "user"}, {"content", prompt}},
    });
    body["response_format"] = OrderedJson{
        {"type", "json_schema"},
        {"json_schema",
         OrderedJson{{"name", request.schemaName}, {"strict", true}, {"schema", request.schema}}},
    };
    body["stream"] = false;
    return dumpJson(body);
}

void HttpLanguageModel::respond(LanguageModelRequest request, Completion completion) {
    HttpRequest http;
    http.method = "POST";
    http.url = endpoint_;
    http.headers["Content-Type"] = "application/json";
    http.headers["Accept"] = "application/json";
    http.body = requestBody(request);
    http.timeoutSeconds = kRequestTimeoutSeconds;
    http.maxResponseBytes = kMaxAnswerBytes;
    http_.send(std::move(http), [completion = std::move(completion)](HttpResponse response) {
        completion(interpret(response));
    });
}

LanguageModelResult HttpLanguageModel::interpret(const HttpResponse& response) {
    if (response.timedOut) return failed("providerError: no answer within the time limit");
    if (response.error) return failed("providerError: " + *response.error);
    if (response.status < 200 || response.status >= 300) {
        std::string detail = "HTTP " + std::to_string(response.status) + ": " + shortened(response.body);
        if (mentionsContextOverflow(response.body))
            return failed(std::string(kExceededContextWindow) + ": " + detail);
        return failed("providerError: " + detail);
    }
    try {
        const OrderedJson document = parseJson(response.body);
        const JsonReader root(document);
        const JsonReader choice = root["choices"].at(0);
        // Without a token limit, a cut answer means the context ran out.
        if (auto reason = choice.optionalString("finish_reason"); reason && *reason == "length")
            return failed(std::string(kExceededContextWindow) + ": the answer was cut at the context limit");
        const std::string& content = choice["message"]["content"].string();
        OrderedJson value = parseJson(content);
        if (!value.is_object()) return failed("decodingFailure: the answer is not a JSON object");
        return LanguageModelResult::answer(std::move(value));
    } catch (const JsonDecodeError& error) {
        return failed(std::string("decodingFailure: ") + toString(error.kind()) + " at \"" + error.path() +
                      "\": " + error.detail());
    }
}

}  // namespace tw
