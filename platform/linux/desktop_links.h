#pragma once
// Links and the clipboard on a Linux desktop: a URL opens with the application the user chose for
// it (xdg-open), and copied text goes on the clipboard.

#include <QObject>

#include <map>
#include <string>
#include <vector>

#include "platform/pasteboard.h"
#include "platform/url_opener.h"

namespace halvyn {

class LogSink;

class DesktopLinks final : public UrlOpener, public Pasteboard {
public:
    // `opener` is the program that opens a URL for the user; absent from PATH, nothing opens.
    // The handlers of the program's own schemes are asked for without waiting: at once, or with
    // `askNow` false when askHandlers() says so (a scheme needed before then is asked for then).
    explicit DesktopLinks(LogSink* logs, std::string opener = "xdg-open", bool askNow = true);
    void askHandlers();

    // Started without waiting for it: the opener may bring up a browser that lives on. Only a
    // secure web link, or a link in one of the program's own schemes (FaceTime, the calendar, the
    // settings panes) that a handler here takes, is handed over, as one argument, so text can
    // never become an option. A link of an own scheme whose handler is still being asked for
    // opens once the answer comes (true here; a missing handler is logged then).
    bool openURL(const std::string& url) override;
    // A secure web link when the opener is installed; an own scheme when the user's configuration
    // names a handler for it (false while that is still being asked); nothing else.
    bool canOpen(const std::string& url) override;

    void clearContents() override;
    void setString(const std::string& text) override;

private:
    enum class Handler { asking, present, absent };
    // Asks xdg-mime for the scheme's handler in the background; the answer comes on the loop.
    void ask(const std::string& scheme);
    void answered(const std::string& scheme, bool present);
    Handler handler(const std::string& scheme);
    bool start(const QString& program, const QString& url, const std::string& shown);

    LogSink* logs_;
    std::string opener_;
    std::map<std::string, Handler> handlers_;
    std::map<std::string, std::vector<std::string>> waiting_;  // links of a scheme still being asked for
    QObject anchor_;  // owns the running questions; their answers die with the links
};

}  // namespace halvyn
