#pragma once
// Audio devices on a PulseAudio server (or PipeWire's PulseAudio service): every sink is a device,
// the server's default sink is the default output device. The same connection follows the
// recording streams (source outputs), for the microphone in-use indicator. The client runs on its own thread;
// change notifications are handed to the main queue. Nothing waits for the server: the first full
// reading of each connection is announced as the service's connection (a starting point, not a
// change). When the server goes away the port reads as having no devices, and it reconnects on
// its own when the server comes back.

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/audio_devices.h"
#include "platform/capture_devices.h"
#include "runtime/logger.h"

struct pa_threaded_mainloop;
struct pa_context;
struct pa_sink_info;
struct pa_source_info;
struct pa_source_output_info;
struct pa_server_info;
struct pa_time_event;

namespace halvyn {

class MainQueue;

// The transport of a sink from its properties: "bluetooth" → "Bluetooth", "usb" → "USB", an HDMI
// or DisplayPort port → "HDMI" / "DisplayPort", "pci" → "Built-In"; nothing otherwise.
std::optional<std::string> pulseTransport(const std::string& bus, const std::string& activePort,
                                          const std::string& formFactor);

// The model of a Bluetooth sink as "PRODUCT VENDOR" in hex ("2014 4c"), from the product and
// vendor identifiers PipeWire gives it ("0x2014", "bluetooth:004c"); nothing when either is
// missing or not a number.
std::optional<std::string> pulseBluetoothModel(const std::string& productId, const std::string& vendorId);

// The level of a sink from its raw channel volumes: their average, 100 % (0x10000) = 1, louder
// read as 1; nothing for a sink without channels, which has no volume to show or set.
std::optional<float> pulseAverageVolume(const std::vector<std::uint32_t>& channels);

class PulseAudioDevices final : public AudioDevices {
public:
    // Starts connecting to the server named by the environment (PULSE_SERVER, XDG_RUNTIME_DIR) and
    // returns at once.
    PulseAudioDevices(MainQueue& main, Logger logger);
    ~PulseAudioDevices() override;
    PulseAudioDevices(const PulseAudioDevices&) = delete;
    PulseAudioDevices& operator=(const PulseAudioDevices&) = delete;

    // Whether the client is connected and has read the server's state.
    bool isConnected() const;

    std::vector<AudioDevice> devices() const override;
    std::optional<AudioDevice> device(AudioDeviceID id) const override;
    std::optional<AudioDevice> defaultOutputDevice() const override;
    bool hasProperty(AudioDeviceID id, AudioProperty property) const override;
    std::optional<float> volume(AudioDeviceID id) const override;
    std::optional<bool> isMuted(AudioDeviceID id) const override;
    bool setVolume(AudioDeviceID id, float volume) override;
    bool setMuted(AudioDeviceID id, bool muted) override;

    Subscription onDefaultOutputDeviceChanged(std::function<void(std::optional<AudioDevice>)> cb) override;
    Subscription onVolumeChanged(std::function<void(AudioDeviceID)> cb) override;
    Subscription onMuteChanged(std::function<void(AudioDeviceID)> cb) override;
    Subscription onConnected(std::function<void()> cb) override;

    // The streams recording now (paused ones left out); empty while the server is gone.
    std::vector<CaptureUse> microphoneUses() const;
    // They changed; `firstReading` for the first full reading of a connection. On the main queue.
    Subscription onMicrophoneChanged(std::function<void(bool firstReading)> cb);

    // The recording streams followed at most; more are hostile or a fault, and left out.
    static constexpr std::size_t kMaxStreams = 256;

private:
    struct Sink {
        AudioDevice info;
        std::string name;
        std::vector<std::uint32_t> channels;  // raw channel volumes, 0x10000 = 100 %
        bool muted = false;
    };
    struct Shared;

    // All below run on the client's thread.
    void connect();
    void stateChanged();
    void scheduleReconnect();
    void requestAll();
    void sinkRead(const pa_sink_info* info, int eol);
    void serverRead(const pa_server_info* info);
    void sinkRemoved(std::uint32_t index);
    void sourceRead(const pa_source_info* info, int eol);
    void sourceOutputRead(const pa_source_output_info* info, int eol);
    void sourceOutputRemoved(std::uint32_t index);
    void endOfFirstList(int eol);
    void publishMicrophone(bool firstReading);
    void publishDefault();
    void say(LogLevel level, std::string message);

    const Sink* find(AudioDeviceID id) const;

    MainQueue& main_;
    Logger logger_;
    std::shared_ptr<Shared> shared_;
    pa_threaded_mainloop* loop_ = nullptr;
    pa_context* context_ = nullptr;
    pa_time_event* retry_ = nullptr;
    double retryDelay_ = 0.5;
    bool saidLost_ = false;
    bool ready_ = false;      // the first full reading after a connection has arrived
    int pending_ = 0;          // outstanding reads of the first full reading

    mutable std::mutex mutex_;
    std::map<std::uint32_t, Sink> sinks_;
    std::map<std::uint32_t, bool> monitorSources_;  // source index → is the monitor of a sink
    std::map<std::uint32_t, CaptureUse> streams_;    // source output index → its use
    std::string defaultName_;
    std::optional<std::uint32_t> defaultId_;
    bool connected_ = false;
};

}  // namespace halvyn
