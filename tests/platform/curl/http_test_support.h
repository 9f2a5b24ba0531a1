#pragma once
// What the HTTP client tests share: a completion recorder, a wait on the manual main
// queue, packed bodies, peak memory, and a raw server for what a real server cannot send.
#include <arpa/inet.h>
#include <brotli/encode.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#include <zlib.h>
#include <zstd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <fstream>
#include <functional>
#include <list>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "platform/http_client.h"
#include "platform/testing/manual_main_queue.h"

namespace tw::testing {

struct Calls {
    int count = 0;
    std::optional<HttpResponse> last;
    HttpClient::Completion completion() {
        return [this](HttpResponse response) {
            ++count;
            last = std::move(response);
        };
    }
};

// Runs what the client posts until `done` holds or `seconds` of real time pass.
inline bool pumpUntil(ManualMainQueue& main, const std::function<bool()>& done, double seconds = 5.0) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (!done()) {
        if (std::chrono::steady_clock::now() > until) return false;
        main.waitAndRun(0.01);
    }
    return true;
}

// `chunks` times `chunk` packed by zlib: gzip (windowBits + 16), zlib-wrapped (15) or raw (-15).
inline std::string deflated(const std::string& chunk, int chunks = 1, int windowBits = MAX_WBITS + 16) {
    z_stream stream{};
    deflateInit2(&stream, Z_BEST_COMPRESSION, Z_DEFLATED, windowBits, 9, Z_DEFAULT_STRATEGY);
    std::string packed;
    char out[1 << 16];
    for (int i = 0; i < chunks; ++i) {
        stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(chunk.data()));
        stream.avail_in = static_cast<uInt>(chunk.size());
        const int flush = i + 1 == chunks ? Z_FINISH : Z_NO_FLUSH;
        do {
            stream.next_out = reinterpret_cast<Bytef*>(out);
            stream.avail_out = sizeof out;
            deflate(&stream, flush);
            packed.append(out, sizeof out - stream.avail_out);
        } while (stream.avail_out == 0);
    }
    deflateEnd(&stream);
    return packed;
}
inline std::string gzipped(const std::string& chunk, int chunks = 1) { return deflated(chunk, chunks); }

inline std::string brotlied(const std::string& text) {
    std::string packed(BrotliEncoderMaxCompressedSize(text.size()), '\0');
    std::size_t size = packed.size();
    BrotliEncoderCompress(BROTLI_DEFAULT_QUALITY, BROTLI_DEFAULT_WINDOW, BROTLI_MODE_GENERIC, text.size(),
                          reinterpret_cast<const uint8_t*>(text.data()), &size,
                          reinterpret_cast<uint8_t*>(packed.data()));
    packed.resize(size);
    return packed;
}

inline std::string zstded(const std::string& text) {
    std::string packed(ZSTD_compressBound(text.size()), '\0');
    packed.resize(ZSTD_compress(packed.data(), packed.size(), text.data(), text.size(), 3));
    return packed;
}

// This process's resident memory ("VmRSS:") or its peak since the peak was last reset
// ("VmHWM:"), in MiB.
inline long memoryMib(const std::string& field) {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind(field, 0) == 0) return std::stol(line.substr(field.size())) / 1024;
    }
    return -1;
}

// False where the kernel does not let this process reset its peak (some sandboxes).
inline bool resetPeakMemory() {
    std::ofstream clear("/proc/self/clear_refs");
    clear << "5" << std::flush;
    return clear.good();
}

// A raw HTTP/1.1 server on loopback, a thread a connection. "/flood" gets a status line and
// header lines without end, until the client closes the connection under it; "/endless" an
// answer in `encoding` of `piece` again and again, sent from one buffer; "/trailer" a chunked
// "ok" with a header after it; any other path a valid 16 MiB answer, still streaming when a
// flood ends.
class RawServer {
   public:
    static constexpr std::size_t kAnswerBytes = 16 << 20;

    explicit RawServer(std::string encoding = {}, std::string piece = {})
        : encoding_(std::move(encoding)), piece_(std::move(piece)) {
        listener_ = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        bind(listener_, reinterpret_cast<sockaddr*>(&address), length);
        listen(listener_, 8);
        getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(address.sin_port);
        acceptor_ = std::thread([this] {
            for (int connection; (connection = accept(listener_, nullptr, nullptr)) >= 0;) {
                std::lock_guard lock(mutex_);
                connections_.emplace_back([this, connection] { serve(connection); });
            }
        });
    }
    ~RawServer() {
        stopping_ = true;
        shutdown(listener_, SHUT_RDWR);
        acceptor_.join();
        for (std::thread& connection : connections_) connection.join();
        close(listener_);
    }
    std::string url(const std::string& path) const {
        return "http://127.0.0.1:" + std::to_string(port_) + path;
    }
    int floodsEnded() const { return floodsEnded_; }

   private:
    void serve(int connection) {
        // Never blocked for long, so the server can be stopped whatever the client does.
        const timeval step{0, 50 * 1000};
        setsockopt(connection, SOL_SOCKET, SO_SNDTIMEO, &step, sizeof step);
        char request[4096];
        const ssize_t got = recv(connection, request, sizeof request, 0);
        const std::string requested(request, got > 0 ? got : 0);
        if (requested.find(" /endless ") != std::string::npos) {
            sendAll(connection,
                    "HTTP/1.1 200 OK\r\nContent-Encoding: " + encoding_ + "\r\nConnection: close\r\n\r\n");
            while (!stopping_ && sendAll(connection, piece_)) {
            }
        } else if (requested.find(" /trailer ") != std::string::npos) {
            sendAll(connection,
                    "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\nTrailer: X-Checksum\r\nX-Served: "
                    "1\r\n\r\n2\r\nok\r\n0\r\nX-Checksum: 1\r\n\r\n");
        } else if (requested.find(" /flood ") != std::string::npos) {
            std::string lines = "HTTP/1.1 200 OK\r\n";
            for (int i = 0; i < 100; ++i) lines += "X-Filler: " + std::string(100, 'a') + "\r\n";
            while (!stopping_) {
                if (send(connection, lines.data(), lines.size(), MSG_NOSIGNAL) < 0 && errno != EAGAIN) break;
            }
            if (!stopping_) ++floodsEnded_;
        } else {
            // Sent on while the flood lasts (5 s at most), a piece a millisecond, then the rest at once.
            const std::string head = "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(kAnswerBytes) +
                                     "\r\nContent-Type: text/plain\r\n\r\n";
            const std::string piece(16 * 1024, 'v');
            const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
            sendAll(connection, head);
            std::size_t sent = 0;
            for (; sent + piece.size() < kAnswerBytes && floodsEnded_ == 0 &&
                   std::chrono::steady_clock::now() < until;
                 sent += piece.size()) {
                sendAll(connection, piece);
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
            sendAll(connection, std::string(kAnswerBytes - sent, 'v'));
        }
        close(connection);
    }
    bool sendAll(int connection, std::string_view bytes) {
        while (!bytes.empty() && !stopping_) {
            const ssize_t sent = send(connection, bytes.data(), bytes.size(), MSG_NOSIGNAL);
            if (sent < 0 && errno != EAGAIN) return false;
            if (sent > 0) bytes.remove_prefix(static_cast<std::size_t>(sent));
        }
        return true;
    }

    const std::string encoding_;
    const std::string piece_;
    int listener_ = -1;
    int port_ = 0;
    std::atomic<bool> stopping_{false};
    std::atomic<int> floodsEnded_{0};
    std::mutex mutex_;
    std::list<std::thread> connections_;
    std::thread acceptor_;
};

}  // namespace tw::testing
