#pragma once
// The names under which the application's life-cycle events reach the kit's
// notification centre. They live below the usage-event library, which
// listens for them, and the crash kit, which posts them for its host.

inline constexpr const char* kBRSApplicationWillBecomeActiveNotification = "NSApplicationWillBecomeActiveNotification";
inline constexpr const char* kBRSApplicationDidBecomeActiveNotification = "NSApplicationDidBecomeActiveNotification";
inline constexpr const char* kBRSApplicationWillResignActiveNotification = "NSApplicationWillResignActiveNotification";
inline constexpr const char* kBRSApplicationDidResignActiveNotification = "NSApplicationDidResignActiveNotification";
inline constexpr const char* kBRSApplicationWillTerminateNotification = "NSApplicationWillTerminateNotification";
