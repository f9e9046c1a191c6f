// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
//
// Feeds arbitrary bytes to the reference host as a project file: JSON, base64, the keyed
// archive and the cube inside, decoded through the real bundle. A project the host accepts is
// then rendered on a small frame (the cube's upload must cope with whatever was decoded) and
// saved again, and what was saved must load again.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include <unistd.h>

#include "host/Frame.h"
#include "host/FrameRenderer.h"
#include "host/Project.h"
#include "host/ReferenceHost.h"

namespace
{

struct Session
{
    std::string folder;
    std::unique_ptr<huecast::host::ReferenceHost> host;
    huecast::host::EffectInstance* instance = nullptr;
    std::unique_ptr<huecast::host::FrameRenderer> renderer;
};

Session* session = nullptr;

bool writeFile(const std::string& path, const std::uint8_t* data, std::size_t size)
{
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr)
    {
        return false;
    }
    const bool written = std::fwrite(data, 1, size, file) == size;
    return (std::fclose(file) == 0) && written;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* /*argc*/, char*** /*argv*/)
{
    // An empty home: no LUT library, so every instance starts alike.
    static std::string folder = "/tmp/huecast-project-fuzz-XXXXXX";
    if (::mkdtemp(folder.data()) == nullptr || ::setenv("HOME", folder.c_str(), 1) != 0)
    {
        std::abort();
    }
    session = new Session{folder, nullptr, nullptr, nullptr};
    huecast::foundation::Error error;
    session->host = huecast::host::ReferenceHost::create(HUECAST_BUNDLE_DIR, &error);
    session->instance = session->host ? session->host->createInstance({}, &error) : nullptr;
    session->renderer = session->instance ? huecast::host::FrameRenderer::create(&error) : nullptr;
    if (!session->renderer)
    {
        std::fprintf(stderr, "ProjectFuzzer: %s\n", error.localizedDescription().c_str());
        std::abort();
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using huecast::host::loadProject;
    const std::string path = session->folder + "/input.json";
    const std::string again = session->folder + "/again.json";
    if (!writeFile(path, data, size))
    {
        std::abort();
    }
    huecast::foundation::Error error;
    if (!loadProject(path, session->host->bundle(), {session->instance}, &error))
    {
        if (error.domain() != huecast::host::kHostErrorDomain ||
            error.localizedDescription().find(path) == std::string::npos)
        {
            std::abort(); // every refusal is a host error that names the file
        }
        return 0;
    }
    const huecast::host::Frame input(2, 2, huecast::host::PixelType::Float);
    huecast::host::Frame output;
    (void)session->renderer->renderFrame(session->instance->filter(), input, &output, &error);
    if (!huecast::host::saveProject(again, {session->instance}, &error) ||
        !loadProject(again, session->host->bundle(), {session->instance}, &error))
    {
        std::abort(); // what the host saves, it must load back
    }
    return 0;
}
