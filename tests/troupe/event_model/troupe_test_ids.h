#pragma once
// Fixed ids and helpers shared by the event model tests.
#include <string>

#include "platform/uuid.h"

namespace tw::troupe_test {

inline constexpr const char* kFlea = "0F1E2D3C-4B5A-6978-8796-A5B4C3D2E1F0";
inline constexpr const char* kEvent = "11111111-2222-3333-4444-555555555555";
inline constexpr const char* kDevice = "AAAAAAAA-BBBB-CCCC-DDDD-EEEEEEEEEEEE";
inline constexpr const char* kMessage = "00000000-0000-4000-8000-000000000001";
inline constexpr const char* kMessage2 = "00000000-0000-4000-8000-000000000002";
inline constexpr const char* kConversation = "C0C0C0C0-0000-4000-8000-00000000000C";
inline constexpr const char* kLetter = "1E77E500-0000-4000-8000-000000000001";

inline Uuid id(const char* text) { return *Uuid::parse(text); }

// One log line around a payload body, keys sorted as the log writes them.
inline std::string line(const std::string& kind, const std::string& body,
                        const std::string& envelopeKind = "") {
    const std::string outer = envelopeKind.empty() ? kind : envelopeKind;
    return std::string(R"({"deviceId":")") + kDevice + R"(","id":")" + kEvent + R"(","kind":")" + outer +
           R"(","payload":{"body":)" + body + R"(,"kind":")" + kind +
           R"("},"schemaVersion":1,"ts":"2025-02-03T04:05:06Z"})";
}

}  // namespace tw::troupe_test
