// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "cube/ZRCubeCache.h"
#include "platform/foundation/Error.h"
#include "platform/fx/FxFilter.h"
#include "platform/fx/FxHostAPI.h"
#include "platform/gl/GL.h"
#include "platform/kit/NSControl.h"
#include "plugin/HuecastParameters.h"
#include "plugin/PassUniforms.h"

namespace huecast
{

/// The Huecast filter: one per effect instance. Maps every frame through the chosen cube on the
/// GPU. All calls come on the host's calling thread.
class HuecastFxPlug final : public fx::FxFilter, public fx::FxCustomParameterViewHost
{
public:
    /// A ready filter, or null when its shader program cannot be built in the current GL
    /// context (no context, no GLSL, a stage that does not compile, a program that does not
    /// link). Needs a current GL context. The manager must outlive the filter.
    [[nodiscard]] static std::unique_ptr<HuecastFxPlug>
    initWithAPIManager(fx::PROAPIAccessing& apiManager);

    HuecastFxPlug(const HuecastFxPlug&) = delete;
    HuecastFxPlug& operator=(const HuecastFxPlug&) = delete;
    /// Deletes the shader program in whatever GL context is current.
    ~HuecastFxPlug() override;

    // The host contract. Every call catches whatever is thrown inside and gives its failure
    // result (false, null, an empty dictionary), with the GL state as the host left it.
    [[nodiscard]] foundation::Dictionary properties() const override;
    [[nodiscard]] bool variesOverTime() const override { return true; }
    bool addParameters() override;
    bool parameterChanged(std::uint32_t parmId) override;
    bool getOutputWidth(std::uint64_t* width, std::uint64_t* height, const fx::FxImageInfo& input,
                        const fx::FxRenderInfo& info) override;
    bool frameSetup(const fx::FxRenderInfo& info, const fx::FxImageInfo& inputInfo, bool* hardware,
                    bool* software) override;
    bool renderOutput(fx::FxImage& output, fx::FxImage& input,
                      const fx::FxRenderInfo& info) override;
    bool frameCleanup() override { return true; }
    [[nodiscard]] fx::FxCustomParameterViewHost* customParameterViewHost() override { return this; }
    [[nodiscard]] std::shared_ptr<kit::NSView> createViewForParm(std::uint32_t parmId) override;

    /// Builds and links the program in the filter's slot from the two (scrambled) sources,
    /// vertex stage first; false at the first step that fails.
    [[nodiscard]] bool loadVertexShader(const char* vertexSource, const char* fragmentSource);

    /// Makes the cube of the .cube file at `path` the value of "CubeData": from the cache when
    /// it is there, else read and added to the cache. False (with the reader's error) when the
    /// file can't be read; "CubeData" and the cache are then unchanged.
    [[nodiscard]] bool setCubeForName(const std::string& path, foundation::Error* error);

    /// The Browse button's action: asks for a .cube file and loads it as the external LUT.
    void selectFile(kit::NSControl* sender);

    /// Shows the "Load LUT" path in the newest path display, if it still exists.
    void syncUI();

    /// This instance's "3D LUT" entries.
    [[nodiscard]] const std::vector<std::string>& cubesList() const { return m_cubesList; }
    /// The program slot (0: none).
    [[nodiscard]] GLuint programObject() const { return _program_object; }
    /// The program that draws the variant: the slot's for none, else the variant's, built in
    /// the current context on first use (0 when it can't be built, or without the slot's).
    [[nodiscard]] PassProgram programFor(const PassVariant& variant);

    /// The newest control's button and path display, or null once the host destroyed them.
    [[nodiscard]] std::shared_ptr<kit::NSButton> browseButton() const
    {
        return m_browseButton.lock();
    }
    [[nodiscard]] std::shared_ptr<kit::NSTextField> filePathDisplay() const
    {
        return m_filePathDisplay.lock();
    }

    /// The full path of a library entry: the folder where this instance found the name when it
    /// was made, "/", the name, ".cube" (the library folder for a name it didn't find).
    [[nodiscard]] std::string libraryPathForName(std::string_view name) const;

private:
    explicit HuecastFxPlug(fx::PROAPIAccessing& apiManager);

    [[nodiscard]] static std::shared_ptr<kit::NSView> customView();
    [[nodiscard]] std::shared_ptr<kit::NSView> makeViewForParm(std::uint32_t parmId);
    bool applyLUTChoice();
    bool drawOutput(fx::FxTexture& output, fx::FxTexture& input, double time);
    bool chooseLibraryEntry(std::size_t index);
    void showErrorAlert(const foundation::Error* error, std::string_view fallback) const;

    fx::PROAPIAccessing& m_apiManager;
    // The GL name keeps its established spelling: tools and notes refer to it by this name.
    GLuint _program_object = 0; // NOLINT(readability-identifier-naming)
    PassUniforms m_uniforms;    // _program_object's, looked up when it links
    // The program of each variant but none, at its number − 1, built on its first frame (0
    // after a failed build); _program_object is trilinear at the full amount over 0..1.
    std::array<std::optional<PassProgram>, 7> m_variantPrograms;
    std::weak_ptr<kit::NSButton> m_browseButton;
    std::weak_ptr<kit::NSTextField> m_filePathDisplay;
    std::vector<std::string> m_cubesList;
    std::map<std::string, std::string, std::less<>> m_libraryPaths; // library name: its file
    ZRCubeCache* m_cache = nullptr;
    // Buttons send their action here; it dies with the filter, so a stale button sends nothing.
    std::shared_ptr<kit::NSResponder> m_actionTarget;
};

} // namespace huecast
