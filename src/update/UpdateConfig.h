#pragma once

#include <QString>

// Where the update check looks for the manifest.
namespace UpdateConfig {

// The maker's web host: scheme and host only, no trailing slash.
inline constexpr const char* BaseAddress = "http://update.example.com";
inline constexpr const char* ManifestName = "KorvaniUpdate.inf";

// The base address in use: BaseAddress unless a test has pointed it elsewhere.
QString baseAddress();
// baseAddress() + "/" + ManifestName.
QString manifestAddress();

// Test seam: a base address of the test's own server (an empty text restores the
// built-in one). The transfer's time-out has its own seam, in platform/HttpGet.h.
void setBaseAddressForTesting(const QString& address);

} // namespace UpdateConfig
