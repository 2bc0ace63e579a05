// The update group of halvyn-sim: the `updateServer`, `tmp`, `downloads` and `bundle` platform state, the
// update window's actions, and the UpdateController object. The simulated server answers at the
// bundle's update address: the release JSON (or a raw body, or a transport error), and on a
// request with "X-Download: true" the archive, written as JSON of its entries.

#include <cstdio>
#include <memory>

#include <nlohmann/json.hpp>

#include "app/context.h"
#include "platform/sim/sim_platform.h"
#include "settings/json_value.h"
#include "sim/registry.h"
#include "sim/scenario.h"
#include "updates/update_controller.h"

namespace halvyn {

namespace {

using json = nlohmann::json;
using Problem = std::optional<std::string>;

Problem checkAsset(const json& a) {
    if (!a.is_object()) return std::string("'asset' must be an object");
    for (auto& [k, v] : a.items()) {
        if (k == "error") {
            if (!v.is_string()) return std::string("'asset.error' must be a text");
        } else if (k == "entries") {
            if (!v.is_array()) return std::string("'asset.entries' must be an array");
            for (auto& e : v) {
                if (!e.is_object() || !e.contains("path") || !e["path"].is_string())
                    return std::string("an asset entry needs a text 'path'");
                if (!e.contains("type") || !e["type"].is_string() ||
                    (e["type"] != "file" && e["type"] != "dir" && e["type"] != "link"))
                    return std::string("an asset entry's 'type' must be 'file', 'dir' or 'link'");
                if (e.contains("target") && !e["target"].is_string())
                    return std::string("an asset entry's 'target' must be a text");
            }
        } else {
            return "unknown asset field '" + k + "'";
        }
    }
    return std::nullopt;
}

Problem checkServer(const json& v, bool isEvent) {
    if (!v.is_object()) return std::string("must be an object");
    for (auto& [k, val] : v.items()) {
        if (isEvent && (k == "at" || k == "do")) continue;
        if (k == "release") {
            if (!val.is_object()) return std::string("'release' must be an object");
        } else if (k == "body" || k == "error") {
            if (!val.is_string()) return "'" + k + "' must be a text";
        } else if (k == "asset") {
            if (auto p = checkAsset(val)) return p;
        } else {
            return "unknown updateServer field '" + k + "'";
        }
    }
    return std::nullopt;
}

// What a request to the server gets, from the scenario's description of it.
SimHttp::Server makeServer(const json& state) {
    auto shared = std::make_shared<json>(state);
    return [shared](const HttpRequest& request) -> std::optional<HttpResponse> {
        const json& s = *shared;
        bool download = false;
        for (auto& [name, value] : request.headers)
            if (name == "X-Download" && value == "true") download = true;
        if (download) {
            if (!s.contains("asset")) return HttpResponse{404, {}, "Not Found", {}};
            const json& a = s["asset"];
            if (a.contains("error")) return HttpResponse{0, {}, {}, a["error"].get<std::string>()};
            json archive = {{"entries", a.value("entries", json::array())}};
            return HttpResponse{200, {}, archive.dump(), {}};
        }
        if (s.contains("release")) return HttpResponse{200, {}, s["release"].dump(), {}};
        if (s.contains("body")) return HttpResponse{200, {}, s["body"].get<std::string>(), {}};
        return HttpResponse{0, {}, {}, s.value("error", std::string("Could not connect to the server."))};
    };
}

void installServer(SimWorld& w, const json& state) {
    json s = state;
    s.erase("at");
    s.erase("do");
    w.platform.simHttp().setServer(w.platform.simBundle().info_.updateServer, makeServer(s));
}

Problem checkBundle(const json& v) {
    if (!v.is_object()) return std::string("must be an object");
    for (auto& [k, val] : v.items()) {
        if (k == "name" || k == "identifier" || k == "version" || k == "path" || k == "notReplaceable") {
            if (!val.is_string()) return "'" + k + "' must be a text";
        } else if (k == "build") {
            if (!val.is_number_integer() && !val.is_null()) return std::string("'build' must be a whole number or null");
        } else {
            return "unknown bundle field '" + k + "'";
        }
    }
    if (v.contains("path") && v["path"].get<std::string>().rfind('/', 0) != 0)
        return std::string("'path' must be absolute");
    return std::nullopt;
}

void applyBundle(SimBundle& bundle, const json& v) {
    BundleInfo& b = bundle.info_;
    b.name = v.value("name", b.name);
    b.identifier = v.value("identifier", b.identifier);
    b.version = v.value("version", b.version);
    if (v.contains("build")) b.build = v["build"].is_null() ? std::nullopt : std::optional<long long>(v["build"].get<long long>());
    b.path = v.value("path", b.path);
    b.executables = {"Contents/MacOS/" + b.name, "Contents/XPCServices/" + b.name + "Helper.xpc"};
    b.launchCommand = {"open", b.path};
    // A copy the application may not replace: it keeps running from `path`, but has none to update.
    b.notReplaceable = v.value("notReplaceable", std::string());
    if (!b.notReplaceable.empty()) b.path.clear();
}

// The installed bundle, so an install has something to replace.
void putInstalledBundle(SimWorld& w) {
    const BundleInfo& b = w.platform.simBundle().info_;
    if (b.path.empty()) return;
    auto& files = w.platform.simFiles();
    files.put(b.path + "/Contents/Info.plist", "CFBundleShortVersionString=" + b.version);
    files.put(b.path + "/Contents/MacOS/" + b.name, "program " + b.version, true);
    files.createDirectories(b.path + "/Contents/XPCServices/" + b.name + "Helper.xpc");
}

std::string archiveText(const json& platform) {
    json entries = json::array();
    if (auto s = platform.find("updateServer"); s != platform.end() && s->contains("asset"))
        entries = (*s)["asset"].value("entries", json::array());
    return json{{"entries", entries}}.dump();
}

}  // namespace

void registerUpdatesGroup(SimRegistry& r) {
    r.addPlatformKey({"bundle", checkBundle,
                      [](SimWorld& w, const json& v) { applyBundle(w.platform.simBundle(), v); }});
    r.addPlatformKey({"updateServer", [](const json& v) { return checkServer(v, false); }, nullptr});
    const auto fileNames = [](const json& v) -> Problem {
        if (!v.is_array()) return std::string("must be an array of file names");
        for (auto& n : v)
            if (!n.is_string() || n.get<std::string>().empty() || n.get<std::string>().find('/') != std::string::npos)
                return std::string("must be an array of file names");
        return std::nullopt;
    };
    r.addPlatformKey({"tmp", fileNames, nullptr});
    r.addPlatformKey({"downloads", fileNames, nullptr});

    // After every platform key: the server lives at the bundle's address, and a file left in the
    // temporary folder holds the archive the server would send.
    r.addSetup([](SimWorld& w) {
        const json& platform = w.scenario.platform;
        installServer(w, platform.value("updateServer", json::object()));
        putInstalledBundle(w);
        w.platform.simFiles().createDirectories(w.platform.simFiles().temporaryDirectory());
        auto& files = w.platform.simFiles();
        const std::string downloads = files.cacheDirectory() + "/" + UpdateController::kDownloadFolder;
        for (auto [key, folder] : {std::pair{"tmp", files.temporaryDirectory()}, std::pair{"downloads", downloads}})
            if (auto names = platform.find(key); names != platform.end())
                for (auto& name : *names) files.put(folder + "/" + name.get<std::string>(), archiveText(platform));
    });
    r.addAssembled([](SimWorld& w) {
        auto counter = std::make_shared<long long>(0);
        UpdateController& updates = w.ctx.updates();
        updates.setNoteIdGenerator([counter] {
            char id[48];
            std::snprintf(id, sizeof id, "00000000-0000-4000-8000-%012lld", ++*counter);
            return std::string(id);
        });
        updates.setWindowHost(&w.platform.simUpdateWindow());
    });

    r.addObject({"UpdateController", [](SimWorld& w) -> const PropertySet& { return w.ctx.updates().properties(); }});

    r.addAction({"update.check", {}, nullptr, [](SimWorld& w, const json&) {
                     UpdateController& u = w.ctx.updates();
                     u.checkForUpdates([&u] { u.showUpdateWindowIfAvailable(); });
                 }});
    r.addAction({"update.install", {}, nullptr, [](SimWorld& w, const json&) {
                     UpdateController& u = w.ctx.updates();
                     if (!u.readyToRestart.get()) u.mainButton();
                 }});
    r.addAction({"update.restart", {}, nullptr, [](SimWorld& w, const json&) {
                     UpdateController& u = w.ctx.updates();
                     if (u.readyToRestart.get()) u.mainButton();
                 }});
    r.addAction({"server.update", {}, [](const json& ev) { return checkServer(ev, true); },
                 [](SimWorld& w, const json& ev) { installServer(w, ev); }});
}

}  // namespace halvyn
