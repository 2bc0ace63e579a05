#include "sources/focus_manager.h"

#include <unicode/uchar.h>
#include <unicode/utf8.h>

#include <charconv>
#include <cstdint>

#include "app/context.h"
#include "lockscreen/lock_manager.h"
#include "platform/platform.h"
#include "platform/processes.h"
#include "settings/defaults.h"

namespace halvyn {

namespace {

using N = Notch::Notification;
using L = Notch::LiveActivity;

FocusMode builtIn(const char* id, const char* symbol, const char* tint, const char* key) {
    return FocusMode{id, symbol, tint, std::nullopt, std::string(key)};
}

// One code point at `i` (malformed bytes read as U+FFFD, one byte each); `i` moves past it.
UChar32 nextCodePoint(std::string_view s, std::size_t& i) {
    UChar32 c = 0;
    std::int32_t at = static_cast<std::int32_t>(i);
    const auto length = static_cast<std::int32_t>(s.size());
    U8_NEXT(reinterpret_cast<const std::uint8_t*>(s.data()), at, length, c);
    i = static_cast<std::size_t>(at);
    return c < 0 ? 0xFFFD : c;
}

// The regular-expression classes of the patterns: \w (Unicode word characters) and \s.
bool isWord(UChar32 c) {
    if (c < 0x80) return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
    if (c == 0x200C || c == 0x200D) return true;
    if (u_hasBinaryProperty(c, UCHAR_ALPHABETIC)) return true;
    const auto type = u_charType(c);
    return type == U_NON_SPACING_MARK || type == U_COMBINING_SPACING_MARK || type == U_ENCLOSING_MARK ||
           type == U_DECIMAL_DIGIT_NUMBER || type == U_CONNECTOR_PUNCTUATION;
}
bool isSpace(UChar32 c) {
    if (c < 0x80) return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
    return u_isUWhiteSpace(c);
}

enum class Allowed { wordDot, wordDotDash, notSemicolon };

bool allowed(UChar32 c, Allowed what) {
    switch (what) {
        case Allowed::wordDot: return c == '.' || isWord(c);
        case Allowed::wordDotDash: return c == '.' || c == '-' || isWord(c);
        case Allowed::notSemicolon: return c != ';';
    }
    return false;
}

// "marker\s*(class+)": the first occurrence of the marker where the value matches.
std::optional<std::string> valueAfter(std::string_view line, std::string_view marker, Allowed what) {
    for (std::size_t at = line.find(marker); at != std::string_view::npos; at = line.find(marker, at + 1)) {
        std::size_t i = at + marker.size();
        std::size_t lastSpace = std::string_view::npos;
        while (i < line.size()) {
            std::size_t next = i;
            if (!isSpace(nextCodePoint(line, next))) break;
            lastSpace = i;
            i = next;
        }
        const std::size_t begin = i;
        while (i < line.size()) {
            std::size_t next = i;
            if (!allowed(nextCodePoint(line, next), what)) break;
            i = next;
        }
        if (i > begin) return std::string(line.substr(begin, i - begin));
        // White space is itself "not a semicolon": the match gives the last space back.
        if (what == Allowed::notSemicolon && lastSpace != std::string_view::npos)
            return std::string(line.substr(lastSpace, begin - lastSpace));
    }
    return std::nullopt;
}

bool contains(std::string_view s, std::string_view part) { return s.find(part) != std::string_view::npos; }

}  // namespace

namespace focus {

const std::map<std::string, FocusMode, std::less<>>& builtInModes() {
    static const std::map<std::string, FocusMode, std::less<>> modes = [] {
        std::map<std::string, FocusMode, std::less<>> m;
        for (auto& mode : {
                 builtIn("com.apple.donotdisturb.mode.default", "moon.fill", "IndigoColor", "focus.donotdisturb"),
                 builtIn("com.apple.focus.personal-time", "person.fill", "PurpleColor", "focus.personal"),
                 builtIn("com.apple.focus.work", "person.lanyardcard.fill", "TealColor", "focus.work"),
                 builtIn("com.apple.sleep.sleep-mode", "bed.double.fill", "TealColor", "focus.sleep"),
                 builtIn("com.apple.donotdisturb.mode.driving", "car.fill", "IndigoColor", "focus.driving"),
                 builtIn("com.apple.donotdisturb.mode.workout", "figure.run", "GreenColor", "focus.fitness"),
                 builtIn("com.apple.focus.reading", "book.closed.fill", "ReddishOrangeColor", "focus.reading"),
                 builtIn("com.apple.focus.mindfulness", "apple.mindfulness", "TealColor", "focus.mindfulness"),
                 builtIn("com.apple.focus.gaming", "rocket.fill", "SkyColor", "focus.gaming"),
                 builtIn("com.apple.focus.reduce-interruptions", "apple.intelligence", "PurpleColor",
                         "focus.reduce-interruptions"),
             })
            m.emplace(mode.identifier, mode);
        return m;
    }();
    return modes;
}

std::string tintColor(std::string_view logged) {
    static const std::pair<std::string_view, const char*> table[] = {
        {"systemBlueColor", "SkyColor"},         {"systemBrownColor", "StoneColor"},
        {"systemGrayColor", "StoneLightColor"},  {"systemGreenColor", "GreenColor"},
        {"systemIndigoColor", "IndigoColor"},    {"systemOrangeColor", "ReddishOrangeColor"},
        {"systemPinkColor", "PinkColor"},        {"systemPurpleColor", "PurpleColor"},
        {"systemRedColor", "RoseColor"},         {"systemMintColor", "TealColor"},
        {"systemTealColor", "TealColor"},
    };
    for (auto& [name, colour] : table)
        if (name == logged) return colour;
    return "IndigoColor";
}

std::optional<std::string> localizedName(std::string_view key) {
    static const std::pair<std::string_view, const char*> table[] = {
        {"focus.donotdisturb", "Do Not Disturb"}, {"focus.personal", "Personal"},
        {"focus.work", "Work"},                   {"focus.sleep", "Sleep"},
        {"focus.driving", "Driving"},             {"focus.fitness", "Fitness"},
        {"focus.reading", "Reading"},             {"focus.mindfulness", "Mindfulness"},
        {"focus.gaming", "Gaming"},               {"focus.reduce-interruptions", "Reduce Interruptions"},
    };
    for (auto& [k, text] : table)
        if (k == key) return std::string(text);
    return std::nullopt;
}

std::optional<std::string> identifier(std::string_view line) {
    return valueAfter(line, "modeIdentifier:", Allowed::wordDotDash);
}
std::optional<std::string> name(std::string_view line) { return valueAfter(line, "name:", Allowed::notSemicolon); }
std::optional<std::string> symbol(std::string_view line) {
    return valueAfter(line, "symbolImageName:", Allowed::wordDot);
}
std::optional<std::string> tint(std::string_view line) { return valueAfter(line, "tintColorName:", Allowed::wordDot); }

std::optional<ProcessID> firstProcessID(std::string_view out) {
    std::size_t pos = 0;
    while (pos <= out.size()) {
        std::size_t end = out.find_first_of("\r\n", pos);
        if (end == std::string_view::npos) end = out.size();
        std::string_view piece = out.substr(pos, end - pos);
        pos = end + 1;
        const auto first = piece.find_first_not_of(" \t\f\v");
        if (first == std::string_view::npos) continue;
        piece = piece.substr(first, piece.find_last_not_of(" \t\f\v") - first + 1);
        if (!piece.empty() && piece[0] == '+') piece.remove_prefix(1);
        if (piece.empty() || piece[0] == '+') continue;
        ProcessID pid = 0;
        auto [ptr, ec] = std::from_chars(piece.data(), piece.data() + piece.size(), pid);
        if (ec == std::errc() && ptr == piece.data() + piece.size()) return pid;
    }
    return std::nullopt;
}

}  // namespace focus

std::string FocusMode::displayName() const {
    if (nameKey) {
        if (auto text = focus::localizedName(*nameKey)) return *text;
        return *nameKey;
    }
    return rawName.value_or("");
}

Value toValue(const FocusMode& m) {
    return Value(Value::Object{{"identifier", Value(m.identifier)},
                               {"symbol", Value(m.symbol)},
                               {"tintColor", Value(m.tintColor)},
                               {"rawName", m.rawName ? Value(*m.rawName) : Value()},
                               {"nameKey", m.nameKey ? Value(*m.nameKey) : Value()}});
}

FocusManager::FocusManager(Context& ctx) : ctx_(ctx) {
    properties_.add("isFocus", isFocus);
    properties_.add("focusMode", focusMode);
    properties_.add("hasBeenFocused", hasBeenFocused);

    auto& registry = ctx.notchSources();
    cancellables_.push_back(registry.addNotificationSource(N::isFocus, *this));
    cancellables_.push_back(registry.addLiveActivitySource(L::isFocus, *this));
    ctx.setFocusState(this);

    const Lifetime::Token weak = lifetime_.token();
    cancellables_.push_back(ctx.defaults().observe(keys::enableFocus, [this, weak](bool, bool on) {
        if (weak && on) startLogStream();
    }));
    startLogStream();
}

FocusManager::~FocusManager() {
    if (ctx_.focusState() == this) ctx_.setFocusState(nullptr);
}

bool FocusManager::lockedOrScreensaver() const {
    LockManager& lock = ctx_.lock();
    return lock.isLocked.get() || lock.hasScreensaver.get();
}

bool FocusManager::canShowFocusActivity() const {
    const Defaults& d = ctx_.defaults();
    return d.get(keys::enableFocus) && d.get(keys::displayWhileActive) && !lockedOrScreensaver();
}

bool FocusManager::wantsLiveActivity() const { return canShowFocusActivity() && isFocus.get(); }

bool FocusManager::allowsNotification(Notch::Notification) const {
    const Defaults& d = ctx_.defaults();
    if (!d.get(keys::enableFocus)) return false;
    return !ctx_.lock().isLocked.get() || d.get(keys::allowFocusWhenLocked);
}

void FocusManager::startLogStream() {
    logTask_.reset();
    const std::uint64_t generation = ++generation_;
    Processes* processes = ctx_.platform().processes();
    if (!processes || !ctx_.platform().logStream()) return;
    const Lifetime::Token weak = lifetime_.token();
    MainQueue& main = ctx_.main();
    ctx_.background().post([this, weak, generation, processes, &main] {
        std::optional<ProcessID> ids, dnd;
        if (auto out = processes->pgrep("identityservicesd")) ids = focus::firstProcessID(*out);
        if (ids)
            if (auto out = processes->pgrep("donotdisturbd")) dnd = focus::firstProcessID(*out);
        main.post([this, weak, generation, ids, dnd] {
            if (!weak || generation != generation_ || !ids || !dnd) return;
            Logger log = ctx_.logger("FocusManager");
            logTask_ = ctx_.platform().logStream()->open(
                {*ids, *dnd},
                [this, weak](const LogEntry& entry) {
                    if (weak) handle(entry);
                },
                [this, weak, log](const std::string& error) {
                    if (!weak) return;
                    log.error("Log stream error: %{public}s", error);
                    logTask_.reset();
                });
        });
    });
}

void FocusManager::stopTracking() {
    ++generation_;
    logTask_.reset();
    focusMode.set(std::nullopt);
    isFocus.set(false);
}

void FocusManager::handle(const LogEntry& entry) {
    const std::string_view message = entry.message;
    if (entry.category == "ServiceProvider" && contains(message, "Delivering state update") &&
        contains(message, "name:") && contains(message, "symbolImageName:") && contains(message, "tintColorName:")) {
        ctx_.logger("FocusManager").info("message: %{public}s", entry.message);
        stateUpdate(message);
    } else if (entry.category == "Registration" && contains(message, "DND Enabled")) {
        ctx_.logger("FocusManager").info("message: %{public}s", entry.message);
        registration(message);
    }
}

void FocusManager::setMode(FocusMode mode) {
    if (isFocus.get() && focusMode.get() && focusMode.get()->identifier == mode.identifier) return;
    focusMode.set(std::move(mode), Animation::critical(0.3));
    postChange();
}

void FocusManager::stateUpdate(std::string_view message) {
    const Animation spring = Animation::critical(0.3);
    if (!hasBeenFocused.get()) {
        hasBeenFocused.set(true);
        isFocus.set(true, spring);
    }
    const auto id = focus::identifier(message);
    if (id) {
        const auto& modes = focus::builtInModes();
        if (auto it = modes.find(*id); it != modes.end()) {
            setMode(it->second);
            return;
        }
    }
    const auto sym = focus::symbol(message);
    const auto tint = focus::tint(message);
    const auto name = focus::name(message);
    if (id && sym && tint && name) {
        setMode(FocusMode{*id, *sym, focus::tintColor(*tint), *name, std::nullopt});
        return;
    }
    focusMode.set(std::nullopt, spring);
}

void FocusManager::registration(std::string_view message) {
    const bool enabled = contains(message, "YES");
    if (enabled && !hasBeenFocused.get()) return;  // the state update follows
    if (enabled == isFocus.get()) return;
    isFocus.set(enabled, Animation::critical(0.3));
    postChange();
}

void FocusManager::postChange() {
    const Defaults& d = ctx_.defaults();
    if (!d.get(keys::enableFocus)) return;
    Notch& notch = ctx_.notch();
    const Lifetime::Token weak = lifetime_.token();
    const bool activity = canShowFocusActivity();
    if (isFocus.get()) {
        if (!activity) {
            ctx_.main().post([this, weak] {
                if (!weak) return;
                Notch& n = ctx_.notch();
                if (n.notificationIntent.get() == N::isFocus) return;
                n.setNotification(true, N::isFocus, 0.35, ctx_.defaults().get(keys::focusDuration));
            });
            return;
        }
        if (notch.isExpanded.get()) notch.setExpanded(false, false);
        ctx_.main().post([this, weak] {
            if (weak) ctx_.notch().setLiveActivity(true, L::isFocus, false, {}, 0.35);
        });
        return;
    }
    if (!activity) {
        notch.setNotification(true, N::isFocus, 0.35, d.get(keys::focusDuration));
        return;
    }
    auto& sources = ctx_.notchSources();
    auto wants = [&sources](L kind) {
        const LiveActivitySource* s = sources.liveActivitySource(kind);
        return s && s->wantsLiveActivity();
    };
    if (wants(L::isCalendar))
        notch.setLiveActivity(true, L::isCalendar, true, {}, 0.35);
    else if (wants(L::isPlaying))
        notch.setLiveActivity(true, L::isPlaying, true, {}, 0.35);
    else
        notch.setLiveActivity(false, L::none, false, {}, 0.35);
}

}  // namespace halvyn
