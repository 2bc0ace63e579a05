#pragma once
// Links and the clipboard on a Linux desktop: a URL opens with the application the user chose for
// it (xdg-open), and copied text goes on the clipboard.

#include <map>
#include <string>

#include "platform/pasteboard.h"
#include "platform/url_opener.h"

namespace halvyn {

class LogSink;

class DesktopLinks final : public UrlOpener, public Pasteboard {
public:
    // `opener` is the program that opens a URL for the user; absent from PATH, nothing opens.
    explicit DesktopLinks(LogSink* logs, std::string opener = "xdg-open");

    // Started without waiting for it: the opener may bring up a browser that lives on. Only a URL
    // with a scheme is handed over, as one argument, so text can never become an option.
    bool openURL(const std::string& url) override;
    // Web, mail and file links when the opener is installed; another scheme only when the user's
    // configuration names a handler for it (asked once per scheme).
    bool canOpen(const std::string& url) override;

    void clearContents() override;
    void setString(const std::string& text) override;

private:
    LogSink* logs_;
    std::string opener_;
    std::map<std::string, bool> handled_;
};

}  // namespace halvyn
