#pragma once
// Log lines: information and failures on standard output with their emoji markers,
// the troupe's failures to the system log and standard error with "[Troupe] ".
#include <functional>
#include <string>
#include <string_view>

namespace tw::log {

void info(std::string_view message);     // "ℹ️ " + message
void warning(std::string_view message);  // "⚠️ " + message
void plain(std::string_view message);    // message as is
void system(std::string_view message);   // syslog(3) LOG_ERR and stderr, "[Troupe] " + message

// Opens /dev/null on a standard stream (in, out, error) the process was started without,
// so the next file opened cannot take its number and receive log lines. Call first.
void keepStandardStreamsOpen();

// Tests capture lines instead of printing them. Pass nullptr to restore printing.
using Sink = std::function<void(std::string_view line)>;
void setSinkForTesting(Sink sink);

}  // namespace tw::log
