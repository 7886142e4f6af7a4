#pragma once
// What the content area shows when a song cannot be opened: the "error"
// picture and one line saying why, both centred, whatever the size.

#include "platform/foundation/Error.h"

#include <QObject>
#include <QPointer>

#include <memory>

class QWidget;

class ErrorViewController : public QObject {
    Q_OBJECT
public:
    static std::unique_ptr<ErrorViewController> errorViewWithError(const tolvan::Error& error);
    ~ErrorViewController() override;

    // The sentence for an error: ours for the failures of opening a song,
    // else the error's own description.
    static QString displayStringForError(const tolvan::Error& error);

    const tolvan::Error& error() const { return error_; }
    // Taken when the view is built; later changes leave the text as it is.
    void setError(const tolvan::Error& error) { error_ = error; }

    // Built the first time it is asked for.
    QWidget* view();
    QWidget* errorImageView() const { return imageView_; }
    QString errorText() const;

private:
    ErrorViewController() = default;
    void loadView();

    tolvan::Error error_;
    QPointer<QWidget> view_;
    QWidget* imageView_ = nullptr;
    QWidget* textView_ = nullptr;
};
