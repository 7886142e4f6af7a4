#include "reporting/BriscaKit/BRSBetaController.h"

#include "reporting/Plinth/PLNConsole.h"
#include "reporting/Plinth/PLNEnvironment.h"
#include "reporting/Plinth/PLNIdentity.h"
#include "reporting/Plinth/PLNNotificationCenter.h"
#include "reporting/Plinth/PLNServiceRequest.h"
#include "reporting/Plinth/PLNSettings.h"
#include "reporting/Plinth/PLNURLBuilder.h"
#include "reporting/Plinth/Plinth.h"

#include <atomic>
#include <mutex>

std::optional<BRSBetaUpdate> BRSBetaUpdate::betaUpdateWithDictionary(const nlohmann::json& dictionary, brs::Error* error)
{
    if (dictionary.is_object() && dictionary.contains("url") && dictionary["url"].is_string()) {
        const auto url = pln::PLNURLBuilder::URLWithBase(dictionary["url"].get<std::string>()).URL();
        if (url) {
            BRSBetaUpdate update{*url, std::nullopt};
            if (dictionary.contains("version_string") && dictionary["version_string"].is_string())
                update.version = dictionary["version_string"].get<std::string>();
            return update;
        }
    }
    if (error)
        *error = brs::Error{"NSURLErrorDomain", -1017, "cannot parse response", nullptr};
    return std::nullopt;
}

struct BRSBetaController::Private {
    std::shared_ptr<brs::SerialQueue> queue = std::make_shared<brs::SerialQueue>("com.plinth.brisca.mac.beta");
    mutable std::mutex mutex;
    std::optional<std::optional<std::string>> betaToken;
    std::optional<BRSBetaUpdate> activeUpdate;
    std::atomic<bool> checksSuspended{false};
    std::atomic<bool> retrying{false};
};

bool BRSBetaController::isBetaSupported()
{
    // There are no application extensions here; only a build signed for distribution takes part.
    return pln::PLNInstallationSource() == pln::PLNInstallationSourceCode::SignedForDistribution;
}

std::shared_ptr<BRSBetaController> BRSBetaController::create(std::weak_ptr<BRSBetaControllerDelegate> delegate, pln::PLNNetworkOptions options,
                                                             std::function<std::optional<std::string>()> tokenSource)
{
    return std::shared_ptr<BRSBetaController>(new BRSBetaController(std::move(delegate), std::move(options), std::move(tokenSource)));
}

BRSBetaController::BRSBetaController(std::weak_ptr<BRSBetaControllerDelegate> delegate, pln::PLNNetworkOptions options,
                                     std::function<std::optional<std::string>()> tokenSource)
    : delegate_(std::move(delegate)), options_(std::move(options)), tokenSource_(std::move(tokenSource)),
      d(std::make_unique<Private>())
{
    networkClient_ = std::make_shared<pln::PLNNetworkClient>(nullptr, options_.pinnedCertificates, options_.scheduler);
    if (!networkClient_->session())
        pln::PLNDebugLog("[Brisca:Beta] Failed to configure networking");
}

BRSBetaController::~BRSBetaController() = default;

bool BRSBetaController::checksSuspended() const { return d->checksSuspended; }

std::optional<std::string> BRSBetaController::betaToken()
{
    std::lock_guard lock(d->mutex);
    if (!d->betaToken)
        d->betaToken = tokenSource_ ? tokenSource_() : std::nullopt;
    return *d->betaToken;
}

bool BRSBetaController::start()
{
    if (!betaToken())
        return false;
    std::weak_ptr<BRSBetaController> weak = weak_from_this();
    observer_ = pln::PLNNotificationCenter::defaultCenter().addObserver(pln::kPLNSettingsAvailableNotification, [weak] {
        if (auto self = weak.lock())
            self->checkForUpdate();
    });
    return true;
}

std::optional<BRSBetaUpdate> BRSBetaController::activeUpdate() const
{
    std::lock_guard lock(d->mutex);
    return d->activeUpdate;
}

