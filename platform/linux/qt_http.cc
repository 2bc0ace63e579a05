#include "platform/linux/qt_http.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QRandomGenerator>
#include <QTimer>
#include <QUrl>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <utility>

#include "updates/release.h"

namespace halvyn {

namespace {

struct Transfer {
    Http::Completion completion;
    std::size_t maxBytes = 0;
    std::size_t received = 0;
    std::string body;
    // A download goes to a new file of its own beside the destination, renamed over it only when
    // the whole body arrived.
    int fd = -1;
    std::string partial;
    std::string destination;
    std::string failure;    // set when this side gave up (too large, too slow, refused, not writable)
    bool done = false;

    ~Transfer();
};

std::string errnoText() { return std::strerror(errno); }

// The new file is made with O_EXCL | O_NOFOLLOW under a name no one can guess: nothing planted
// beside the destination, a link least of all, is written through.
std::string createPartial(Transfer& t) {
    for (int attempt = 0; attempt < 8; ++attempt) {
        char suffix[24];
        std::snprintf(suffix, sizeof suffix, ".part-%016llx",
                      static_cast<unsigned long long>(QRandomGenerator::system()->generate64()));
        const std::string name = t.destination + suffix;
        t.fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (t.fd >= 0) {
            t.partial = name;
            return {};
        }
        if (errno != EEXIST) break;
    }
    return t.destination + ": " + errnoText();
}

bool writeAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

// Puts the whole body in place: the destination's name now means the new file.
std::string commit(Transfer& t) {
    const int fd = std::exchange(t.fd, -1);
    if (::fsync(fd) != 0 || ::close(fd) != 0) return t.destination + ": " + errnoText();
    if (::rename(t.partial.c_str(), t.destination.c_str()) != 0) return t.destination + ": " + errnoText();
    t.partial.clear();
    return {};
}

// What is left of a download that did not complete goes now, before the completion runs.
void discard(Transfer& t) {
    if (t.fd >= 0) ::close(std::exchange(t.fd, -1));
    if (!t.partial.empty()) ::unlink(std::exchange(t.partial, std::string()).c_str());
}

Transfer::~Transfer() { discard(*this); }

}  // namespace

QtHttp::QtHttp() = default;

QtHttp::~QtHttp() = default;

QNetworkAccessManager& QtHttp::manager() {
    // Made for the first request: most runs of the helper, and many of the program, never make one.
    if (!manager_) {
        manager_ = std::make_unique<QNetworkAccessManager>();
        // Only http and https, never from https down to http; secure-only requests are held tighter below.
        manager_->setRedirectPolicy(QNetworkRequest::NoLessSafeRedirectPolicy);
    }
    return *manager_;
}

void QtHttp::send(const HttpRequest& request, Completion completion) { start(request, nullptr, std::move(completion)); }

void QtHttp::download(const HttpRequest& request, const std::string& destination, Completion completion) {
    start(request, &destination, std::move(completion));
}

void QtHttp::start(const HttpRequest& request, const std::string* destination, Completion completion) {
    auto t = std::make_shared<Transfer>();
    t->completion = std::move(completion);
    t->maxBytes = request.maxBodyBytes;
    if (destination) t->destination = *destination;

    // Refused before anything is sent; the completion still comes on a later turn.
    std::string refusal;
    if (request.secureOnly && !isSecureUpdateURL(request.url))
        refusal = "refused the address \"" + request.url + "\": not HTTPS";
    else if (destination)
        refusal = createPartial(*t);
    if (!refusal.empty()) {
        QTimer::singleShot(0, &manager(), [t, refusal] {
            HttpResponse response;
            response.error = refusal;
            auto completion = std::move(t->completion);
            completion(std::move(response));
        });
        return;
    }

    QNetworkRequest req(QUrl(QString::fromStdString(request.url)));
    for (auto& [name, value] : request.headers)
        req.setRawHeader(QByteArray::fromStdString(name), QByteArray::fromStdString(value));
    req.setMaximumRedirectsAllowed(kMaxRedirects);
    auto milliseconds = [](Duration d) {
        const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(d).count();
        return static_cast<int>(std::clamp<long long>(ms, 1, 24LL * 3600 * 1000));
    };
    req.setTransferTimeout(milliseconds(request.timeout));

    QNetworkReply* reply = nullptr;
    if (request.method == "GET") reply = manager().get(req);
    else reply = manager().sendCustomRequest(req, QByteArray::fromStdString(request.method));

    auto giveUp = [t, reply](std::string why) {
        if (!t->failure.empty() || t->done) return;
        t->failure = std::move(why);
        reply->abort();
    };
    // The whole request, not only each silence, is bounded; the timer dies with the reply.
    QTimer::singleShot(milliseconds(request.deadline), reply, [giveUp] { giveUp("The request took too long."); });
    // The next request of a redirect is sent on a later turn: giving up here means it never is.
    if (request.secureOnly) {
        QObject::connect(reply, &QNetworkReply::redirected, reply, [giveUp](const QUrl& to) {
            const std::string target = to.toString(QUrl::FullyEncoded).toStdString();
            if (!isSecureUpdateURL(target)) giveUp("refused the redirect to \"" + target + "\": not HTTPS");
        });
    }
    auto tooLarge = [t, giveUp](std::size_t size) {
        if (size <= t->maxBytes) return false;
        giveUp("The response is too large.");
        return true;
    };
    // A declared length beyond the limit is refused before any of the body is read.
    QObject::connect(reply, &QNetworkReply::metaDataChanged, reply, [reply, tooLarge] {
        const QVariant length = reply->header(QNetworkRequest::ContentLengthHeader);
        if (length.isValid()) tooLarge(length.toULongLong());
    });
    QObject::connect(reply, &QNetworkReply::readyRead, reply, [t, reply, tooLarge, giveUp] {
        if (!t->failure.empty()) return;
        const QByteArray chunk = reply->readAll();
        t->received += static_cast<std::size_t>(chunk.size());
        if (tooLarge(t->received)) return;
        if (t->fd >= 0) {
            if (!writeAll(t->fd, chunk.constData(), static_cast<std::size_t>(chunk.size())))
                giveUp(t->destination + ": " + errnoText());
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
        if (!t->destination.empty()) {
            if (response.ok())
                if (auto problem = commit(*t); !problem.empty()) response.error = problem;
            discard(*t);
        } else {
            response.body = std::move(t->body);
        }
        if (!response.error.empty()) response.body.clear();
        auto completion = std::move(t->completion);
        completion(std::move(response));
    });
}

}  // namespace halvyn
