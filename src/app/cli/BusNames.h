#pragma once

// The names under which the running program answers on the session bus, shared by the service, the
// command line and the launcher (which has no Qt).
namespace HistoryBus {
inline constexpr const char* serviceName = "com.pellamor.app";
inline constexpr const char* objectPath = "/com/pellamor/app";
inline constexpr const char* interfaceName = "com.pellamor.History1";
inline constexpr const char* textMimeType = "text/plain;charset=utf-8";
inline constexpr const char* imageMimeType = "image/png";
// The errors of the interface.
inline constexpr const char* noSuchEntry = "com.pellamor.Error.NoSuchEntry";
inline constexpr const char* unsupportedType = "com.pellamor.Error.UnsupportedType";
inline constexpr const char* invalidData = "com.pellamor.Error.InvalidData";
inline constexpr const char* tooLarge = "com.pellamor.Error.TooLarge";
} // namespace HistoryBus
