#include "windows/toast/qt/signature_toast_installation.h"

#include "agent/host/tumblewick_settings_panel.h"
#include "windows/toast/qt/qt_signature_toast_window.h"
#include "windows/toast/tumblewick_signature_toast.h"

namespace tw {

void installSignatureToast(MainQueue& mainQueue, const Clock& clock, const Defaults& standardDefaults) {
    // Lives as long as the shared toast: the whole process.
    static QtSignatureToastWindow* window = new QtSignatureToastWindow();
    SignatureToastServices services;
    services.clock = &clock;
    services.mainQueue = &mainQueue;
    services.window = window;
    services.chimeEnabled = [&standardDefaults] {
        return TumblewickSettingsPanel::boolFor(standardDefaults, TumblewickSettingsPanel::signatureChimeKey,
                                                true);
    };
    TumblewickSignatureToast::shared().setServices(std::move(services));
}

}  // namespace tw
