#include "platform/qt/content_decoder.h"

#include <brotli/decode.h>
#include <zlib.h>
#include <zstd.h>

#include <array>
#include <cstdint>

namespace tw {

namespace {

constexpr std::size_t kPieceBytes = std::size_t{1} << 16;

class ZlibDecoder final : public ContentDecoder {
   public:
    // 15 + 32: a zlib or gzip header, told apart by its first bytes.
    ZlibDecoder() : ready_(inflateInit2(&stream_, MAX_WBITS + 32) == Z_OK) {}
    ~ZlibDecoder() override {
        if (ready_) inflateEnd(&stream_);
    }

    bool decode(std::string_view input, FunctionRef<bool(std::string_view)> take) override {
        if (!ready_) return false;
        // Qt hands over at most its read buffer at a time, far below zlib's 4 GiB count.
        stream_.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(input.data()));
        stream_.avail_in = static_cast<uInt>(input.size());
        while (true) {
            if (ended_ && stream_.avail_in > 0) {  // another gzip member follows
                if (inflateReset(&stream_) != Z_OK) return false;
                ended_ = false;
            }
            stream_.next_out = reinterpret_cast<Bytef*>(piece_.data());
            stream_.avail_out = static_cast<uInt>(piece_.size());
            const int result = inflate(&stream_, Z_NO_FLUSH);
            if (result == Z_DATA_ERROR && !triedRaw_ && fedBefore_ == 0 && stream_.total_out == 0) {
                // Some servers send "deflate" without its zlib header: start over as raw deflate.
                triedRaw_ = true;
                if (inflateReset2(&stream_, -MAX_WBITS) != Z_OK) return false;
                stream_.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(input.data()));
                stream_.avail_in = static_cast<uInt>(input.size());
                continue;
            }
            if (result == Z_NEED_DICT || (result < 0 && result != Z_BUF_ERROR)) return false;
            const std::size_t produced = piece_.size() - stream_.avail_out;
            if (produced > 0 && !take({piece_.data(), produced})) return true;
            if (result == Z_STREAM_END) ended_ = true;
            if (result == Z_BUF_ERROR || (stream_.avail_in == 0 && stream_.avail_out > 0)) break;
        }
        fedBefore_ += input.size();
        return true;
    }

    bool ended() const override { return ended_; }

   private:
    z_stream stream_{};
    bool ready_;
    bool ended_ = false;
    bool triedRaw_ = false;
    std::size_t fedBefore_ = 0;
    std::array<char, kPieceBytes> piece_{};
};

class BrotliDecoder final : public ContentDecoder {
   public:
    ~BrotliDecoder() override { BrotliDecoderDestroyInstance(state_); }

    bool decode(std::string_view input, FunctionRef<bool(std::string_view)> take) override {
        if (!state_) return false;
        if (ended_) return input.empty();  // bytes after the stream's end belong to no answer
        std::size_t availableIn = input.size();
        const auto* nextIn = reinterpret_cast<const std::uint8_t*>(input.data());
        while (true) {
            std::size_t availableOut = piece_.size();
            auto* nextOut = reinterpret_cast<std::uint8_t*>(piece_.data());
            const BrotliDecoderResult result = BrotliDecoderDecompressStream(
                state_, &availableIn, &nextIn, &availableOut, &nextOut, nullptr);
            if (result == BROTLI_DECODER_RESULT_ERROR) return false;
            const std::size_t produced = piece_.size() - availableOut;
            if (produced > 0 && !take({piece_.data(), produced})) return true;
            if (result == BROTLI_DECODER_RESULT_SUCCESS) {
                ended_ = true;
                return availableIn == 0;
            }
            if (result == BROTLI_DECODER_RESULT_NEEDS_MORE_INPUT) return true;
        }
    }

    bool ended() const override { return ended_; }

   private:
    BrotliDecoderState* state_ = BrotliDecoderCreateInstance(nullptr, nullptr, nullptr);
    bool ended_ = false;
    std::array<char, kPieceBytes> piece_{};
};

class ZstdDecoder final : public ContentDecoder {
   public:
    ZstdDecoder() {
        if (stream_ && ZSTD_isError(ZSTD_initDStream(stream_))) {
            ZSTD_freeDStream(stream_);
            stream_ = nullptr;
        }
    }
    ~ZstdDecoder() override { ZSTD_freeDStream(stream_); }

    bool decode(std::string_view input, FunctionRef<bool(std::string_view)> take) override {
        if (!stream_) return false;
        ZSTD_inBuffer in{input.data(), input.size(), 0};
        while (true) {
            ZSTD_outBuffer out{piece_.data(), piece_.size(), 0};
            const std::size_t result = ZSTD_decompressStream(stream_, &out, &in);
            if (ZSTD_isError(result)) return false;
            if (out.pos > 0 && !take({piece_.data(), out.pos})) return true;
            ended_ = result == 0;  // a frame is whole and all of it handed on
            if (in.pos == in.size && out.pos < out.size) return true;
        }
    }

    bool ended() const override { return ended_; }

   private:
    ZSTD_DStream* stream_ = ZSTD_createDStream();
    bool ended_ = false;
    std::array<char, kPieceBytes> piece_{};
};

}  // namespace

std::unique_ptr<ContentDecoder> ContentDecoder::forEncoding(std::string_view name) {
    if (name == "gzip" || name == "deflate") return std::make_unique<ZlibDecoder>();
    if (name == "br") return std::make_unique<BrotliDecoder>();
    if (name == "zstd") return std::make_unique<ZstdDecoder>();
    return nullptr;
}

}  // namespace tw
