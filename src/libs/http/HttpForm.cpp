#include "libs/http/HttpForm.h"

#include <utility>

QByteArray EncodeFormBody(const std::vector<std::pair<QByteArray, QString>>& fields) {
    QByteArray body;
    bool first = true;
    for (const auto& [name, value] : fields) {
        if (!std::exchange(first, false)) {
            body += '&';
        }
        body += name.toPercentEncoding("[]");
        body += '=';
        body += value.toUtf8().toPercentEncoding();
    }
    return body;
}
