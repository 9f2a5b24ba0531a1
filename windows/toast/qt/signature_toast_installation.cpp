#include "windows/toast/qt/signature_toast_installation.h"

#include "agent/host/tumblewick_settings_panel.h"
#include "platform/settings_keys.h"
#include "windows/toast/qt/qt_signature_toast_window.h"
#include "windows/toast/tumblewick_signature_toast.h"

namespace tw {

SignatureToastInstallation::SignatureToastInstallation(TumblewickSignatureToast& toast, MainQueue& mainQueue,
                                                       const Clock& clock, const Defaults& standardDefaults,
                                                       Desktop& desktop, WindowFading fading)
    : toast_(toast), window_(std::make_unique<QtSignatureToastWindow>(fading)) {
    toast_.setServices(SignatureToastServices{
        .clock = &clock,
        .mainQueue = &mainQueue,
        .window = window_.get(),
        .chimeEnabled =
            [&standardDefaults] {
                return TumblewickSettingsPanel::boolFor(standardDefaults, settings::signatureChime);
            },
        .playChime = [&desktop] { desktop.playSound(TumblewickSignatureToast::chimeSound); }});
}

SignatureToastInstallation::~SignatureToastInstallation() { toast_.setServices({}); }

}  // namespace tw
