#pragma once
// What the kit needs of the application it runs in, without knowing its
// toolkit: the main thread, the send prompt and the application's strings.
// The application's life-cycle events reach the kit as notifications of the
// kit's notification centre under the names in BRSApplicationNotifications.h.

#include "reporting/Plinth/BRSApplicationNotifications.h"

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <vector>

struct BRSAlert {
    std::string messageText;
    std::string informativeText;
    std::vector<std::string> buttons;  // the first is the default
};

class BRSApplication {
public:
    virtual ~BRSApplication() = default;
    // Runs work later on the application's main thread.
    virtual void dispatchMain(std::function<void()> work) = 0;
    // Shows the alert modally on the main thread and answers the index of
    // the chosen button, or nothing when no alert can be shown.
    virtual void runModalAlert(const BRSAlert& alert, std::function<void(std::optional<std::size_t> button)> completion) = 0;
    virtual std::string localizedString(const std::string& table, const std::string& key, const std::string& fallback)
    {
        (void)table;
        (void)key;
        return fallback;
    }

    // An application without a main loop or a screen: main-thread work runs
    // on a serial queue of the kit, and no alert can be shown.
    static BRSApplication& headless();
};
