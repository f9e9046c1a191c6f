// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright Huecast contributors
//
// The frei0r entry points. Each one catches everything: no exception may cross into the host,
// which is C and cannot unwind it.
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <exception>
#include <new>
#include <string_view>

// The header declares its entry points without C linkage.
extern "C"
{
#include <frei0r.h>
}

#include "adapters/frei0r/Frei0rFilter.h"

namespace
{

using huecast::frei0r::Frei0rFilter;
using huecast::frei0r::Frei0rParameter;

constexpr int kMajorVersion = 0;
constexpr int kMinorVersion = 2;

// Parameter indexes from the host are checked before they become a parameter.
bool isParameter(int index)
{
    return index >= 0 && index < huecast::frei0r::kParameterCount;
}

// ffmpeg's frei0r bridge hands over frames whose rows it pads to 64 bytes, where frei0r's are
// packed: a frame whose width isn't a multiple of 16 comes out scrambled. Said once a process,
// when the host is ffmpeg.
void warnOfPaddedRows(unsigned int width)
{
    static std::atomic<bool> warned{false};
    if (width % 16 == 0 || std::string_view(program_invocation_short_name) != "ffmpeg" ||
        warned.exchange(true))
    {
        return;
    }
    std::fprintf(stderr,
                 "huecast: ffmpeg's frei0r bridge scrambles frames whose width is not a multiple "
                 "of 16 pixels (this one is %u): scale first (-vf scale=%u:-2,frei0r=...), or "
                 "grade with huecast render\n",
                 width, (width + 15) / 16 * 16);
}

void reportException(const char* where) noexcept
{
    try
    {
        throw;
    }
    catch (const std::exception& exception)
    {
        std::fprintf(stderr, "huecast: %s failed: %s\n", where, exception.what());
    }
    catch (...)
    {
        std::fprintf(stderr, "huecast: %s failed\n", where);
    }
}

} // namespace

// The module is built with hidden visibility; the entry points are what hosts look up.
#pragma GCC visibility push(default)
extern "C"
{

    int f0r_init()
    {
        return 1;
    }

    void f0r_deinit() {}

    void f0r_get_plugin_info(f0r_plugin_info_t* info)
    {
        info->name = "huecast";
        info->author = "Huecast contributors";
        info->plugin_type = F0R_PLUGIN_TYPE_FILTER;
        info->color_model = F0R_COLOR_MODEL_RGBA8888;
        info->frei0r_version = FREI0R_MAJOR_VERSION;
        info->major_version = kMajorVersion;
        info->minor_version = kMinorVersion;
        info->num_params = huecast::frei0r::kParameterCount;
        info->explanation =
            "Grades every frame through a 3D colour look-up table (a .cube file) on "
            "the GPU, with the Huecast plug-in";
    }

    void f0r_get_param_info(f0r_param_info_t* info, int paramIndex)
    {
        switch (static_cast<Frei0rParameter>(paramIndex))
        {
        case Frei0rParameter::Lut:
            info->name = "lut";
            info->type = F0R_PARAM_STRING;
            info->explanation =
                "The LUT: a library entry's name (as `huecast list` shows it), or a "
                "path to a .cube file (a value with a '/' or ending in .cube)";
            break;
        case Frei0rParameter::Project:
            info->name = "project";
            info->type = F0R_PARAM_STRING;
            info->explanation = "A project file saved by `huecast render --save-project`: its cube "
                                "is restored, no .cube file needed";
            break;
        case Frei0rParameter::Interpolation:
            info->name = "interpolation";
            info->type = F0R_PARAM_STRING;
            info->explanation = "How the lattice is read: trilinear (the default) or tetrahedral";
            break;
        case Frei0rParameter::Amount:
            info->name = "amount";
            info->type = F0R_PARAM_DOUBLE;
            info->explanation = "How much of the graded colour replaces the input, 0 to 1 "
                                "(default 1)";
            break;
        }
    }

    f0r_instance_t f0r_construct(unsigned int width, unsigned int height)
    {
        try
        {
            warnOfPaddedRows(width);
            return new Frei0rFilter(width, height);
        }
        catch (...)
        {
            reportException("making an instance");
            return nullptr;
        }
    }

    void f0r_destruct(f0r_instance_t instance)
    {
        try
        {
            delete static_cast<Frei0rFilter*>(instance);
        }
        catch (...)
        {
            reportException("removing an instance");
        }
    }

    void f0r_set_param_value(f0r_instance_t instance, f0r_param_t param, int paramIndex)
    {
        if (instance == nullptr || param == nullptr || !isParameter(paramIndex))
        {
            return;
        }
        try
        {
            auto* filter = static_cast<Frei0rFilter*>(instance);
            const auto parameter = static_cast<Frei0rParameter>(paramIndex);
            if (parameter == Frei0rParameter::Amount)
            {
                filter->setAmount(*static_cast<f0r_param_double*>(param));
                return;
            }
            filter->setParameter(parameter, *static_cast<f0r_param_string*>(param));
        }
        catch (...)
        {
            reportException("setting a parameter");
        }
    }

    void f0r_get_param_value(f0r_instance_t instance, f0r_param_t param, int paramIndex)
    {
        if (instance == nullptr || param == nullptr || !isParameter(paramIndex))
        {
            return;
        }
        auto* filter = static_cast<Frei0rFilter*>(instance);
        const auto parameter = static_cast<Frei0rParameter>(paramIndex);
        if (parameter == Frei0rParameter::Amount)
        {
            *static_cast<f0r_param_double*>(param) = filter->amount();
            return;
        }
        *static_cast<f0r_param_string*>(param) = filter->parameter(parameter);
    }

    void f0r_update(f0r_instance_t instance, double time, const uint32_t* inframe,
                    uint32_t* outframe)
    {
        if (instance == nullptr || inframe == nullptr || outframe == nullptr)
        {
            return;
        }
        try
        {
            static_cast<Frei0rFilter*>(instance)->update(time, inframe, outframe);
        }
        catch (...)
        {
            reportException("grading a frame");
        }
    }

} // extern "C"
#pragma GCC visibility pop
