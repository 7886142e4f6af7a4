#pragma once
// Asks the reporting service whether a newer test build is available, for
// installations from the service's test distribution, after each settings
// download; keeps the answer and then rests for the settings' suspension
// period. A check needs the installation's beta token, and this platform's
// token source yields none, so start declines and no request is sent.

#include "reporting/BriscaKit/BRSSettings.h"
#include "reporting/Plinth/PLNNetworkClient.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>

class BRSBetaControllerDelegate {
public:
    virtual ~BRSBetaControllerDelegate() = default;
    virtual std::optional<std::string> APIKeyForBetaController() = 0;
    virtual std::shared_ptr<const BRSSettings> settingsForBetaController() = 0;
};

struct BRSBetaUpdate {
    std::string url;
    std::optional<std::string> version;
    // Nothing unless the reply is an object whose "url" makes a valid URL.
    static std::optional<BRSBetaUpdate> betaUpdateWithDictionary(const nlohmann::json& dictionary, brs::Error* error);
};

class BRSBetaController : public std::enable_shared_from_this<BRSBetaController> {
public:
    static bool isBetaSupported();
    ~BRSBetaController();
    static std::shared_ptr<BRSBetaController> create(std::weak_ptr<BRSBetaControllerDelegate> delegate, pln::PLNNetworkOptions options = {},
                                                     std::function<std::optional<std::string>()> tokenSource = nullptr);

    // Answers whether checking was armed: only with a beta token.
    bool start();
    std::optional<std::string> betaToken();
    void checkForUpdate();
    std::optional<std::string> betaUpdateURL();
    // The check's GET to the given URL, with the API key and the beta token.
    brs::URLRequest updateCheckRequest(const std::string& url);
    std::optional<BRSBetaUpdate> activeUpdate() const;
    bool checksSuspended() const;
    static std::optional<BRSBetaUpdate> updateWithData(const std::string& data, brs::Error* error);

private:
    BRSBetaController(std::weak_ptr<BRSBetaControllerDelegate> delegate, pln::PLNNetworkOptions options,
                      std::function<std::optional<std::string>()> tokenSource);
    void loaded(const std::optional<std::string>& data, const std::optional<brs::Error>& error);

    std::weak_ptr<BRSBetaControllerDelegate> delegate_;
    pln::PLNNetworkOptions options_;
    std::function<std::optional<std::string>()> tokenSource_;
    // The check's queue, and its state: the lock guards the token and the update.
    struct Private;
    std::unique_ptr<Private> d;
    std::shared_ptr<pln::PLNNetworkClient> networkClient_;
    std::shared_ptr<void> observer_;
};
