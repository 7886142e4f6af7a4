#pragma once
// Up to three recently played songs of the library as covers with their title
// and artist, on the welcome view. Hovering a cover lights its frame; clicking
// shows the pressed frame and a quarter of a second later opens the song, as a
// song chosen in the songs list would. The list loads on the event-loop pass
// after it is made, and again whenever the library finishes loading, so songs
// of a library that loads later still appear.

#include "source/browser/BrowserHost.h"
#include "source/media_library/ZNTMediaLibrary.h"

#include <QColor>
#include <QImage>
#include <QPointer>
#include <QWidget>

class QVariantAnimation;

// One cover of 140 x 140 points: the artwork, three frames over it (normal,
// hover, pressed: one of them shown at a time, fading) and a two-line caption.
class CoverListItem : public QWidget {
    Q_OBJECT
public:
    static constexpr int side = 140;
    static constexpr QRectF coverRect{25, 5, 90, 90};
    static constexpr QRectF overlayRect{19, -1, 102, 102};
    static constexpr QRectF captionRect{0, 104, 140, 36};
    static constexpr qreal fontSize = 14;

    explicit CoverListItem(QWidget* parent = nullptr);

    void setRepresentedObject(ZNTMediaLibraryMediaItemPtr item);
    const ZNTMediaLibraryMediaItemPtr& representedObject() const { return item_; }

    // The caption's lines: the title in bold, then the artist's name.
    struct CaptionLine {
        QString text;
        bool bold;
    };
    static QList<CaptionLine> captionFor(const ZNTMediaLibraryMediaItem& item);
    // The artwork at twice the cover's size, else the default cover.
    static QImage imageFor(const ZNTMediaLibraryMediaItem& item);

    QColor textColor() const { return textColor_; }
    void setTextColor(const QColor& color);

    enum class Frame { normal, highlighted, selected };
    // The frame being shown (or faded in).
    Frame frame() const { return frame_; }
    bool isSelected() const { return selected_; }
    void setSelected(bool selected);

signals:
    void pressed();

protected:
    void paintEvent(QPaintEvent*) override;
    void enterEvent(QEnterEvent*) override;
    void leaveEvent(QEvent*) override;
    void mousePressEvent(QMouseEvent*) override;
    void hideEvent(QHideEvent*) override;

private:
    void showFrame(Frame frame);

    ZNTMediaLibraryMediaItemPtr item_;
    QList<CaptionLine> caption_;
    QImage cover_;
    QColor textColor_ = Qt::white;
    bool selected_ = false;
    Frame frame_ = Frame::normal;
    Frame fadingFrom_ = Frame::normal;
    qreal fade_ = 1;  // how far the shown frame has faded in
    QVariantAnimation* fading_;
};

class CoverListController : public QObject {
    Q_OBJECT
    Q_PROPERTY(QColor textColor READ textColor WRITE setTextColor)
    Q_PROPERTY(quint64 recentCount READ recentCount NOTIFY recentCountChanged)
public:
    static constexpr unsigned coverCount = 3;
    static constexpr int chooseDelayMilliseconds = 250;

    explicit CoverListController(const BrowserServices& services, QObject* parent = nullptr);
    ~CoverListController() override;

    QWidget* view() const { return view_; }
    quint64 recentCount() const { return recentCount_; }
    const QList<CoverListItem*>& items() const { return items_; }

    // The colour of the captions of covers made from now on.
    QColor textColor() const { return textColor_; }
    void setTextColor(const QColor& color) { textColor_ = color; }

    void updateRecentItems();
    // What a click on a cover does: the pressed frame now, the song a moment later.
    void selectItem(CoverListItem* item);
    void itemSelected(const ZNTMediaLibraryMediaItemPtr& item);

signals:
    void recentCountChanged();

private:
    void layoutItems();

    const BrowserServices services_;
    QPointer<QWidget> view_;
    QList<CoverListItem*> items_;
    quint64 recentCount_ = 0;
    QColor textColor_ = Qt::white;
    bool changingCollection_ = false;
};
