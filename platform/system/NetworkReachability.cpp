#include "platform/system/NetworkReachability.h"

#include <QNetworkInformation>
#include <QNetworkInterface>

namespace tolvan {

namespace {

constexpr int pollIntervalMs = 2000;

bool isLinkLocal(const QHostAddress& address)
{
    return address.isInSubnet(QHostAddress(QStringLiteral("169.254.0.0")), 16) || address.isLinkLocal();
}

std::optional<QHostAddress> addressOf(const ReachabilityTarget& target)
{
    if (const auto* address = std::get_if<QHostAddress>(&target))
        return *address;
    const QString& host = std::get<QString>(target);
    if (host.compare(QStringLiteral("localhost"), Qt::CaseInsensitive) == 0)
        return QHostAddress(QHostAddress::LocalHost);
    QHostAddress literal;
    if (literal.setAddress(host))
        return literal;
    return std::nullopt;  // a name we do not resolve here: any route will do
}

bool hasConnectedNetwork(const NetworkSnapshot& snapshot)
{
    if (snapshot.system)
        return *snapshot.system == SystemReachability::Site || *snapshot.system == SystemReachability::Online;
    return std::any_of(snapshot.addresses.begin(), snapshot.addresses.end(), [](const InterfaceAddress& entry) {
        return !isLinkLocal(entry.address) && !entry.address.isLoopback();
    });
}

std::optional<SystemReachability> systemReachability()
{
    static const bool loaded = QNetworkInformation::loadBackendByFeatures(QNetworkInformation::Feature::Reachability);
    if (!loaded || !QNetworkInformation::instance())
        return std::nullopt;
    switch (QNetworkInformation::instance()->reachability()) {
    case QNetworkInformation::Reachability::Disconnected: return SystemReachability::Disconnected;
    case QNetworkInformation::Reachability::Local: return SystemReachability::Local;
    case QNetworkInformation::Reachability::Site: return SystemReachability::Site;
    case QNetworkInformation::Reachability::Online: return SystemReachability::Online;
    case QNetworkInformation::Reachability::Unknown: break;
    }
    return std::nullopt;
}

}  // namespace

ReachabilityFlags reachabilityFlags(const ReachabilityTarget& target, const NetworkSnapshot& snapshot)
{
    const std::optional<QHostAddress> address = addressOf(target);
    if (address && address->isLoopback())
        return ReachabilityFlag::Reachable | ReachabilityFlag::IsLocalAddress | ReachabilityFlag::IsDirect;

    ReachabilityFlags flags;
    for (const InterfaceAddress& entry : snapshot.addresses) {
        if (!address)
            break;
        if (entry.address == *address)
            flags |= ReachabilityFlag::IsLocalAddress;
        if (entry.prefixLength >= 0 && address->isInSubnet(entry.address, entry.prefixLength))
            flags |= ReachabilityFlag::IsDirect;
    }

    if (address && isLinkLocal(*address)) {
        const bool onLink = std::any_of(snapshot.addresses.begin(), snapshot.addresses.end(),
                                        [](const InterfaceAddress& entry) { return isLinkLocal(entry.address); });
        return onLink ? flags | ReachabilityFlag::Reachable | ReachabilityFlag::IsDirect : ReachabilityFlags();
    }
    if (flags.testFlag(ReachabilityFlag::IsDirect) || hasConnectedNetwork(snapshot))
        return flags | ReachabilityFlag::Reachable;
    return {};
}

std::shared_ptr<SystemNetworkStatus> SystemNetworkStatus::shared()
{
    static std::weak_ptr<SystemNetworkStatus> current;
    std::shared_ptr<SystemNetworkStatus> status = current.lock();
    if (!status) {
        status.reset(new SystemNetworkStatus);
        current = status;
    }
    return status;
}

SystemNetworkStatus::SystemNetworkStatus() : pollTimer_(new QTimer(this))
{
    pollTimer_->setInterval(pollIntervalMs);
    connect(pollTimer_, &QTimer::timeout, this, &SystemNetworkStatus::checkForChange);
    snapshot();  // loads the backend once, on this (the main) thread
    if (QNetworkInformation* information = QNetworkInformation::instance())
        connect(information, &QNetworkInformation::reachabilityChanged, this, &SystemNetworkStatus::checkForChange);
}

NetworkSnapshot SystemNetworkStatus::snapshot() const
{
    NetworkSnapshot snapshot{systemReachability(), {}};
    for (const QNetworkInterface& interface : QNetworkInterface::allInterfaces()) {
        const auto flags = interface.flags();
        if (!flags.testFlag(QNetworkInterface::IsUp) || !flags.testFlag(QNetworkInterface::IsRunning) ||
            flags.testFlag(QNetworkInterface::IsLoopBack))
            continue;
        for (const QNetworkAddressEntry& entry : interface.addressEntries())
            snapshot.addresses.append({entry.ip(), entry.prefixLength()});
    }
    return snapshot;
}

void SystemNetworkStatus::startWatching()
{
    if (watchers_++ == 0) {
        last_ = snapshot();
        pollTimer_->start();
    }
}

void SystemNetworkStatus::stopWatching()
{
    if (watchers_ > 0 && --watchers_ == 0)
        pollTimer_->stop();
}

void SystemNetworkStatus::checkForChange()
{
    NetworkSnapshot now = snapshot();
    if (now == last_)
        return;
    last_ = std::move(now);
    emit changed();
}

}  // namespace tolvan
