#pragma once
// The desktop's list of recently used files ("recently-used.xbel") written by
// the tests, with bookmarks laid out as a desktop's recent-files manager
// writes them: the file's URL and dates on the bookmark, the application that
// used it in the bookmark's metadata.

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>
#include <QUrl>

#include <vector>

namespace tolvan::test {

struct RecentUse {
    QString path;      // a local file, written as its encoded file URL
    QString modified;  // ISO 8601; empty leaves the attribute out
    QString visited = {};
    QString href = {};  // written as it stands instead of the path's URL
};

inline QByteArray recentlyUsedXbel(const std::vector<RecentUse>& uses)
{
    QByteArray text = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                      "<xbel version=\"1.0\"\n"
                      "      xmlns:bookmark=\"http://www.freedesktop.org/standards/desktop-bookmarks\"\n"
                      "      xmlns:mime=\"http://www.freedesktop.org/standards/shared-mime-info\"\n>\n";
    for (const RecentUse& use : uses) {
        const QString href = use.href.isEmpty() ? QString::fromUtf8(QUrl::fromLocalFile(use.path).toEncoded()) : use.href;
        text += "  <bookmark href=\"" + href.toHtmlEscaped().toUtf8() + "\" added=\"2001-01-01T00:00:00Z\"";
        if (!use.modified.isEmpty())
            text += " modified=\"" + use.modified.toUtf8() + "\"";
        if (!use.visited.isEmpty())
            text += " visited=\"" + use.visited.toUtf8() + "\"";
        text += ">\n"
                "    <info>\n"
                "      <metadata owner=\"http://freedesktop.org\">\n"
                "        <mime:mime-type type=\"audio/mpeg\"/>\n"
                "        <bookmark:applications>\n"
                "          <bookmark:application name=\"Player\" exec=\"&apos;player %u&apos;\" modified=\"" +
                use.modified.toUtf8() + "\" count=\"1\"/>\n"
                "        </bookmark:applications>\n"
                "      </metadata>\n"
                "    </info>\n"
                "  </bookmark>\n";
    }
    return text + "</xbel>\n";
}

// Writes bytes to path, making its folder.
inline bool writeRecentlyUsedFile(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

}  // namespace tolvan::test
