#pragma once
// HTTP requests the system makes: the update server and its assets, player artwork, the weather
// service. A request never blocks the main queue: its completion runs once, on the main queue,
// with the response or with the transport error.

#include <cstddef>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "runtime/time.h"

namespace halvyn {

using HttpHeaders = std::vector<std::pair<std::string, std::string>>;

struct HttpRequest {
    std::string method = "GET";
    std::string url;
    HttpHeaders headers;  // in the order they are sent
    // Gives up after this long without any data arriving.
    Duration timeout = seconds(60.0);
    // Gives up after this long in all, however steadily data arrives: a server that trickles a
    // byte now and then cannot hold a request open.
    Duration deadline = seconds(60.0);
    // The address and every redirect must be https, or plain http to this machine (updates).
    bool secureOnly = false;
    // A body longer than this is not read: the request fails with an error instead.
    std::size_t maxBodyBytes = std::size_t{64} << 20;
};

struct HttpResponse {
    int status = 0;        // the HTTP status; 0 when no response arrived
    HttpHeaders headers;   // response headers as received
    std::string body;      // the body (empty for a download: it went to the file)
    std::string error;     // why no usable response arrived (time-out, refused, too large …); empty otherwise

    bool ok() const { return error.empty() && status >= 200 && status < 300; }
};

class Http {
public:
    virtual ~Http() = default;
    using Completion = std::function<void(HttpResponse)>;

    // Sends the request; the body comes back in the response.
    virtual void send(const HttpRequest& request, Completion completion) = 0;
    // Sends the request and writes the body to `destination`, which is replaced only once the whole
    // body arrived with a 2xx status; the response's body is empty. The body is written to a new
    // file of this user beside `destination` (never through a link, never into an existing file).
    virtual void download(const HttpRequest& request, const std::string& destination, Completion completion) = 0;
};

}  // namespace halvyn
