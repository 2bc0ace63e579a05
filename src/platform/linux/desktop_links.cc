#include "platform/linux/desktop_links.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QProcess>
#include <QStandardPaths>
#include <QUrl>

#include "runtime/logger.h"

namespace halvyn {

DesktopLinks::DesktopLinks(LogSink* logs, std::string opener) : logs_(logs), opener_(std::move(opener)) {}

bool DesktopLinks::openURL(const std::string& url) {
    Logger log(logs_, "com.halvyn.app", "DesktopLinks");
    // Tolerant, as a browser is: a stray space in a meeting link is encoded, not refused.
    const QUrl parsed(QString::fromStdString(url), QUrl::TolerantMode);
    if (!parsed.isValid() || parsed.scheme().isEmpty()) {
        log.error("Not a URL, not opened: %{public}s", url);
        return false;
    }
    const QString program = QStandardPaths::findExecutable(QString::fromStdString(opener_));
    if (program.isEmpty()) {
        log.error("Cannot open %{public}s: %{public}s is not installed", url, opener_);
        return false;
    }
    // A scheme nothing here handles would otherwise end up in a browser as an unknown address.
    if (!canOpen(url)) {
        log.error("Cannot open %{public}s: no application here opens %{public}s links", url,
                  parsed.scheme().toStdString());
        return false;
    }
    if (!QProcess::startDetached(program, {parsed.toString(QUrl::FullyEncoded)})) {
        log.error("Cannot open %{public}s: %{public}s did not start", url, opener_);
        return false;
    }
    return true;
}

bool DesktopLinks::canOpen(const std::string& url) {
    const QUrl parsed(QString::fromStdString(url), QUrl::TolerantMode);
    const std::string scheme = parsed.scheme().toLower().toStdString();
    if (!parsed.isValid() || scheme.empty()) return false;
    if (QStandardPaths::findExecutable(QString::fromStdString(opener_)).isEmpty()) return false;
    if (scheme == "http" || scheme == "https" || scheme == "mailto" || scheme == "file") return true;
    if (auto known = handled_.find(scheme); known != handled_.end()) return known->second;
    bool handled = false;
    const QString mime = QStandardPaths::findExecutable(QStringLiteral("xdg-mime"));
    if (!mime.isEmpty()) {
        QProcess query;
        query.start(mime, {QStringLiteral("query"), QStringLiteral("default"),
                           QStringLiteral("x-scheme-handler/") + QString::fromStdString(scheme)});
        // A local script that reads a few files; bounded so a broken one cannot hold the window.
        if (query.waitForFinished(2000) && query.exitStatus() == QProcess::NormalExit && query.exitCode() == 0)
            handled = !query.readAllStandardOutput().trimmed().isEmpty();
        else
            query.kill();
    }
    handled_[scheme] = handled;
    return handled;
}

void DesktopLinks::clearContents() {
    if (QClipboard* c = QGuiApplication::clipboard()) c->clear(QClipboard::Clipboard);
}

void DesktopLinks::setString(const std::string& text) {
    if (QClipboard* c = QGuiApplication::clipboard()) c->setText(QString::fromStdString(text), QClipboard::Clipboard);
}

}  // namespace halvyn
