#pragma once
// The language model behind a local model server on the user's own machine, spoken to
// with the chat-completions protocol and a JSON-schema constrained answer.
#include <cstddef>
#include <optional>
#include <string>

#include "platform/http_client.h"
#include "platform/language_model.h"

namespace tw {

class HttpLanguageModel final : public LanguageModel {
   public:
    // The environment variable that names the server's base URL.
    static constexpr const char* kBaseUrlVariable = "TUMBLEWICK_MODEL_URL";
    // A hung server must not hold the caller's queue for good.
    static constexpr double kRequestTimeoutSeconds = 20.0;
    // A line is a few hundred bytes; a longer answer is cut off as it arrives and
    // counts as a failed request, so a runaway server cannot fill memory.
    static constexpr std::size_t kMaxAnswerBytes = 1 << 20;

    // The base URL from the environment when it names an http(s) server; anything
    // else (unset, empty, another scheme) is no server. A malformed value is logged.
    static std::optional<std::string> baseUrlFromEnvironment();
    // "<base>/v1/chat/completions"; a base that already ends in "/v1" is not doubled.
    static std::string endpointUrl(const std::string& baseUrl);

    // `http` must outlive this object. An empty model name leaves "model" out of the
    // request, which single-model servers accept.
    HttpLanguageModel(HttpClient& http, std::string baseUrl, std::string modelName = {});

    void respond(LanguageModelRequest request, Completion completion) override;

    // The request body and the reading of an answer, exposed for tests.
    std::string requestBody(const LanguageModelRequest& request) const;
    static LanguageModelResult interpret(const HttpResponse& response);

   private:
    HttpClient& http_;
    std::string endpoint_;
    std::string modelName_;
};

}  // namespace tw
