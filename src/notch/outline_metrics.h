#pragma once
// The drawn notch's metrics as a pure function of what they follow: the notch's published state,
// the vertical swipe shown by the input, and four settings. Sizes in points.

#include <string>

#include "notch/notch.h"

namespace halvyn {

enum class VerticalSwipeDirection { none, up, down };

// The vertical swipe as the notch view shows it.
struct VerticalSwipeState {
    VerticalSwipeDirection direction = VerticalSwipeDirection::none;
    double offset = 0;    // negative upwards, positive downwards
    double progress = 0;  // 0 … 1
    friend bool operator==(const VerticalSwipeState&, const VerticalSwipeState&) = default;
};

struct OutlineInput {
    double notchWidth = 0;
    double notchHeight = 0;
    double notchExpandedWidth = 0;
    double notchExpandedHeight = 0;
    bool isExpanded = false;
    bool isExpanding = false;
    bool isCollapsing = false;
    bool isVisible = false;
    bool hasNotification = false;
    Notch::Notification notification = Notch::Notification::none;
    bool hasLiveActivity = false;
    Notch::LiveActivity liveActivity = Notch::LiveActivity::none;
    bool isQuickPeeking = false;
    Notch::QuickPeek quickPeek = Notch::QuickPeek::none;
    bool hasOutput = false;
    bool isElevated = false;
    bool isWidening = false;
    bool isAdjusting = false;
    bool hasNotch = false;
    Notch::LiveActivity preferredLiveActivity = Notch::LiveActivity::none;

    bool swipeToToggle = true;
    bool swipeToDismiss = true;
    double notchAdjustedWidth = 0;
    double notchAdjustedHeight = 0;

    VerticalSwipeState swipe;
};

enum class OutlineFill { black, rose };

struct OutlineMetrics {
    double width = 0;
    double height = 0;
    double topRadius = 0;
    double bottomRadius = 0;
    double shadowOpacity = 0;
    double shadowRadius = 0;
    double shadowY = 0;
    OutlineFill fill = OutlineFill::black;
    friend bool operator==(const OutlineMetrics&, const OutlineMetrics&) = default;
};

// Width added to the compact outline while a notification of this kind shows.
double notificationWidth(Notch::Notification kind);

// A down swipe that stretches the compact outline towards expansion (not one that brings back a
// dismissed activity).
bool isOpeningPull(const OutlineInput& in);

OutlineMetrics outlineMetrics(const OutlineInput& in);

// "black", or the colour asset "RoseColor" shown while the size is being adjusted.
const char* fillName(OutlineFill fill);

}  // namespace halvyn
