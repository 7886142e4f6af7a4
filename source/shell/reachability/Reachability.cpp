#include "source/shell/reachability/Reachability.h"

#include "platform/foundation/NotificationCenter.h"

#include <QDebug>

namespace tolvan {

namespace {

QString mark(ReachabilityFlags flags, ReachabilityFlag flag, char letter)
{
    return QString(QLatin1Char(flags.testFlag(flag) ? letter : '-'));
}

}  // namespace

QString reachabilityFlagLine(ReachabilityFlags flags, const QString& comment)
{
    using F = ReachabilityFlag;
    return QStringLiteral("Reachability Flag Status: -%1 %2%3%4%5%6%7%8 %9\n")
        .arg(mark(flags, F::Reachable, 'R'), mark(flags, F::TransientConnection, 't'), mark(flags, F::ConnectionRequired, 'c'),
             mark(flags, F::ConnectionOnTraffic, 'C'), mark(flags, F::InterventionRequired, 'i'),
             mark(flags, F::ConnectionOnDemand, 'D'), mark(flags, F::IsLocalAddress, 'l'), mark(flags, F::IsDirect, 'd'))
        .arg(comment);
}

Reachability::Reachability(ReachabilityTarget target, std::shared_ptr<NetworkStatusSource> source, bool localWiFi)
    : localWiFiRef_(localWiFi), target_(std::move(target)), source_(source ? std::move(source) : SystemNetworkStatus::shared())
{
}

Reachability::~Reachability() { stopNotifier(); }

std::unique_ptr<Reachability> Reachability::reachabilityWithHostName(const QString& hostName,
                                                                     std::shared_ptr<NetworkStatusSource> source)
{
    if (hostName.isEmpty())
        return nullptr;
    return std::unique_ptr<Reachability>(new Reachability(hostName, std::move(source), false));
}

std::unique_ptr<Reachability> Reachability::reachabilityWithAddress(const QHostAddress& address,
                                                                    std::shared_ptr<NetworkStatusSource> source)
{
    if (address.protocol() != QAbstractSocket::IPv4Protocol)
        return nullptr;
    return std::unique_ptr<Reachability>(new Reachability(address, std::move(source), false));
}

std::unique_ptr<Reachability> Reachability::reachabilityForInternetConnection(std::shared_ptr<NetworkStatusSource> source)
{
    return reachabilityWithAddress(QHostAddress(QHostAddress::AnyIPv4), std::move(source));
}

std::unique_ptr<Reachability> Reachability::reachabilityForLocalWiFi(std::shared_ptr<NetworkStatusSource> source)
{
    std::unique_ptr<Reachability> reachability = reachabilityWithAddress(QHostAddress(QStringLiteral("169.254.0.0")), std::move(source));
    if (reachability)
        reachability->localWiFiRef_ = true;
    return reachability;
}

bool Reachability::startNotifier()
{
    if (notifier_)
        return true;
    notifier_ = QObject::connect(source_.get(), &NetworkStatusSource::changed, source_.get(), [this] { reachabilityChanged(); });
    if (!notifier_)
        return false;
    source_->startWatching();
    return true;
}

void Reachability::stopNotifier()
{
    if (!notifier_)
        return;
    QObject::disconnect(notifier_);
    notifier_ = {};
    source_->stopWatching();
}

void Reachability::reachabilityChanged()
{
    NotificationCenter::defaultCenter().post(kNetworkReachabilityChangedNotification, this);
}

ReachabilityFlags Reachability::flags() const { return reachabilityFlags(target_, source_->snapshot()); }

NetworkStatus Reachability::currentReachabilityStatus() const
{
    const ReachabilityFlags now = flags();
    return localWiFiRef_ ? localWiFiStatusForFlags(now) : networkStatusForFlags(now);
}

bool Reachability::connectionRequired() const { return flags().testFlag(ReachabilityFlag::ConnectionRequired); }

NetworkStatus Reachability::networkStatusForFlags(ReachabilityFlags flags) const
{
    using F = ReachabilityFlag;
    qInfo().noquote().nospace() << reachabilityFlagLine(flags, QStringLiteral("networkStatusForFlags")).chopped(1);
    if (!flags.testFlag(F::Reachable))
        return NetworkStatus::NotReachable;
    if (!flags.testFlag(F::ConnectionRequired))
        return NetworkStatus::Reachable;
    const bool connectsByItself = flags.testFlag(F::ConnectionOnDemand) || flags.testFlag(F::ConnectionOnTraffic);
    return connectsByItself && !flags.testFlag(F::InterventionRequired) ? NetworkStatus::Reachable : NetworkStatus::NotReachable;
}

NetworkStatus Reachability::localWiFiStatusForFlags(ReachabilityFlags flags) const
{
    using F = ReachabilityFlag;
    qInfo().noquote().nospace() << reachabilityFlagLine(flags, QStringLiteral("localWiFiStatusForFlags")).chopped(1);
    return flags.testFlag(F::Reachable) && flags.testFlag(F::IsDirect) ? NetworkStatus::Reachable : NetworkStatus::NotReachable;
}

}  // namespace tolvan
