#pragma once
// Unpacks an HTTP body sent with a Content-Encoding as its bytes arrive, a bounded piece
// at a time, so a caller can stop (at a size limit) before a small compressed answer
// has grown into a huge one.
#include <memory>
#include <string_view>

#include "platform/function_ref.h"

namespace tw {

class ContentDecoder {
   public:
    // The encodings asked for when the client unpacks answers itself, in Qt's own words.
    static constexpr std::string_view kAcceptEncoding = "zstd, br, gzip, deflate";
    // A decoder for a Content-Encoding value, trimmed and in lower case; none for "identity"
    // or one it does not know (such a body is passed on as it came).
    static std::unique_ptr<ContentDecoder> forEncoding(std::string_view name);

    virtual ~ContentDecoder() = default;
    // Unpacks the next bytes of the body and hands what comes out to `take`, in pieces of
    // at most 64 KiB; stops as soon as `take` returns false. False: the bytes do not unpack.
    virtual bool decode(std::string_view input, FunctionRef<bool(std::string_view)> take) = 0;
    // Whether the compressed stream has reached its end.
    virtual bool ended() const = 0;
};

}  // namespace tw
