#pragma once
// Connects the reporting kit to the application. The kit uses no toolkit;
// this adapter gives it the application's environment (information
// dictionary, folders, locale), the main thread, the send prompt as a
// message box, the "Brisca" strings table, and the application's life-cycle
// events (active, inactive, terminate) as the kit's notifications.

#include "reporting/BriscaKit/BRSApplication.h"

#include <QObject>

#include <string>

namespace tolvan {

class BriscaAdapter : public QObject, public BRSApplication {
    Q_OBJECT
public:
    // The application's one adapter, made on first use on the main thread.
    static BriscaAdapter& shared();

    // Hands the kit the application's environment and this adapter, then
    // starts it with the reporting service's key. Call once, on the main
    // thread, when launch has finished.
    void startKit(const std::string& apiKey);

    void dispatchMain(std::function<void()> work) override;
    void runModalAlert(const BRSAlert& alert, std::function<void(std::optional<std::size_t>)> completion) override;
    std::string localizedString(const std::string& table, const std::string& key, const std::string& fallback) override;

    // The kit's view of the application, from the bundle and the standard folders.
    static void installKitEnvironment();

private:
    BriscaAdapter();
    void applicationStateChanged(Qt::ApplicationState state);

    bool active_ = false;
};

}  // namespace tolvan
