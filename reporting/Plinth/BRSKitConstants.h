#pragma once
// The crash kit's own identity, sent with every request it makes; it lives
// here, below the usage-event library, which sends it too.

inline constexpr const char* kBRSKitVersion = "3.0.8";
inline constexpr const char* kBRSKitBuild = "50";
inline constexpr const char* kBRSKitBundleIdentifier = "com.plinth.brisca.mac";
inline constexpr const char* kBRSUserAgent = "Brisca Mac SDK/3.0.8";
inline constexpr const char* kBRSClientType = "Brisca Mac SDK";
inline constexpr const char* kBRSDeveloperToken = "e3b97a0c52d14f86a9c07b3e1d5f28c46a0b9e71";
