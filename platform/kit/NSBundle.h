// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace huecast::kit
{

/// A loadable module's folder and the resources beside it: a module at B/name.so has its
/// resources in B/resources/.
class __attribute__((visibility("default"))) NSBundle
{
public:
    /// The bundle of the module (shared object or executable) whose code or data holds the
    /// address; nullopt when the dynamic linker can't tell. Pass the address of a function of
    /// the module in question: this stands in for looking a bundle up by one of its classes.
    [[nodiscard]] static std::optional<NSBundle> bundleContainingAddress(const void* address);

    explicit NSBundle(std::string bundlePath) : m_bundlePath(std::move(bundlePath)) {}

    [[nodiscard]] const std::string& bundlePath() const { return m_bundlePath; }
    [[nodiscard]] std::string resourcePath() const { return m_bundlePath + "/resources"; }
    /// The path of the resource file "name.type", or an empty string when there is no such
    /// file.
    [[nodiscard]] std::string pathForResource(std::string_view name, std::string_view type) const;

private:
    std::string m_bundlePath;
};

} // namespace huecast::kit
