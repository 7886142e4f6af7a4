#include "source/shell/feedback/FormPosting.h"

#include <QUuid>

namespace tolvan {

QByteArray newFormBoundary()
{
    return "x-mime-boundary://" + QUuid::createUuid().toByteArray(QUuid::WithoutBraces).toUpper();
}

void appendString(QByteArray& data, const QString& string) { data += string.toUtf8(); }

QByteArray multipartFormBody(const PostForm& form, const QByteArray& boundary)
{
    QByteArray body;
    for (const FormField& field : form) {
        body += "--" + boundary + "\r\n";
        appendString(body, QStringLiteral("Content-Disposition: form-data; name=\"%1\"\r\n").arg(field.name));
        body += "\r\n";
        std::visit([&body](const auto& value) {
            if constexpr (std::is_same_v<std::decay_t<decltype(value)>, QString>)
                appendString(body, value);
            else
                body += value;
        }, field.value);
        body += "\r\n";
    }
    body += "\r\n--" + boundary + "--\r\n";
    return body;
}

FormRequest requestWithURL(const QUrl& url, const PostForm& form)
{
    FormRequest result;
    result.boundary = newFormBoundary();
    result.body = multipartFormBody(form, result.boundary);
    result.request = QNetworkRequest(url);
    result.request.setRawHeader("Content-Type", "multipart/form-data; boundary=" + result.boundary);
    result.request.setRawHeader("Content-Length", QByteArray::number(result.body.size()));
    return result;
}

}  // namespace tolvan
