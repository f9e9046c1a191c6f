// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright Huecast contributors
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>

#include "host/CommandLinePresenter.h"
#include "host/Frame.h"
#include "host/FrameRenderer.h"
#include "host/ReferenceHost.h"
#include "plugin/HuecastParameters.h"

namespace huecast::frei0r
{

/// The frei0r parameters, in the order the module declares them.
enum class Frei0rParameter : std::uint8_t
{
    Lut = 0,     ///< a library entry's name, or a path to a .cube file
    Project = 1, ///< a project file saved by `huecast render --save-project`
    // After the first two, so that positional filter strings written for them still work.
    Interpolation = 2, ///< "trilinear" or "tetrahedral"; empty: the effect's (or project's)
    Amount = 3,        ///< 0..1, a double; unset: the effect's (or project's)
};
inline constexpr int kParameterCount = 4;

/// One frei0r instance: a host of its own for the plug-in bundle (its own headless GL context,
/// one effect instance, the frame path), graded frame by frame in RGBA8888.
///
/// A LUT or project that doesn't load, a control it refuses (an interpolation it doesn't know,
/// an amount outside 0..1), a missing GL context or a frame the plug-in refuses prints one line
/// on the message stream ("huecast: look.cube: Huecast Error: Malformed data Line:12") and
/// frames then pass through unchanged; in strict mode (HUECAST_FREI0R_STRICT=1 when the
/// instance is made) the host process then ends with status 1 instead. Calls for one
/// instance may come from any thread, one at a time; the instance makes its context current for
/// the call and gives the thread back the context it had.
class Frei0rFilter
{
public:
    Frei0rFilter(unsigned width, unsigned height, std::FILE* messages = stderr);
    Frei0rFilter(const Frei0rFilter&) = delete;
    Frei0rFilter& operator=(const Frei0rFilter&) = delete;
    ~Frei0rFilter();

    /// Stores a string parameter's value (null counts as ""); it takes effect at the next frame.
    void setParameter(Frei0rParameter parameter, const char* value);
    /// A string parameter's stored value, owned by the instance until the next setParameter.
    [[nodiscard]] char* parameter(Frei0rParameter parameter);
    /// Stores "amount"; it takes effect at the next frame.
    void setAmount(double amount);
    [[nodiscard]] double amount() const { return m_amount; }

    /// Grades one frame of the constructed size; `time` (seconds) is the filter's render time.
    /// `input` and `output` may be the same frame.
    void update(double time, const std::uint32_t* input, std::uint32_t* output);

private:
    bool openHost();
    void applyChoice();
    bool chooseLibraryEntry(const std::string& name);
    bool chooseFile(const std::string& path);
    bool setControls();
    void passThrough(const std::uint32_t* input, std::uint32_t* output) const;
    // Prints "huecast: MESSAGE", then ends the process in strict mode.
    void report(const std::string& message) const;
    // Ends the process with status 1 in strict mode, once the failure has been said.
    void endIfStrict() const;

    unsigned m_width;
    unsigned m_height;
    std::FILE* m_messages;
    bool m_strict; // a failure ends the host process
    std::string m_lut;
    std::string m_project;
    std::string m_interpolation;      // "": what the LUT's choice holds
    double m_amount = kAmountDefault; // the default: what the LUT's choice holds
    // "Interpolation" and "Amount" as the LUT's choice left them (a project's saved values, else
    // the effect's defaults), which unset controls keep.
    struct Controls
    {
        std::int32_t interpolation = kTrilinearIndex;
        double amount = kAmountDefault;
    };
    Controls m_chosenControls;
    bool m_changed = false;         // the LUT or project changed: a fresh instance
    bool m_controlsChanged = false; // interpolation or amount changed
    bool m_chosen = false;          // the LUT or project loaded into the instance
    bool m_grading = false;         // a LUT or project is in place and frames go through the filter
    bool m_hostFailed = false;      // the host couldn't be made; not tried again

    std::shared_ptr<host::CommandLinePresenter> m_presenter;
    std::unique_ptr<host::ReferenceHost> m_host;
    host::EffectInstance* m_instance = nullptr;
    std::unique_ptr<host::FrameRenderer> m_renderer;
    host::Frame m_input;
    host::Frame m_output;
};

/// True when HUECAST_FREI0R_STRICT is "1": failures end the host process with status 1.
[[nodiscard]] bool strictFromEnvironment();

/// The bundle the module loads: $HUECAST_BUNDLE when set, else found from the module's own
/// folder, installed or in the build tree; "" when none is there.
[[nodiscard]] std::string bundlePath();

} // namespace huecast::frei0r
