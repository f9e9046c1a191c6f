// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
#include "plugin/HuecastFxPlug.h"

#include "cube/CubeLibrary.h"
#include "plugin/HostCallGuard.h"
#include "shaders/ShaderLoader.h"
#include "shaders/StoredShaders.h"

namespace huecast
{
namespace
{

// Sends the Browse button's action to the filter while the filter lives.
class ActionTarget final : public kit::NSResponder
{
public:
    explicit ActionTarget(HuecastFxPlug& filter) : m_filter(filter) {}
    bool tryToPerform(std::string_view action, kit::NSControl* sender) override
    {
        if (action != "selectFile:")
        {
            return false;
        }
        // The Browse button's click comes from the host's event handling.
        return guardHostCall("selectFile:", false,
                             [&]
                             {
                                 m_filter.selectFile(sender);
                                 return true;
                             });
    }

private:
    HuecastFxPlug& m_filter;
};

} // namespace

HuecastFxPlug::HuecastFxPlug(fx::PROAPIAccessing& apiManager)
    : m_apiManager(apiManager), m_actionTarget(std::make_shared<ActionTarget>(*this))
{
}

std::unique_ptr<HuecastFxPlug> HuecastFxPlug::initWithAPIManager(fx::PROAPIAccessing& apiManager)
{
    auto filter = std::unique_ptr<HuecastFxPlug>(new HuecastFxPlug(apiManager));
    // A filter whose program can't be built is destroyed here; its destructor deletes whatever
    // program the loader left in the slot. No cache is taken and no list built before this.
    if (!filter->loadVertexShader(vsh, fsh))
    {
        return nullptr;
    }
    filter->m_cache = &ZRCubeCache::sharedCache();
    filter->m_cubesList = {std::string(kNoLUTName), std::string(kExternalFileName)};
    // Each name loads from the folder it was found in first; later folders' same names stay
    // hidden.
    for (CubeLibraryEntry& entry : cubeLibraryEntries(cubeLibraryFolders()))
    {
        filter->m_cubesList.push_back(entry.name);
        filter->m_libraryPaths.try_emplace(std::move(entry.name), entry.path());
    }
    return filter;
}

HuecastFxPlug::~HuecastFxPlug()
{
    if (_program_object != 0)
    {
        glDeleteProgram(_program_object);
        _program_object = 0;
    }
    for (const std::optional<PassProgram>& variant : m_variantPrograms)
    {
        if (variant && variant->program != 0)
        {
            glDeleteProgram(variant->program);
        }
    }
}

PassProgram HuecastFxPlug::programFor(const PassVariant& variant)
{
    if (_program_object == 0 || variant.number() == 0)
    {
        return {_program_object, m_uniforms};
    }
    std::optional<PassProgram>& built = m_variantPrograms.at(variant.number() - 1);
    if (!built)
    {
        const std::string defines =
            std::string(variant.mappedDomain ? "#define MAPPED_DOMAIN\n" : "") +
            (variant.tetrahedral ? "#define TETRAHEDRAL\n" : "") +
            (variant.partialAmount ? "#define PARTIAL_AMOUNT\n" : "");
        GLuint program = 0;
        if (!(GLSL_Init(&program) && GLSL_LoadVertexShader(&program, vsh) &&
              GLSL_LoadFragmentShaderVariant(&program, fsh, defines.c_str()) &&
              GLSL_LinkShaderProgram(&program)) &&
            program != 0)
        {
            glDeleteProgram(program);
            program = 0;
        }
        built = PassProgram{program, program != 0 ? PassUniforms::of(program) : PassUniforms{}};
    }
    return *built;
}

bool HuecastFxPlug::loadVertexShader(const char* vertexSource, const char* fragmentSource)
{
    const bool linked = GLSL_Init(&_program_object) &&
                        GLSL_LoadVertexShader(&_program_object, vertexSource) &&
                        GLSL_LoadFragmentShader(&_program_object, fragmentSource) &&
                        GLSL_LinkShaderProgram(&_program_object);
    m_uniforms = linked ? PassUniforms::of(_program_object) : PassUniforms{};
    return linked;
}

foundation::Dictionary HuecastFxPlug::properties() const
{
    return guardHostCall("properties", foundation::Dictionary(),
                         []
                         {
                             return foundation::Dictionary{
                                 {"SupportsRowBytes", foundation::Value(true)},
                                 {"SupportsR408", foundation::Value(false)},
                                 {"SupportsR4fl", foundation::Value(false)},
                                 {"MayRemapTime", foundation::Value(false)},
                                 {"DesiredProcessingColorInfo", foundation::Value(2)},
                             };
                         });
}

bool HuecastFxPlug::getOutputWidth(std::uint64_t* width, std::uint64_t* height,
                                   const fx::FxImageInfo& input, const fx::FxRenderInfo& /*info*/)
{
    if (width == nullptr || height == nullptr)
    {
        return false;
    }
    *width = input.width;
    *height = input.height;
    return true;
}

bool HuecastFxPlug::frameSetup(const fx::FxRenderInfo& /*info*/,
                               const fx::FxImageInfo& /*inputInfo*/, bool* hardware, bool* software)
{
    // GPU only.
    if (software != nullptr)
    {
        *software = false;
    }
    if (hardware != nullptr)
    {
        *hardware = true;
    }
    return guardHostCall("frameSetup", false,
                         [this]
                         {
                             syncUI();
                             return true;
                         });
}

} // namespace huecast
