#pragma once
// A small HTTP/1.1 server on the loopback interface for the tests of the adapters that speak HTTP.

#include <QByteArray>
#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include <gtest/gtest.h>

#include "platform/http.h"
#include "shell/event_loop.h"

namespace halvyn::test {

// A small HTTP/1.1 server: one request per connection, answered by `handler`.
class LoopbackServer {
public:
    struct Request {
        QByteArray path;
        std::map<QByteArray, QByteArray> headers;  // lower-case names
    };
    struct Reply {
        int status = 200;
        QByteArray body;
        QByteArray location;
        bool hang = false;              // read the request and never answer
        qint64 declaredLength = -1;     // a Content-Length other than the body's
        bool withoutLength = false;     // no Content-Length: the body ends with the connection
        int trickleMs = 0;              // send a declared 1 MB body one byte per this many ms, forever
    };
    std::function<Reply(const Request&)> handler;
    int requests = 0;

    LoopbackServer() {
        EXPECT_TRUE(server_.listen(QHostAddress::LocalHost, 0));
        QObject::connect(&server_, &QTcpServer::newConnection, &server_, [this] {
            while (QTcpSocket* s = server_.nextPendingConnection()) {
                auto buffer = std::make_shared<QByteArray>();
                QObject::connect(s, &QTcpSocket::readyRead, s, [this, s, buffer] {
                    buffer->append(s->readAll());
                    const qsizetype end = buffer->indexOf("\r\n\r\n");
                    if (end < 0) return;
                    answer(s, buffer->left(end));
                    buffer->clear();
                });
                QObject::connect(s, &QTcpSocket::disconnected, s, &QObject::deleteLater);
            }
        });
    }
    QByteArray url(const char* path = "/") const {
        return "http://127.0.0.1:" + QByteArray::number(server_.serverPort()) + path;
    }

private:
    void answer(QTcpSocket* s, const QByteArray& head) {
        ++requests;
        Request req;
        const auto lines = head.split('\n');
        const auto first = lines.value(0).trimmed().split(' ');
        req.path = first.value(1);
        for (int i = 1; i < lines.size(); ++i) {
            const qsizetype colon = lines[i].indexOf(':');
            if (colon > 0) req.headers[lines[i].left(colon).trimmed().toLower()] = lines[i].mid(colon + 1).trimmed();
        }
        const Reply r = handler(req);
        if (r.hang) return;
        if (r.trickleMs > 0) {
            s->write("HTTP/1.1 200 X\r\nContent-Length: 1000000\r\n\r\n");
            auto* timer = new QTimer(s);
            QObject::connect(timer, &QTimer::timeout, s, [s] { s->write("x"); });
            timer->start(r.trickleMs);
            return;
        }
        QByteArray out = "HTTP/1.1 " + QByteArray::number(r.status) + " X\r\nConnection: close\r\n";
        if (!r.location.isEmpty()) out += "Location: " + r.location + "\r\n";
        if (!r.withoutLength)
            out += "Content-Length: " + QByteArray::number(r.declaredLength >= 0 ? r.declaredLength : r.body.size()) + "\r\n";
        out += "\r\n" + r.body;
        s->write(out);
        if (r.declaredLength < 0) s->disconnectFromHost();
    }

    QTcpServer server_;
};

// Sends `request` through `http`, or downloads it to `destination` when one is given, and waits for
// the answer.
inline HttpResponse exchange(Http& http, const HttpRequest& request, const std::string& destination = {}) {
    std::optional<HttpResponse> got;
    auto done = [&](HttpResponse resp) { got = std::move(resp); };
    if (destination.empty()) http.send(request, done);
    else http.download(request, destination, done);
    EXPECT_TRUE(spinUntil([&] { return got.has_value(); }, 20000)) << request.url;
    return got.value_or(HttpResponse{});
}

}  // namespace halvyn::test
