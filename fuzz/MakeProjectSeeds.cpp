// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
//
// Writes saved projects as seeds for the project fuzzer: one with no LUT chosen and one per
// .cube file named on the command line, each loaded through Browse as a user would.
// Usage: make_project_seeds OUTPUT_DIR [FILE.cube...]
#include <cstdio>
#include <deque>
#include <memory>
#include <string>

#include "host/CommandLinePresenter.h"
#include "host/Project.h"
#include "host/ReferenceHost.h"
#include "platform/kit/Modal.h"
#include "plugin/HuecastParameters.h"

int main(int argc, char** argv)
{
    using namespace huecast;
    if (argc < 2)
    {
        std::fprintf(stderr, "usage: %s OUTPUT_DIR [FILE.cube...]\n", argv[0]);
        return 2;
    }
    const std::string folder = argv[1];
    auto presenter =
        std::make_shared<host::CommandLinePresenter>(std::deque<std::string>{}, stderr);
    kit::setModalPresenter(presenter);
    foundation::Error error;
    auto referenceHost = host::ReferenceHost::create(HUECAST_BUNDLE_DIR, &error);
    host::EffectInstance* instance =
        referenceHost ? referenceHost->createInstance({}, &error) : nullptr;
    int status = 0;
    if (instance == nullptr || !host::saveProject(folder + "/none.json", {instance}, &error))
    {
        std::fprintf(stderr, "make_project_seeds: %s\n", error.localizedDescription().c_str());
        status = 1;
    }
    for (int i = 2; i < argc && instance != nullptr; ++i)
    {
        (void)instance->choosePopupEntry(parmIdOf(HuecastParameter::LUT), kExternalFileIndex);
        presenter->answerNextPanel(argv[i]);
        if (instance->clickBrowse(parmIdOf(HuecastParameter::LoadLUT)) &&
            !host::saveProject(folder + "/project" + std::to_string(i) + ".json", {instance},
                               &error))
        {
            status = 1;
        }
    }
    kit::setModalPresenter(nullptr);
    return status;
}
