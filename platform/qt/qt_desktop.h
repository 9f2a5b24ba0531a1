#pragma once
// The desktop around the app on Linux: the file manager over D-Bus (xdg-open on the
// folder when none answers), theme sounds through libcanberra, alerts as QMessageBox.
#include <QObject>
#include <memory>

#include "platform/desktop.h"

namespace tw {

class QtDesktop final : public QObject, public Desktop {
    Q_OBJECT
   public:
    explicit QtDesktop(QObject* parent = nullptr);
    ~QtDesktop() override;

    void revealFile(const std::filesystem::path& file) override;
    void playSound(const std::string& name) override;
    std::size_t runAlert(const DesktopAlert& alert) override;

   private:
    struct Sound;
    std::unique_ptr<Sound> sound_;
};

}  // namespace tw
