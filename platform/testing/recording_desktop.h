#pragma once
// A desktop that only records: what was revealed, which sounds played, which alerts ran.
#include <cstddef>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/desktop.h"

namespace tw::testing {

class RecordingDesktop final : public Desktop {
   public:
    std::vector<std::filesystem::path> revealed;
    std::vector<std::string> sounds;
    std::vector<DesktopAlert> alerts;
    std::size_t alertAnswer = 0;  // the button every alert is answered with

    void revealFile(const std::filesystem::path& file) override { revealed.push_back(file); }
    void playSound(const std::string& name) override { sounds.push_back(name); }
    std::size_t runAlert(const DesktopAlert& alert) override {
        alerts.push_back(alert);
        return alertAnswer;
    }
};

}  // namespace tw::testing
