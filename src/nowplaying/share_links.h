#pragma once
// The share links of the current track, the browser scripts that find and focus the tab that
// plays a video, and the small URL reading they need. Pure functions: no platform.

#include <optional>
#include <string>
#include <string_view>

#include "platform/helper_connection.h"

namespace halvyn {

inline constexpr const char* kMusicStoreHost = "music.apple.com";
inline constexpr const char* kSpotifyWebHost = "open.spotify.com";
inline constexpr const char* kVideoWatchHost = "youtube.com";
inline constexpr const char* kVideoShortHost = "youtu.be";

// The Music store link of the helper's now-playing information: needs the album (text) and both
// store identifiers (whole numbers), else nullopt. `region` nullopt or empty gives "us".
std::optional<std::string> musicStoreLink(const HelperDictionary& info, const std::optional<std::string>& region);
// The album as a path segment: lower case, spaces as "-", percent-encoded.
std::string albumSlug(std::string_view album);
// "https://open.spotify.com/track/" + the last ":"-field of `spotifyUrl`; empty when that field is.
std::string spotifyTrackLink(std::string_view spotifyUrl);
// The short video link for a browser tab's URL; empty when the page is not a video page.
std::string videoShareLink(std::string_view tabUrl);

enum class Browser { safari, chrome };
enum class TabScript { lookup, focus };
// The script with the title quoted inside it: quotes, backslashes and line breaks are escaped so
// that no title can change the script's structure.
std::string browserScript(Browser browser, TabScript kind, std::string_view title);
// The title as the inside of an AppleScript string literal.
std::string appleScriptQuoted(std::string_view text);

struct ParsedUrl {
    std::string scheme, host, path, query;
};
std::optional<ParsedUrl> parseUrl(std::string_view url);
// The raw value of the first query item `name`, if any.
std::optional<std::string> queryItem(std::string_view query, std::string_view name);

}  // namespace halvyn
