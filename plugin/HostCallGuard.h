// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
#pragma once

#include <exception>
#include <string_view>

#include <syslog.h>

namespace huecast
{

/// Runs the body of a call the host made into the filter. Nothing thrown inside may cross into
/// the host: anything thrown (memory running out, most likely) is noted in the system log and
/// the call gives its failure result instead.
template <typename Result, typename Body>
Result guardHostCall(std::string_view call, Result failure, Body&& body) noexcept
{
    try
    {
        return body();
    }
    catch (const std::exception& exception)
    {
        syslog(LOG_ERR, "Huecast: %.*s failed: %s", static_cast<int>(call.size()), call.data(),
               exception.what());
    }
    catch (...)
    {
        syslog(LOG_ERR, "Huecast: %.*s failed", static_cast<int>(call.size()), call.data());
    }
    return failure;
}

} // namespace huecast
