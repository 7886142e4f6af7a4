#include "platform/system/Updater.h"

#include "platform/foundation/Bundle.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/system/Version.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QXmlStreamReader>

namespace tolvan {

namespace {


QString attributeNamed(const QXmlStreamAttributes& attributes, QStringView localName)
{
    for (const QXmlStreamAttribute& attribute : attributes)
        if (attribute.name() == localName)
            return attribute.value().toString();
    return {};
}

}  // namespace

std::optional<AppcastItem> newestAppcastItem(const QByteArray& feed, Error* error)
{
    QXmlStreamReader xml(feed);
    std::optional<AppcastItem> newest;
    AppcastItem item;
    bool inItem = false;
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement()) {
            if (xml.name() == u"item") {
                inItem = true;
                item = {};
            } else if (inItem && xml.name() == u"enclosure") {
                const QXmlStreamAttributes attributes = xml.attributes();
                if (const QString version = attributeNamed(attributes, u"version"); !version.isEmpty())
                    item.version = version;
                item.displayVersion = attributeNamed(attributes, u"shortVersionString");
                item.link = QUrl(attributeNamed(attributes, u"url"));
            } else if (inItem && xml.name() == u"version") {
                item.version = xml.readElementText().trimmed();
            } else if (inItem && xml.name() == u"link" && item.link.isEmpty()) {
                item.link = QUrl(xml.readElementText().trimmed());
            }
        } else if (xml.isEndElement() && xml.name() == u"item") {
            inItem = false;
            if (!item.version.isEmpty() && (!newest || compareVersions(item.version, newest->version) > 0))
                newest = item;
        }
    }
    if (xml.hasError()) {
        if (error)
            *error = {QStringLiteral("TolvanErrorDomain"), xml.lineNumber(), xml.errorString()};
        return std::nullopt;
    }
    if (newest && newest->displayVersion.isEmpty())
        newest->displayVersion = newest->version;
    return newest;
}

Updater::Updater(UserDefaults& defaults, const Bundle& bundle, QObject* parent)
    : QObject(parent), defaults_(defaults), bundle_(bundle), network_(new QNetworkAccessManager(this))
{
}

bool Updater::automaticallyChecksForUpdates() const { return defaults_.value(settings::updaterChecksAutomatically); }

void Updater::setAutomaticallyChecksForUpdates(bool on)
{
    if (on == automaticallyChecksForUpdates())
        return;
    defaults_.setValue(settings::updaterChecksAutomatically, on);
    emit automaticallyChecksForUpdatesChanged(on);
}

bool Updater::sendsSystemProfile() const { return defaults_.value(settings::updaterSendsProfile); }

void Updater::setSendsSystemProfile(bool on)
{
    if (on == sendsSystemProfile())
        return;
    defaults_.setValue(settings::updaterSendsProfile, on);
    emit sendsSystemProfileChanged(on);
}

std::optional<QUrl> Updater::feedURL() const
{
    QString feed = defaults_.value(settings::updateFeedURL);
    if (feed.isEmpty())
        feed = bundle_.objectForInfoDictionaryKey(settings::updateFeedURL.key).toString();
    const QUrl url(feed);
    if (feed.isEmpty() || !url.isValid())
        return std::nullopt;
    return url;
}

void Updater::checkForUpdates()
{
    const std::optional<QUrl> feed = feedURL();
    if (!feed) {
        emit checkFinished({.updatedByInstaller = true});
        return;
    }
    readFeed(*feed, false);
}

void Updater::checkForUpdatesInBackground()
{
    if (const std::optional<QUrl> feed = feedURL())
        readFeed(*feed, true);
}

void Updater::readFeed(const QUrl& feed, bool quietUnlessNewer)
{
    QNetworkReply* reply = network_->get(QNetworkRequest(feed));
    connect(reply, &QNetworkReply::finished, this, [this, reply, quietUnlessNewer] {
        reply->deleteLater();
        const auto report = [this, quietUnlessNewer](const UpdateCheckResult& result) {
            if (result.newerVersion || !quietUnlessNewer)
                emit checkFinished(result);
        };
        const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        if (reply->error() != QNetworkReply::NoError || status < 200 || status > 299)
            return report({std::nullopt, Error{QStringLiteral("TolvanErrorDomain"), status, reply->errorString()}});
        Error unreadable;
        std::optional<AppcastItem> newest = newestAppcastItem(reply->readAll(), &unreadable);
        if (!unreadable.message.isEmpty())
            return report({std::nullopt, unreadable});
        if (newest && compareVersions(newest->version, bundle_.buildVersion()) <= 0)
            newest.reset();
        report({newest, std::nullopt});
    });
}

}  // namespace tolvan