std::optional<std::string> BRSBetaController::betaUpdateURL()
{
    auto delegate = delegate_.lock();
    const auto settings = delegate ? delegate->settingsForBetaController() : std::make_shared<BRSSettings>();
    auto builder = pln::PLNURLBuilder::URLWithBase(settings->betaEndpoint());
    builder.appendComponent("/spi/v2/platforms/");
    builder.appendComponent(pln::PLNSettings::appPlatform());
    builder.appendComponent("/apps/");
    builder.appendComponent(pln::PLNSanitizedBundleIdentifier().value_or(""));
    builder.appendComponent("/beta_update_check");
    builder.appendValue(pln::PLNBundleVersion() ? nlohmann::json(*pln::PLNBundleVersion()) : nlohmann::json(), "build_version");
    builder.appendValue(pln::PLNBundleShortVersionString() ? nlohmann::json(*pln::PLNBundleShortVersionString()) : nlohmann::json(),
                        "display_version");
    const auto instance = pln::Plinth::sharedSDK().instanceIdentifier();
    builder.appendValue(instance ? nlohmann::json(*instance) : nlohmann::json(), "instance");
    builder.appendValue(static_cast<int>(pln::PLNInstallationSource()), "source");
    return builder.URL();
}

void BRSBetaController::checkForUpdate()
{
    std::weak_ptr<BRSBetaController> weak = weak_from_this();
    d->queue->async([weak] {
        auto self = weak.lock();
        if (!self || !isBetaSupported() || self->d->checksSuspended || self->d->retrying.exchange(true))
            return;
        pln::PLNDebugLog("[Brisca:Beta] Loading beta update");
        const auto url = self->betaUpdateURL();
        if (!url)
            return;
        pln::PLNDebugLog("[Brisca:Beta] Beta Update-Check url string: '" + *url + "'");
        self->networkClient_->startDataTaskWithRequest(self->updateCheckRequest(*url), [weak](auto data, auto, auto error) {
            if (auto self = weak.lock())
                self->loaded(data, error);
        });
    });
}

brs::URLRequest BRSBetaController::updateCheckRequest(const std::string& url)
{
    auto delegate = delegate_.lock();
    auto request = pln::PLNServiceRequest(url, pln::PLNCrashKitIdentity(),
                                          {.acceptsJSON = true, .APIKey = delegate ? delegate->APIKeyForBetaController() : std::nullopt});
    if (auto token = betaToken())
        request.setValueForHTTPHeaderField(*token, "X-Brisca-Beta-Token");
    return request;
}

void BRSBetaController::loaded(const std::optional<std::string>& data, const std::optional<brs::Error>& error)
{
    if (error || !data || data->empty()) {
        // The flag stays set: this process checks no more.
        pln::PLNDebugLog("[Brisca:Beta] Failed to load update '" + (error ? error->description() : std::string("(null)")) + "'");
        return;
    }
    std::weak_ptr<BRSBetaController> weak = weak_from_this();
    d->queue->async([weak, data] {
        auto self = weak.lock();
        if (!self)
            return;
        pln::PLNDebugLog("[Brisca:Beta] Beta update loaded");
        auto delegate = self->delegate_.lock();
        const double suspension = delegate ? delegate->settingsForBetaController()->betaSuspendDuration() : 3600;
        self->d->checksSuspended = true;
        self->options_.scheduler->runAfter(suspension, [weak] {
            if (auto self = weak.lock())
                self->d->checksSuspended = false;
        });
        self->d->retrying = false;
        auto update = updateWithData(*data, nullptr);
        if (!update) {
            pln::PLNDebugLog("[Brisca:Beta] Beta update url is invalid");
            return;
        }
        std::lock_guard lock(self->d->mutex);
        self->d->activeUpdate = std::move(update);
    });
}

std::optional<BRSBetaUpdate> BRSBetaController::updateWithData(const std::string& data, brs::Error* error)
{
    const auto parsed = nlohmann::json::parse(data, nullptr, false);
    if (parsed.is_discarded()) {
        if (error)
            *error = brs::Error{"NSCocoaErrorDomain", 3840, "The data is not JSON", nullptr};
        pln::PLNDebugLog("[Brisca:Beta] Unable to deserialize beta update data: The data is not JSON");
        return std::nullopt;
    }
    brs::Error readError;
    auto update = BRSBetaUpdate::betaUpdateWithDictionary(parsed, &readError);
    if (!update) {
        pln::PLNDebugLog("[Brisca:Beta] Unable to read beta update data: " + readError.description());
        if (error)
            *error = readError;
    }
    return update;
}
