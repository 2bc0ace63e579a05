#include "platform/linux/qt_http.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSaveFile>
#include <QUrl>

namespace halvyn {

namespace {

struct Transfer {
    Http::Completion completion;
    std::size_t maxBytes = 0;
    std::size_t received = 0;
    std::string body;
    std::unique_ptr<QSaveFile> file;  // for a download: replaced only when it all arrived
    std::string failure;              // set when this side gave up (too large, not writable)
    bool done = false;
};

}  // namespace

QtHttp::QtHttp() : manager_(std::make_unique<QNetworkAccessManager>()) {
    manager_->setRedirectPolicy(QNetworkRequest::NoLessSafeRedirectPolicy);
}

QtHttp::~QtHttp() = default;

void QtHttp::send(const HttpRequest& request, Completion completion) { start(request, nullptr, std::move(completion)); }

void QtHttp::download(const HttpRequest& request, const std::string& destination, Completion completion) {
    start(request, &destination, std::move(completion));
}

void QtHttp::start(const HttpRequest& request, const std::string* destination, Completion completion) {
    auto t = std::make_shared<Transfer>();
    t->completion = std::move(completion);
    t->maxBytes = request.maxBodyBytes;

    QNetworkRequest req(QUrl(QString::fromStdString(request.url)));
    for (auto& [name, value] : request.headers)
        req.setRawHeader(QByteArray::fromStdString(name), QByteArray::fromStdString(value));
    req.setMaximumRedirectsAllowed(kMaxRedirects);
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(request.timeout).count();
    req.setTransferTimeout(static_cast<int>(std::clamp<long long>(ms, 1, 24LL * 3600 * 1000)));

    QNetworkReply* reply = nullptr;
    if (request.method == "GET") reply = manager_->get(req);
    else reply = manager_->sendCustomRequest(req, QByteArray::fromStdString(request.method));

    if (destination) {
        t->file = std::make_unique<QSaveFile>(QString::fromStdString(*destination));
        if (!t->file->open(QIODevice::WriteOnly)) {
            t->failure = t->file->errorString().toStdString();
            reply->abort();
        }
    }

    auto tooLarge = [t, reply](std::size_t size) {
        if (size <= t->maxBytes) return false;
        t->failure = "The response is too large.";
        reply->abort();
        return true;
    };
    // A declared length beyond the limit is refused before any of the body is read.
    QObject::connect(reply, &QNetworkReply::metaDataChanged, reply, [reply, tooLarge] {
        const QVariant length = reply->header(QNetworkRequest::ContentLengthHeader);
        if (length.isValid()) tooLarge(length.toULongLong());
    });
    QObject::connect(reply, &QNetworkReply::readyRead, reply, [t, reply, tooLarge] {
        if (!t->failure.empty()) return;
        const QByteArray chunk = reply->readAll();
        t->received += static_cast<std::size_t>(chunk.size());
        if (tooLarge(t->received)) return;
        if (t->file) {
            if (t->file->write(chunk) != chunk.size()) {
                t->failure = t->file->errorString().toStdString();
                reply->abort();
            }
        } else {
            t->body.append(chunk.constData(), static_cast<std::size_t>(chunk.size()));
        }
    });
    QObject::connect(reply, &QNetworkReply::finished, reply, [t, reply] {
        if (t->done) return;
        t->done = true;
        reply->deleteLater();
        HttpResponse response;
        response.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        for (auto& pair : reply->rawHeaderPairs())
            response.headers.emplace_back(pair.first.toStdString(), pair.second.toStdString());
        const auto error = reply->error();
        // An HTTP error status is an answer, not a transport failure: the status tells it.
        const bool httpStatusError = response.status > 0 && ((error >= QNetworkReply::ContentAccessDenied &&
                                                                error <= QNetworkReply::UnknownContentError) ||
                                                               error == QNetworkReply::ProtocolInvalidOperationError ||
                                                               (error >= QNetworkReply::InternalServerError &&
                                                                error <= QNetworkReply::UnknownServerError));
        if (!t->failure.empty()) {
            response.error = t->failure;
        } else if (error == QNetworkReply::OperationCanceledError || error == QNetworkReply::TimeoutError) {
            response.error = "The request timed out.";
        } else if (error == QNetworkReply::TooManyRedirectsError) {
            response.error = "Too many redirects.";
        } else if (error != QNetworkReply::NoError && !httpStatusError) {
            response.error = reply->errorString().toStdString();
        }
        if (t->file) {
            if (response.ok() && !t->file->commit()) response.error = t->file->errorString().toStdString();
            else if (!response.ok()) t->file->cancelWriting();
            t->file.reset();
        } else {
            response.body = std::move(t->body);
        }
        if (!response.error.empty()) response.body.clear();
        auto completion = std::move(t->completion);
        completion(std::move(response));
    });
}

}  // namespace halvyn
