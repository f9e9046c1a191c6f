// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
#pragma once

#include <array>
#include <cstdio>
#include <string>
#include <vector>

#include <sys/wait.h>

namespace huecast::test
{

struct ToolRun
{
    int status = -1;
    std::string out;
};

/// Runs the built tool with the arguments (none may hold a quote) in the test's environment;
/// its standard output is captured, its standard error goes where `errorTarget` says, and its
/// standard input comes from `inputFile`.
inline ToolRun runTool(const std::vector<std::string>& arguments,
                       const std::string& errorTarget = "/dev/null",
                       const std::string& inputFile = "/dev/null")
{
    std::string command = "'" HUECAST_TOOL "'";
    for (const std::string& argument : arguments)
    {
        command += " '" + argument + "'";
    }
    command += " 2>'" + errorTarget + "' <'" + inputFile + "'";
    FILE* pipe = ::popen(command.c_str(), "r");
    ToolRun run;
    if (pipe == nullptr)
    {
        return run;
    }
    std::array<char, 4096> buffer{};
    for (std::size_t count = 0; (count = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0;)
    {
        run.out.append(buffer.data(), count);
    }
    const int status = ::pclose(pipe);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

} // namespace huecast::test
