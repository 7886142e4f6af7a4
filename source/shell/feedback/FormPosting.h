#pragma once
// A form posted as multipart/form-data: each field one part with only a
// Content-Disposition header, values as their bytes.

#include <QByteArray>
#include <QList>
#include <QNetworkRequest>
#include <QString>
#include <QUrl>

#include <variant>

namespace tolvan {

// Text goes as UTF-8, data as it is.
using FormValue = std::variant<QString, QByteArray>;

struct FormField {
    QString name;
    FormValue value;
};

// The fields in the order they are sent.
using PostForm = QList<FormField>;

struct FormRequest {
    QNetworkRequest request;  // POST headers: Content-Type with the boundary, Content-Length
    QByteArray body;
    QByteArray boundary;
};

// "x-mime-boundary://" and a new UUID in upper case, different every time.
QByteArray newFormBoundary();

void appendString(QByteArray& data, const QString& string);

QByteArray multipartFormBody(const PostForm& form, const QByteArray& boundary);

// A request for posting the form to url, with a new boundary.
FormRequest requestWithURL(const QUrl& url, const PostForm& form);

}  // namespace tolvan
