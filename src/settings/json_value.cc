#include "settings/json_value.h"

#include "settings/key.h"

namespace halvyn {

namespace {

std::optional<Value> convert(const Json& j, int depth) {
    if (depth > kMaxJsonDepth) return std::nullopt;
    switch (j.type()) {
        case Json::value_t::null: return Value();
        case Json::value_t::boolean: return Value(j.get<bool>());
        case Json::value_t::number_integer: return Value(static_cast<double>(j.get<std::int64_t>()));
        case Json::value_t::number_unsigned: return Value(static_cast<double>(j.get<std::uint64_t>()));
        case Json::value_t::number_float: return Value(j.get<double>());
        case Json::value_t::string: return Value(j.get_ref<const std::string&>());
        case Json::value_t::array: {
            Value::Array out;
            out.reserve(j.size());
            for (const auto& item : j) {
                auto v = convert(item, depth + 1);
                if (!v) return std::nullopt;
                out.push_back(std::move(*v));
            }
            return Value(std::move(out));
        }
        case Json::value_t::object: {
            Value::Object out;
            out.reserve(j.size());
            for (const auto& [k, item] : j.items()) {
                auto v = convert(item, depth + 1);
                if (!v) return std::nullopt;
                out.emplace_back(k, std::move(*v));
            }
            return Value(std::move(out));
        }
        case Json::value_t::binary:
        case Json::value_t::discarded: return std::nullopt;
    }
    return std::nullopt;
}

}  // namespace

Json toJson(const Value& v) {
    switch (v.kind()) {
        case Value::Kind::null: return nullptr;
        case Value::Kind::boolean: return v.asBool();
        case Value::Kind::number: return v.asNumber();
        case Value::Kind::string: return v.asString();
        case Value::Kind::array: {
            Json out = Json::array();
            for (const auto& item : v.asArray()) out.push_back(toJson(item));
            return out;
        }
        case Value::Kind::object: {
            Json out = Json::object();
            for (const auto& [k, item] : v.asObject()) out[k] = toJson(item);
            return out;
        }
    }
    return nullptr;
}

std::optional<Value> fromJson(const Json& j) { return convert(j, 0); }

std::optional<Value> parseJson(std::string_view text) {
    Json j = Json::parse(text.begin(), text.end(), nullptr, /*allow_exceptions=*/false);
    if (j.is_discarded()) return std::nullopt;
    return fromJson(j);
}

std::string jsonText(const Value& v) { return toJson(v).dump(); }

std::optional<Value> parseJsonObject(std::string_view text) {
    auto v = parseJson(text);
    if (!v || !v->isObject()) return std::nullopt;
    return v;
}

}  // namespace halvyn
