#pragma once
// The simulated Bluetooth stack: a list of paired devices kept as plain values, and the
// application's authorisation.

#include <string>

#include "platform/bluetooth.h"

namespace halvyn {

class SimBluetooth final : public Bluetooth {
public:
    std::optional<std::vector<PairedDevice>> pairedDevices() override { return paired; }
    BluetoothAuthorization authorization() const override { return authorization_; }
    Subscription observeAuthorization(std::function<void()> cb) override {
        return authorizationChanges_.connect(std::move(cb));
    }

    // The user answers an undetermined authorization with `answer`.
    void requestAuthorization() override {
        ++requests;
        if (authorization_ == BluetoothAuthorization::notDetermined) setAuthorization(answer);
    }
    BluetoothAuthorization answer = BluetoothAuthorization::allowedAlways;
    int requests = 0;

    // Simulation controls. Absent: the list cannot be had.
    std::optional<std::vector<PairedDevice>> paired = std::vector<PairedDevice>{};
    // Changes the authorisation and tells the observers when it differs.
    void setAuthorization(BluetoothAuthorization a) {
        if (a == authorization_) return;
        authorization_ = a;
        authorizationChanges_.emit();
    }
    // The paired device with exactly this address, added (disconnected, no readings) when new.
    PairedDevice& device(const std::string& address) {
        if (!paired) paired.emplace();
        for (auto& d : *paired)
            if (d.addressString == address) return d;
        paired->push_back(PairedDevice{address});
        return paired->back();
    }

private:
    BluetoothAuthorization authorization_ = BluetoothAuthorization::allowedAlways;
    Signal<> authorizationChanges_;
};

}  // namespace halvyn
