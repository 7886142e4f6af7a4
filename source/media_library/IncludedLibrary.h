#pragma once
// The ready-made tones in the resources' "included" folder: one sub-folder per
// set, one file per tone, and an optional "footer.plist" dictionary shown after
// a set's tones. Names are localised through the "included_ringtones" table.

#include <QList>
#include <QString>
#include <QVariantMap>

#include <memory>

namespace tolvan {
class Localizer;
}

class IncludedLibrary {
public:
    static IncludedLibrary& defaultLibrary();  // over the main bundle

    IncludedLibrary(QString resourcesPath, const tolvan::Localizer& localizer);
    ~IncludedLibrary();

    QString includedPath() const { return resourcesPath_ + "/included"; }

    // Rescans and answers the sets: {"title", "setPath"}, by title.
    QList<QVariantMap> includedRingtoneSets();
    void loadIncludedSets();
    QList<QVariantMap> sets() const;

    // The set's tones by title, each {"title", "included_set", "Location",
    // "includedRingtone": true, "allowVolumeAdjustment": false}, then the
    // footer dictionary when the set has a readable one.
    QList<QVariantMap> ringtonesWithSetPath(const QString& setPath) const;

private:
    QString localized(const QString& name) const;

    struct Sets;

    QString resourcesPath_;
    const tolvan::Localizer& localizer_;
    const std::unique_ptr<Sets> sets_;  // the last scan, read from any thread
};
