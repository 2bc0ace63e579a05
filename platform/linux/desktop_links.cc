#include "platform/linux/desktop_links.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QProcess>
#include <QStandardPaths>
#include <QTimer>
#include <QUrl>

#include "runtime/logger.h"

namespace halvyn {

namespace {

// The schemes of the links the program makes itself besides web links: meeting links, events in
// the calendar application and the system's settings panes. They open only where a handler is
// installed for them; every other scheme (file:, smb:, plain http:, …) never leaves the program.
constexpr const char* kOwnSchemes[] = {"facetime", "ical", "x-apple.systempreferences"};
// xdg-mime is a local script that reads a few files; one that takes longer is taken as "none".
constexpr int kAskTimeoutMs = 2000;

bool isOwnScheme(const std::string& scheme) {
    for (const char* s : kOwnSchemes)
        if (scheme == s) return true;
    return false;
}

}  // namespace

DesktopLinks::DesktopLinks(LogSink* logs, std::string opener, bool askNow) : logs_(logs), opener_(std::move(opener)) {
    if (askNow) askHandlers();
}

void DesktopLinks::askHandlers() {
    for (const char* s : kOwnSchemes)
        if (!handlers_.contains(s)) ask(s);
}

DesktopLinks::Handler DesktopLinks::handler(const std::string& scheme) {
    if (!handlers_.contains(scheme)) ask(scheme);
    return handlers_.at(scheme);
}

bool DesktopLinks::openURL(const std::string& url) {
    Logger log(logs_, "com.halvyn.app", "DesktopLinks");
    // Tolerant, as a browser is: a stray space in a meeting link is encoded, not refused.
    const QUrl parsed(QString::fromStdString(url), QUrl::TolerantMode);
    const std::string scheme = parsed.scheme().toLower().toStdString();
    if (!parsed.isValid() || scheme.empty()) {
        log.error("Not a URL, not opened: %{public}s", url);
        return false;
    }
    if (scheme != "https" && !isOwnScheme(scheme)) {
        log.error("Not opened: %{public}s links are not opened from here: %{public}s", scheme, url);
        return false;
    }
    const QString program = QStandardPaths::findExecutable(QString::fromStdString(opener_));
    if (program.isEmpty()) {
        log.error("Cannot open %{public}s: %{public}s is not installed", url, opener_);
        return false;
    }
    const QString encoded = parsed.toString(QUrl::FullyEncoded);
    if (scheme == "https") return start(program, encoded, url);
    // A scheme nothing here handles would otherwise end up in a browser as an unknown address.
    switch (handler(scheme)) {
        case Handler::present: return start(program, encoded, url);
        case Handler::asking: waiting_[scheme].push_back(url); return true;
        case Handler::absent: break;
    }
    log.error("Cannot open %{public}s: no application here opens %{public}s links", url, scheme);
    return false;
}

bool DesktopLinks::canOpen(const std::string& url) {
    const QUrl parsed(QString::fromStdString(url), QUrl::TolerantMode);
    const std::string scheme = parsed.scheme().toLower().toStdString();
    if (!parsed.isValid() || (scheme != "https" && !isOwnScheme(scheme))) return false;
    if (QStandardPaths::findExecutable(QString::fromStdString(opener_)).isEmpty()) return false;
    return scheme == "https" || handler(scheme) == Handler::present;
}

bool DesktopLinks::start(const QString& program, const QString& url, const std::string& shown) {
    if (QProcess::startDetached(program, {url})) return true;
    Logger(logs_, "com.halvyn.app", "DesktopLinks").error("Cannot open %{public}s: %{public}s did not start", shown, opener_);
    return false;
}

void DesktopLinks::ask(const std::string& scheme) {
    const QString mime = QStandardPaths::findExecutable(QStringLiteral("xdg-mime"));
    if (mime.isEmpty()) {
        handlers_[scheme] = Handler::absent;
        return;
    }
    handlers_[scheme] = Handler::asking;
    auto* query = new QProcess(&anchor_);
    query->setStandardInputFile(QProcess::nullDevice());
    // Each question is answered once: by its end, its failure to start or its time running out.
    auto done = [this, query, scheme](bool present) {
        if (query->property("answered").toBool()) return;
        query->setProperty("answered", true);
        answered(scheme, present);
        query->deleteLater();
    };
    QObject::connect(query, &QProcess::finished, &anchor_, [query, done](int code, QProcess::ExitStatus status) {
        done(status == QProcess::NormalExit && code == 0 && !query->readAllStandardOutput().trimmed().isEmpty());
    });
    QObject::connect(query, &QProcess::errorOccurred, &anchor_, [done](QProcess::ProcessError e) {
        if (e == QProcess::FailedToStart) done(false);
    });
    QTimer::singleShot(kAskTimeoutMs, query, [query, done] {
        query->kill();
        done(false);
    });
    query->start(mime, {QStringLiteral("query"), QStringLiteral("default"),
                        QStringLiteral("x-scheme-handler/") + QString::fromStdString(scheme)});
}

void DesktopLinks::answered(const std::string& scheme, bool present) {
    handlers_[scheme] = present ? Handler::present : Handler::absent;
    auto waiting = std::move(waiting_[scheme]);
    waiting_.erase(scheme);
    for (const std::string& url : waiting) openURL(url);
}

void DesktopLinks::clearContents() {
    if (QClipboard* c = QGuiApplication::clipboard()) c->clear(QClipboard::Clipboard);
}

void DesktopLinks::setString(const std::string& text) {
    if (QClipboard* c = QGuiApplication::clipboard()) c->setText(QString::fromStdString(text), QClipboard::Clipboard);
}

}  // namespace halvyn
