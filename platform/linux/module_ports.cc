#include "platform/linux/module_ports.h"

#include <QString>

#include "platform/linux/modules.h"
#include "platform/linux/sound_files.h"
#include "runtime/main_queue.h"

namespace halvyn {

namespace {
std::string unavailable(const Module& module) {
    return "not available (" + module.path().filename().string() + " missing)";
}

// A port answers on a later turn, as it would from its service; not once the port is gone.
template <class Done, class... Answer>
void answerLater(MainQueue& main, const Lifetime& lifetime, Done done, Answer... answer) {
    main.post([alive = lifetime.token(), done = std::move(done), ... answer = std::move(answer)]() mutable {
        if (alive && done) done(std::move(answer)...);
    });
}
}  // namespace

ModuleSounds::ModuleSounds(Module& module, std::vector<std::string> folders, Logger logger)
    : module_(module), folders_(std::move(folders)), logger_(std::move(logger)) {}

ModuleSounds::~ModuleSounds() = default;

Sounds* ModuleSounds::loaded() {
    if (!sounds_)
        if (auto make = module_.function<decltype(halvyn_make_sounds)>("halvyn_make_sounds"))
            sounds_.reset(make(folders_, logger_));
    return sounds_.get();
}

std::optional<std::string> ModuleSounds::resourcePath(const std::string& name, const std::string& type) const {
    return findSoundFile(folders_, name, type);
}

std::optional<SystemSoundID> ModuleSounds::createSystemSound(const std::string& path) {
    return alerts_.add(path, logger_);
}

void ModuleSounds::playSystemSound(SystemSoundID id) {
    auto* alert = alerts_.find(id);
    if (!alert) return;
    // The module opens for the first alert that plays.
    Sounds* sounds = loaded();
    if (!sounds) return;
    if (!alert->loaded) alert->loaded = sounds->createSystemSound(alert->path);
    if (!alert->loaded) return alerts_.forget(id);
    sounds->playSystemSound(*alert->loaded);
}

std::unique_ptr<EffectPlayer> ModuleSounds::makePlayer(const std::string& path, std::string& error) {
    if (Sounds* sounds = loaded()) return sounds->makePlayer(path, error);
    error = "sounds " + unavailable(module_);
    return nullptr;
}

ModuleHttp::ModuleHttp(Module& module, MainQueue& main) : module_(module), main_(main) {}

ModuleHttp::~ModuleHttp() { lifetime_.end(); }

Http* ModuleHttp::loaded(Completion& completion) {
    if (!http_)
        if (auto make = module_.function<decltype(halvyn_make_http)>("halvyn_make_http")) http_.reset(make());
    if (!http_) {
        HttpResponse failed;
        failed.error = "HTTP " + unavailable(module_);
        answerLater(main_, lifetime_, std::move(completion), std::move(failed));
    }
    return http_.get();
}

void ModuleHttp::send(const HttpRequest& request, Completion completion) {
    if (Http* http = loaded(completion)) http->send(request, std::move(completion));
}

void ModuleHttp::download(const HttpRequest& request, const std::string& destination, Completion completion) {
    if (Http* http = loaded(completion)) http->download(request, destination, std::move(completion));
}

ModuleVerifier::ModuleVerifier(Module& module, MainQueue& main) : module_(module), main_(main) {}

ModuleVerifier::~ModuleVerifier() { lifetime_.end(); }

ArchiveVerifier* ModuleVerifier::loaded() const {
    if (!verifier_)
        if (auto make = module_.function<decltype(halvyn_make_verifier)>("halvyn_make_verifier"))
            verifier_.reset(make(main_));
    return verifier_.get();
}

bool ModuleVerifier::hasUpdateKey() const {
    const ArchiveVerifier* verifier = loaded();
    return !verifier || verifier->hasUpdateKey();
}

void ModuleVerifier::examine(const std::string& path, const std::string& signature,
                             std::function<void(ArchiveFacts)> done) {
    if (ArchiveVerifier* verifier = loaded()) return verifier->examine(path, signature, std::move(done));
    ArchiveFacts facts;
    facts.error = "Checking updates is " + unavailable(module_);
    answerLater(main_, lifetime_, std::move(done), std::move(facts));
}

ModuleCalendarStore::ModuleCalendarStore(Module& module, FileSystem& files, MainQueue& main,
                                         BackgroundQueue& background, Logger logger, std::string home)
    : module_(module), files_(files), main_(main), background_(background), logger_(std::move(logger)),
      home_(std::move(home)) {}

ModuleCalendarStore::~ModuleCalendarStore() { lifetime_.end(); }

void ModuleCalendarStore::start() {
    if (started_) return;
    started_ = true;
    // Queries asked before are answered now: by the store, or with nothing.
    for (auto& [query, done] : std::exchange(waiting_, {})) fetch(std::move(query), std::move(done));
}

CalendarStore* ModuleCalendarStore::opened() {
    if (!started_ || tried_) return store_.get();
    tried_ = true;
    if (auto make = module_.function<decltype(halvyn_make_calendar_store)>("halvyn_make_calendar_store"))
        store_.reset(make(files_, main_, background_, logger_, home_));
    if (store_) storeChanges_ = store_->observeChanges([this] { changed_.emit(); });
    return store_.get();
}

void ModuleCalendarStore::requestFullAccess(std::function<void(bool, std::optional<std::string>)> done) {
    // The user's own files need no one's permission.
    answerLater(main_, lifetime_, std::move(done), true, std::optional<std::string>());
}

std::vector<CalendarInfo> ModuleCalendarStore::calendars() const {
    // Opening on the first list asked for changes nothing the store answers.
    CalendarStore* store = const_cast<ModuleCalendarStore*>(this)->opened();
    return store ? store->calendars() : std::vector<CalendarInfo>{};
}

void ModuleCalendarStore::fetch(CalendarQuery query, std::function<void(CalendarAnswer)> done) {
    if (!started_) {
        waiting_.emplace_back(std::move(query), std::move(done));
        return;
    }
    if (CalendarStore* store = opened()) return store->fetch(std::move(query), std::move(done));
    answerLater(main_, lifetime_, std::move(done), CalendarAnswer{});
}

std::string releaseNotesHtml(Module& module, std::string_view markdown) {
    std::string html;
    if (auto render = module.function<decltype(halvyn_render_markdown)>("halvyn_render_markdown")) {
        render(markdown, html);
        return html;
    }
    QString text = QString::fromUtf8(markdown.data(), static_cast<qsizetype>(markdown.size())).toHtmlEscaped();
    text.replace(QLatin1Char('\n'), QLatin1String("<br>"));
    return "<p>" + text.toStdString() + "</p>";
}

}  // namespace halvyn
