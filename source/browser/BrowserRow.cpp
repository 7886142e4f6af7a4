#include "source/browser/BrowserRow.h"

QVariant BrowserRow::value(const QString& keyPath) const
{
    if (track_)
        return track_->valueForKeyPath(keyPath);
    return values_.value(keyPath);
}

QString foldedForSearch(const QString& text)
{
    bool ascii = true;
    for (QChar c : text)
        ascii = ascii && c.unicode() < 0x80;
    if (ascii)
        return text.toLower();
    const QString decomposed = text.normalized(QString::NormalizationForm_KD);
    QString folded;
    folded.reserve(decomposed.size());
    for (QChar c : decomposed) {
        if (!c.isMark())
            folded.append(c);
    }
    return folded.toCaseFolded();
}

void indexForSearch(BrowserRows& rows, const QStringList& keys)
{
    for (BrowserRow& row : rows) {
        QString text;
        for (const QString& key : keys) {
            text += foldedForSearch(row.string(key));
            text += QLatin1Char('\n');
        }
        row.setSearchText(std::move(text));
    }
}

QString searchNeedle(const QString& searchString)
{
    QString needle = foldedForSearch(searchString);
    needle.remove(QLatin1Char('\n'));
    return needle.isEmpty() ? QString() : needle;
}
