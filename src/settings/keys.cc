#include "settings/keys.h"

#include <unordered_map>

#include "settings/defaults.h"

namespace halvyn {

namespace keys {
#define HALVYN_DEFINE_KEY(name, Type, def, sync) const Key<Type> name{#name, def, Sync::sync};
HALVYN_SETTINGS_KEYS(HALVYN_DEFINE_KEY)
#undef HALVYN_DEFINE_KEY
}  // namespace keys

namespace {

template <class T>
KeyInfo infoOf(const Key<T>& key) {
    std::optional<Value> storedDefault;
    Value encoded = Codec<T>::encode(key.defaultValue);
    if (!encoded.isNull()) storedDefault = std::move(encoded);
    return KeyInfo{key.name, key.sync, std::move(storedDefault),
                   [](const Value& v) { return Codec<T>::decode(v).has_value(); }, nullptr};
}

std::vector<KeyInfo> buildAll() {
    std::vector<KeyInfo> all;
#define HALVYN_LIST_KEY(name, Type, def, sync)                                                   \
    all.push_back(infoOf(keys::name));                                                           \
    all.back().effective = [](const Defaults& d) { return toValue(d.get(keys::name)); };
    HALVYN_SETTINGS_KEYS(HALVYN_LIST_KEY)
#undef HALVYN_LIST_KEY
    return all;
}

}  // namespace

const std::vector<KeyInfo>& allKeys() {
    static const std::vector<KeyInfo> all = buildAll();
    return all;
}

const KeyInfo* findKey(std::string_view name) {
    static const std::unordered_map<std::string_view, const KeyInfo*> byName = [] {
        std::unordered_map<std::string_view, const KeyInfo*> m;
        for (const auto& k : allKeys()) m.emplace(k.name, &k);
        return m;
    }();
    auto it = byName.find(name);
    return it == byName.end() ? nullptr : it->second;
}

const std::vector<std::string_view>& synchronizedKeyNames() {
    static const std::vector<std::string_view> names = [] {
        std::vector<std::string_view> out;
        for (const auto& k : allKeys())
            if (k.sync == Sync::yes) out.push_back(k.name);
        return out;
    }();
    return names;
}

}  // namespace halvyn
