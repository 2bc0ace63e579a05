#include "platform/linux/pulse_audio_devices.h"

#include <pulse/pulseaudio.h>

#include <algorithm>
#include <cmath>
#include <numeric>

#include <unistd.h>

#include "platform/linux/capture_names.h"

#include "runtime/main_queue.h"
#include "runtime/published.h"

namespace halvyn {

namespace {
constexpr double kLongestRetrySeconds = 30.0;

bool contains(const std::string& text, const char* part) { return text.find(part) != std::string::npos; }

std::string lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

std::string property(const pa_proplist* list, const char* key) {
    const char* v = list ? pa_proplist_gets(list, key) : nullptr;
    return v ? v : "";
}

std::optional<float> average(const std::vector<std::uint32_t>& channels) { return pulseAverageVolume(channels); }
}  // namespace

std::optional<float> pulseAverageVolume(const std::vector<std::uint32_t>& channels) {
    if (channels.empty()) return std::nullopt;
    const double sum = std::accumulate(channels.begin(), channels.end(), 0.0);
    // Above PA_VOLUME_NORM the sink amplifies; that is read too, up to the port's bound.
    return static_cast<float>(
        std::clamp(sum / static_cast<double>(channels.size()) / PA_VOLUME_NORM, 0.0, double(kMaxDeviceVolume)));
}

std::optional<std::string> pulseTransport(const std::string& bus, const std::string& activePort,
                                          const std::string& formFactor) {
    const std::string port = lower(activePort);
    if (bus == "bluetooth") return "Bluetooth";
    if (contains(port, "hdmi")) return "HDMI";
    if (contains(port, "displayport") || contains(port, "-dp-")) return "DisplayPort";
    if (bus == "usb") return "USB";
    if (bus == "pci" || formFactor == "internal") return "Built-In";
    return std::nullopt;
}

std::optional<std::string> pulseBluetoothModel(const std::string& productId, const std::string& vendorId) {
    auto hex = [](std::string s) -> std::optional<std::string> {
        s = lower(s);
        if (const auto colon = s.rfind(':'); colon != std::string::npos) s = s.substr(colon + 1);
        if (s.starts_with("0x")) s = s.substr(2);
        if (s.empty() || s.size() > 8 || s.find_first_not_of("0123456789abcdef") != std::string::npos)
            return std::nullopt;
        return s;
    };
    auto product = hex(productId);
    auto vendor = hex(vendorId);
    if (!product || !vendor) return std::nullopt;
    product->insert(0, product->size() < 4 ? 4 - product->size() : 0, '0');
    vendor->erase(0, std::min(vendor->find_first_not_of('0'), vendor->size() - 1));
    return *product + " " + *vendor;
}

// What the main queue owns: the observers, reached through a weak reference by every task the
// client's thread posts, so a task queued when the port goes away does nothing.
struct PulseAudioDevices::Shared {
    Signal<std::optional<AudioDevice>> defaultChanged;
    Signal<AudioDeviceID> volumeChanged;
    Signal<AudioDeviceID> muteChanged;
    Signal<> connected;
    Signal<bool> microphoneChanged;
};

PulseAudioDevices::PulseAudioDevices(MainQueue& main, Logger logger)
    : main_(main), logger_(std::move(logger)), shared_(std::make_shared<Shared>()) {
    loop_ = pa_threaded_mainloop_new();
    if (!loop_) {
        logger_.error("Cannot start the PulseAudio client; audio devices absent");
        return;
    }
    pa_threaded_mainloop_set_name(loop_, "halvyn-pulse");
    pa_threaded_mainloop_lock(loop_);
    connect();
    const bool started = pa_threaded_mainloop_start(loop_) == 0;
    pa_threaded_mainloop_unlock(loop_);
    // Nothing waits for the server: its first reading is announced when it comes.
    if (!started) logger_.error("Cannot start the PulseAudio client; audio devices absent");
}

PulseAudioDevices::~PulseAudioDevices() {
    if (!loop_) return;
    pa_threaded_mainloop_stop(loop_);
    if (retry_) pa_threaded_mainloop_get_api(loop_)->time_free(retry_);
    if (context_) {
        pa_context_set_state_callback(context_, nullptr, nullptr);
        pa_context_set_subscribe_callback(context_, nullptr, nullptr);
        pa_context_disconnect(context_);
        pa_context_unref(context_);
    }
    pa_threaded_mainloop_free(loop_);
}

void PulseAudioDevices::connect() {
    if (context_) {
        pa_context_set_state_callback(context_, nullptr, nullptr);
        pa_context_set_subscribe_callback(context_, nullptr, nullptr);
        pa_context_unref(context_);
    }
    context_ = pa_context_new(pa_threaded_mainloop_get_api(loop_), "Halvyn");
    ready_ = false;
    pa_context_set_state_callback(
        context_, [](pa_context*, void* self) { static_cast<PulseAudioDevices*>(self)->stateChanged(); }, this);
    pa_context_set_subscribe_callback(
        context_,
        [](pa_context*, pa_subscription_event_type_t type, std::uint32_t index, void* p) {
            auto* self = static_cast<PulseAudioDevices*>(p);
            const auto facility = type & PA_SUBSCRIPTION_EVENT_FACILITY_MASK;
            const auto kind = type & PA_SUBSCRIPTION_EVENT_TYPE_MASK;
            if (facility == PA_SUBSCRIPTION_EVENT_SERVER) {
                if (auto* o = pa_context_get_server_info(
                        self->context_, [](pa_context*, const pa_server_info* i, void* s) {
                            static_cast<PulseAudioDevices*>(s)->serverRead(i);
                        },
                        self))
                    pa_operation_unref(o);
            } else if (facility == PA_SUBSCRIPTION_EVENT_SOURCE) {
                if (kind == PA_SUBSCRIPTION_EVENT_REMOVE) {
                    std::lock_guard lock(self->mutex_);
                    self->monitorSources_.erase(index);
                } else if (auto* o = pa_context_get_source_info_by_index(
                               self->context_, index,
                               [](pa_context*, const pa_source_info* i, int eol, void* s) {
                                   static_cast<PulseAudioDevices*>(s)->sourceRead(i, eol);
                               },
                               self)) {
                    pa_operation_unref(o);
                }
            } else if (facility == PA_SUBSCRIPTION_EVENT_SOURCE_OUTPUT) {
                if (kind == PA_SUBSCRIPTION_EVENT_REMOVE) {
                    self->sourceOutputRemoved(index);
                } else if (auto* o = pa_context_get_source_output_info(
                               self->context_, index,
                               [](pa_context*, const pa_source_output_info* i, int eol, void* s) {
                                   static_cast<PulseAudioDevices*>(s)->sourceOutputRead(i, eol);
                               },
                               self)) {
                    pa_operation_unref(o);
                }
            } else if (facility == PA_SUBSCRIPTION_EVENT_SINK) {
                if (kind == PA_SUBSCRIPTION_EVENT_REMOVE) {
                    self->sinkRemoved(index);
                } else if (auto* o = pa_context_get_sink_info_by_index(
                               self->context_, index,
                               [](pa_context*, const pa_sink_info* i, int eol, void* s) {
                                   static_cast<PulseAudioDevices*>(s)->sinkRead(i, eol);
                               },
                               self)) {
                    pa_operation_unref(o);
                }
            }
        },
        this);
    // Never spawn a server of our own: the desktop's server is the one to follow.
    if (pa_context_connect(context_, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) stateChanged();
}

void PulseAudioDevices::stateChanged() {
    const pa_context_state_t state = pa_context_get_state(context_);
    if (state == PA_CONTEXT_READY) {
        retryDelay_ = 0.5;
        if (auto* o = pa_context_subscribe(
                context_, static_cast<pa_subscription_mask_t>(PA_SUBSCRIPTION_MASK_SINK | PA_SUBSCRIPTION_MASK_SERVER |
                                                        PA_SUBSCRIPTION_MASK_SOURCE |
                                                        PA_SUBSCRIPTION_MASK_SOURCE_OUTPUT),
                nullptr, nullptr))
            pa_operation_unref(o);
        requestAll();
        return;
    }
    if (state != PA_CONTEXT_FAILED && state != PA_CONTEXT_TERMINATED) return;

    const std::string reason = pa_strerror(pa_context_errno(context_));
    bool wasConnected, wasRecording;
    {
        std::lock_guard lock(mutex_);
        wasConnected = connected_;
        wasRecording = !streams_.empty();
        connected_ = false;
        sinks_.clear();
        monitorSources_.clear();
        streams_.clear();
        defaultName_.clear();
        defaultId_.reset();
    }
    ready_ = false;
    if (!saidLost_) {
        say(LogLevel::error, wasConnected ? "PulseAudio connection lost (" + reason + "); audio devices absent until it comes back"
                                          : "No PulseAudio server (" + reason + "); audio devices absent until one starts");
        saidLost_ = true;
    }
    if (wasConnected) {
        main_.post([weak = std::weak_ptr<Shared>(shared_)] {
            if (auto s = weak.lock()) s->defaultChanged.emit(std::nullopt);
        });
    }
    if (wasRecording) publishMicrophone(false);
    scheduleReconnect();
}

void PulseAudioDevices::scheduleReconnect() {
    pa_mainloop_api* api = pa_threaded_mainloop_get_api(loop_);
    timeval when;
    pa_gettimeofday(&when);
    pa_timeval_add(&when, static_cast<pa_usec_t>(retryDelay_ * PA_USEC_PER_SEC));
    retryDelay_ = std::min(retryDelay_ * 2, kLongestRetrySeconds);
    if (retry_) {
        api->time_restart(retry_, &when);
        return;
    }
    retry_ = api->time_new(
        api, &when,
        [](pa_mainloop_api* a, pa_time_event* e, const timeval*, void* p) {
            auto* self = static_cast<PulseAudioDevices*>(p);
            a->time_free(e);
            self->retry_ = nullptr;
            self->connect();
        },
        this);
}

void PulseAudioDevices::requestAll() {
    // The sources come before the streams, so that each stream's source is known as a monitor
    // or not when the stream is read.
    pending_ = 4;
    if (auto* o = pa_context_get_source_info_list(
            context_,
            [](pa_context*, const pa_source_info* i, int eol, void* s) { static_cast<PulseAudioDevices*>(s)->sourceRead(i, eol); },
            this))
        pa_operation_unref(o);
    if (auto* o = pa_context_get_source_output_info_list(
            context_,
            [](pa_context*, const pa_source_output_info* i, int eol, void* s) {
                static_cast<PulseAudioDevices*>(s)->sourceOutputRead(i, eol);
            },
            this))
        pa_operation_unref(o);
    if (auto* o = pa_context_get_server_info(
            context_, [](pa_context*, const pa_server_info* i, void* s) { static_cast<PulseAudioDevices*>(s)->serverRead(i); },
            this))
        pa_operation_unref(o);
    if (auto* o = pa_context_get_sink_info_list(
            context_,
            [](pa_context*, const pa_sink_info* i, int eol, void* s) { static_cast<PulseAudioDevices*>(s)->sinkRead(i, eol); },
            this))
        pa_operation_unref(o);
}

void PulseAudioDevices::sinkRead(const pa_sink_info* info, int eol) {
    if (eol != 0 || !info) return endOfFirstList(eol);
    Sink sink;
    sink.info.id = info->index;
    const std::string name = info->name ? info->name : "";
    std::string bus = property(info->proplist, PA_PROP_DEVICE_BUS);
    const std::string api = property(info->proplist, PA_PROP_DEVICE_API);
    if (bus.empty() && (api == "bluez" || api == "bluez5")) bus = "bluetooth";
    sink.name = name;
    sink.info.uid = name;
    if (bus == "bluetooth") {
        // An accessory is matched to its paired device by the address before the colon.
        std::string address = property(info->proplist, "api.bluez5.address");
        if (address.empty()) address = property(info->proplist, PA_PROP_DEVICE_STRING);
        std::replace(address.begin(), address.end(), ':', '-');
        if (!address.empty()) sink.info.uid = lower(address) + ":" + name;
    }
    if (info->description) sink.info.modelUID = info->description;
    if (bus == "bluetooth") {
        if (auto model = pulseBluetoothModel(property(info->proplist, "device.product.id"),
                                             property(info->proplist, "device.vendor.id")))
            sink.info.modelUID = model;
    }
    sink.info.transportType = pulseTransport(bus, info->active_port && info->active_port->name ? info->active_port->name : "",
                                             property(info->proplist, PA_PROP_DEVICE_FORM_FACTOR));
    const unsigned count = std::min<unsigned>(info->volume.channels, PA_CHANNELS_MAX);
    sink.channels.assign(info->volume.values, info->volume.values + count);
    sink.muted = info->mute != 0;

    bool volumeChanged = false, muteChanged = false, identityChanged = false;
    {
        std::lock_guard lock(mutex_);
        auto it = sinks_.find(info->index);
        if (it == sinks_.end()) {
            identityChanged = true;
        } else {
            volumeChanged = average(it->second.channels) != average(sink.channels);
            muteChanged = it->second.muted != sink.muted;
            identityChanged = !(it->second.info == sink.info);
        }
        sinks_[info->index] = std::move(sink);
    }
    if (!ready_) return;
    if (identityChanged) publishDefault();
    const AudioDeviceID id = info->index;
    auto weak = std::weak_ptr<Shared>(shared_);
    if (volumeChanged)
        main_.post([weak, id] {
            if (auto s = weak.lock()) s->volumeChanged.emit(id);
        });
    if (muteChanged)
        main_.post([weak, id] {
            if (auto s = weak.lock()) s->muteChanged.emit(id);
        });
}

void PulseAudioDevices::endOfFirstList(int eol) {
    if (eol > 0 && !ready_ && --pending_ == 0) publishDefault();
}

void PulseAudioDevices::sourceRead(const pa_source_info* info, int eol) {
    if (eol != 0 || !info) return endOfFirstList(eol);
    std::lock_guard lock(mutex_);
    if (monitorSources_.size() < kMaxStreams || monitorSources_.count(info->index))
        monitorSources_[info->index] = info->monitor_of_sink != PA_INVALID_INDEX;
}

void PulseAudioDevices::sourceOutputRead(const pa_source_output_info* info, int eol) {
    if (eol != 0 || !info) return endOfFirstList(eol);
    // A paused stream records nothing: it reads as gone until it runs again.
    if (info->corked) return sourceOutputRemoved(info->index);
    CaptureUse use;
    std::string name = property(info->proplist, PA_PROP_APPLICATION_NAME);
    if (captureApplicationName(name).empty()) name = property(info->proplist, PA_PROP_APPLICATION_PROCESS_BINARY);
    use.application = captureApplicationName(name);
    use.pid = processId(property(info->proplist, PA_PROP_APPLICATION_PROCESS_ID)).value_or(0);
    use.isOwn = use.pid == static_cast<std::int64_t>(::getpid());
    PulseStreamHints hints;
    hints.resampleMethod = info->resample_method ? info->resample_method : "";
    hints.streamMonitor = property(info->proplist, "stream.monitor");
    hints.mediaRole = property(info->proplist, PA_PROP_MEDIA_ROLE);
    bool changed;
    {
        std::lock_guard lock(mutex_);
        auto source = monitorSources_.find(info->source);
        hints.sourceIsMonitor = source != monitorSources_.end() && source->second;
        use.isLevelMeter = isPulseLevelMeter(hints);
        auto it = streams_.find(info->index);
        if (it == streams_.end() && streams_.size() >= kMaxStreams) return;
        changed = it == streams_.end() || !(it->second == use);
        streams_[info->index] = std::move(use);
    }
    if (ready_ && changed) publishMicrophone(false);
}

void PulseAudioDevices::sourceOutputRemoved(std::uint32_t index) {
    bool removed;
    {
        std::lock_guard lock(mutex_);
        removed = streams_.erase(index) > 0;
    }
    if (ready_ && removed) publishMicrophone(false);
}

void PulseAudioDevices::publishMicrophone(bool firstReading) {
    main_.post([weak = std::weak_ptr<Shared>(shared_), firstReading] {
        if (auto s = weak.lock()) s->microphoneChanged.emit(firstReading);
    });
}

void PulseAudioDevices::serverRead(const pa_server_info* info) {
    if (!info) return;
    {
        std::lock_guard lock(mutex_);
        defaultName_ = info->default_sink_name ? info->default_sink_name : "";
    }
    if (ready_ || --pending_ == 0) publishDefault();
}

void PulseAudioDevices::sinkRemoved(std::uint32_t index) {
    {
        std::lock_guard lock(mutex_);
        sinks_.erase(index);
    }
    if (ready_) publishDefault();
}

// Called once the first full reading is in, and after each change that may move the default.
void PulseAudioDevices::publishDefault() {
    const bool first = !ready_;
    ready_ = true;
    std::optional<AudioDevice> device;
    bool changed;
    {
        std::lock_guard lock(mutex_);
        std::optional<std::uint32_t> id;
        for (const auto& [index, sink] : sinks_)
            if (sink.name == defaultName_) {
                id = index;
                device = sink.info;
            }
        changed = id != defaultId_;
        defaultId_ = id;
        if (first) connected_ = true;
    }
    auto weak = std::weak_ptr<Shared>(shared_);
    if (first) {
        if (saidLost_) say(LogLevel::info, "PulseAudio connected again; audio devices back");
        saidLost_ = false;
        // The first reading of a connection is where the levels stand, not a change of them.
        main_.post([weak] {
            if (auto s = weak.lock()) s->connected.emit();
        });
        publishMicrophone(true);
        return;
    }
    if (!changed) return;
    main_.post([weak, device] {
        if (auto s = weak.lock()) s->defaultChanged.emit(device);
    });
}

// Log sinks belong to the main queue.
void PulseAudioDevices::say(LogLevel level, std::string message) {
    main_.post([weak = std::weak_ptr<Shared>(shared_), logger = logger_, level, message = std::move(message)] {
        if (weak.lock()) logger.log(level, message);
    });
}

bool PulseAudioDevices::isConnected() const {
    std::lock_guard lock(mutex_);
    return connected_;
}

const PulseAudioDevices::Sink* PulseAudioDevices::find(AudioDeviceID id) const {
    auto it = sinks_.find(id);
    return it == sinks_.end() ? nullptr : &it->second;
}

std::vector<AudioDevice> PulseAudioDevices::devices() const {
    std::lock_guard lock(mutex_);
    std::vector<AudioDevice> out;
    for (const auto& [index, sink] : sinks_) out.push_back(sink.info);
    return out;
}

std::optional<AudioDevice> PulseAudioDevices::device(AudioDeviceID id) const {
    std::lock_guard lock(mutex_);
    if (const Sink* s = find(id)) return s->info;
    return std::nullopt;
}

std::optional<AudioDevice> PulseAudioDevices::defaultOutputDevice() const {
    std::lock_guard lock(mutex_);
    if (!defaultId_) return std::nullopt;
    if (const Sink* s = find(*defaultId_)) return s->info;
    return std::nullopt;
}

bool PulseAudioDevices::hasProperty(AudioDeviceID id, AudioProperty property) const {
    std::lock_guard lock(mutex_);
    const Sink* s = find(id);
    if (!s) return false;
    return property == AudioProperty::mute || !s->channels.empty();
}

std::optional<float> PulseAudioDevices::volume(AudioDeviceID id) const {
    std::lock_guard lock(mutex_);
    const Sink* s = find(id);
    return s ? average(s->channels) : std::nullopt;
}

std::optional<bool> PulseAudioDevices::isMuted(AudioDeviceID id) const {
    std::lock_guard lock(mutex_);
    const Sink* s = find(id);
    return s ? std::optional<bool>(s->muted) : std::nullopt;
}

bool PulseAudioDevices::setVolume(AudioDeviceID id, float level) {
    if (!loop_ || !std::isfinite(level)) return false;
    pa_cvolume target;
    pa_cvolume_init(&target);
    {
        std::lock_guard lock(mutex_);
        const Sink* s = find(id);
        if (!s || s->channels.empty()) return false;
        // The balance between channels stays as it is; only the overall level moves.
        const double wanted = std::clamp(level, 0.0f, 1.0f) * double(PA_VOLUME_NORM);
        const double now = *average(s->channels) * double(PA_VOLUME_NORM);
        target.channels = static_cast<std::uint8_t>(s->channels.size());
        for (std::size_t i = 0; i < s->channels.size(); ++i) {
            const double v = now > 0 ? s->channels[i] * wanted / now : wanted;
            target.values[i] = static_cast<pa_volume_t>(std::clamp(std::lround(v), 0L, long(PA_VOLUME_MAX)));
        }
    }
    pa_threaded_mainloop_lock(loop_);
    pa_operation* o = context_ && pa_context_get_state(context_) == PA_CONTEXT_READY
                          ? pa_context_set_sink_volume_by_index(context_, id, &target, nullptr, nullptr)
                          : nullptr;
    if (o) pa_operation_unref(o);
    pa_threaded_mainloop_unlock(loop_);
    return o != nullptr;
}

bool PulseAudioDevices::setMuted(AudioDeviceID id, bool muted) {
    if (!loop_ || !device(id)) return false;
    pa_threaded_mainloop_lock(loop_);
    pa_operation* o = context_ && pa_context_get_state(context_) == PA_CONTEXT_READY
                          ? pa_context_set_sink_mute_by_index(context_, id, muted, nullptr, nullptr)
                          : nullptr;
    if (o) pa_operation_unref(o);
    pa_threaded_mainloop_unlock(loop_);
    return o != nullptr;
}

Subscription PulseAudioDevices::onDefaultOutputDeviceChanged(std::function<void(std::optional<AudioDevice>)> cb) {
    return shared_->defaultChanged.connect(std::move(cb));
}
Subscription PulseAudioDevices::onVolumeChanged(std::function<void(AudioDeviceID)> cb) {
    return shared_->volumeChanged.connect(std::move(cb));
}
Subscription PulseAudioDevices::onMuteChanged(std::function<void(AudioDeviceID)> cb) {
    return shared_->muteChanged.connect(std::move(cb));
}
Subscription PulseAudioDevices::onConnected(std::function<void()> cb) { return shared_->connected.connect(std::move(cb)); }

std::vector<CaptureUse> PulseAudioDevices::microphoneUses() const {
    std::lock_guard lock(mutex_);
    std::vector<CaptureUse> out;
    for (const auto& [index, use] : streams_) out.push_back(use);
    return out;
}

Subscription PulseAudioDevices::onMicrophoneChanged(std::function<void(bool)> cb) {
    return shared_->microphoneChanged.connect(std::move(cb));
}

}  // namespace halvyn
